#include "method_call.h"

#include <new>

#include "session_object.h"

namespace kandrel::methods {

void release_message(void* message) noexcept
{
    library::call<library::Entry::ldap_msgfree>(static_cast<LDAPMessage*>(message));
}

// A BER element from ldap_first_attribute reads its entry's buffer; freeing
// it leaves that buffer to the message.
void release_ber_element(void* ber) noexcept
{
    library::call<library::Entry::ber_free>(static_cast<BerElement*>(ber), 0);
}

void release_controls(void* controls) noexcept
{
    library::call<library::Entry::ldap_controls_free>(static_cast<LDAPControl**>(controls));
}

void release_control(void* control) noexcept
{
    library::call<library::Entry::ldap_control_free>(static_cast<LDAPControl*>(control));
}

LDAPControl** ControlList::get() noexcept
{
    if (!pin_) {
        return nullptr;
    }
    if (pin_.kind() == refs::Kind::control) {
        single_[0] = pin_.as<LDAPControl>();
        return single_;
    }
    return pin_.as<LDAPControl*>();
}

bool MethodCall::utf8() const noexcept { return object_.utf8(); }

params::ParamText MethodCall::text(int n) const
{
    params::ParamText text;
    if (text.read(call_, n, utf8()) == params::ParamText::Read::no_memory) {
        throw std::bad_alloc();
    }
    return text;
}

bool MethodCall::text(int n, params::ParamText& out) const
{
    switch (out.read(call_, n, utf8())) {
    case params::ParamText::Read::no_memory:
        throw std::bad_alloc();
    case params::ParamText::Read::unconvertible:
        return false;
    default:
        return true;
    }
}

std::int32_t MethodCall::integer(int n, std::int32_t fallback) const noexcept
{
    std::int32_t value = fallback;
    params::get_int(call_, n, value, fallback);
    return value;
}

params::TextList MethodCall::list(int n) const
{
    params::TextList list;
    if (!params::get_string_list(call_, n, utf8(), list, false)) {
        throw std::bad_alloc();
    }
    return list;
}

bool MethodCall::collection(int n, AttributeCollection& out) const
{
    params::ParamText text;
    if (!this->text(n, text)) {
        return false;
    }
    out.parse(text.get());
    return true;
}

refs::Pin MethodCall::reference(int n, refs::Kind kind) const noexcept
{
    return refs::pin_param(call_, n, utf8(), kind);
}

bool MethodCall::controls(int n, ControlList& out) const noexcept
{
    out.pin_ = refs::Pin();
    return params::find_item(call_, n) == nullptr ||
           refs::get_param(call_, n, utf8(), refs::Kind::controls, out.pin_);
}

}  // namespace kandrel::methods
