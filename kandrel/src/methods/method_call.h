// What every method of LDAPSession shares: one request's parameters read the
// same way everywhere, the object's session held for the whole call, the
// client library's results in owners that release them with the library's
// own functions, and the three ways a method answers.
#ifndef KANDREL_METHODS_METHOD_CALL_H
#define KANDREL_METHODS_METHOD_CALL_H

#include <cstdint>
#include <memory>

#include "attribute_collection.h"
#include "host_interface.h"
#include "library_binding.h"
#include "parameters.h"
#include "references.h"
#include "session.h"

namespace kandrel {
class SessionObject;
}

namespace kandrel::methods {

// The component's own codes, and the classic codes its methods answer.
inline constexpr std::int32_t kCodeNoMessage = -1;
inline constexpr std::int32_t kCodeNoSession = -2;
inline constexpr std::int32_t kCodeUnknownMethod = -101;
inline constexpr std::int32_t kCodeBadParameters = -102;
inline constexpr std::int32_t kCodeInvalidSyntax = 21;
inline constexpr std::int32_t kCodeNoMemory = params::kNotDelivered;

// Owners of what the client library hands out, released with its own
// functions.
struct LibraryMemFree {
    void operator()(void* memory) const noexcept { library::call<library::Entry::ldap_memfree>(memory); }
};
struct LibraryValueFree {
    void operator()(char** values) const noexcept { library::call<library::Entry::ldap_value_free>(values); }
};
struct LibraryBervalFree {
    void operator()(berval** values) const noexcept
    {
        library::call<library::Entry::ldap_value_free_len>(values);
    }
};
struct LibraryMessageFree {
    void operator()(LDAPMessage* message) const noexcept { library::call<library::Entry::ldap_msgfree>(message); }
};
using LibraryText = std::unique_ptr<char, LibraryMemFree>;
using LibraryValues = std::unique_ptr<char*, LibraryValueFree>;
using LibraryBervals = std::unique_ptr<berval*, LibraryBervalFree>;
using LibraryMessage = std::unique_ptr<LDAPMessage, LibraryMessageFree>;

// Lets a library call fill an owner: library_call(..., out(owner)).
template <class Owner>
class OutParam {
public:
    explicit OutParam(Owner& owner) noexcept : owner_(owner) {}
    ~OutParam() { owner_.reset(value_); }
    OutParam(const OutParam&) = delete;
    OutParam& operator=(const OutParam&) = delete;
    operator typename Owner::pointer*() noexcept { return &value_; }

private:
    Owner& owner_;
    typename Owner::pointer value_ = nullptr;
};
template <class Owner>
OutParam<Owner> out(Owner& owner) noexcept
{
    return OutParam<Owner>(owner);
}

// How the token table releases what it holds for host programs.
void release_message(void* message) noexcept;
void release_ber_element(void* ber) noexcept;
void release_controls(void* controls) noexcept;
void release_control(void* control) noexcept;

// Controls as the library takes them: a null-terminated list, or null for
// none. A control list is handed on as it is; a single control becomes a
// list of one. Holds the controls for as long as it lives.
class ControlList {
public:
    LDAPControl** get() noexcept;

private:
    friend class MethodCall;
    refs::Pin pin_;
    LDAPControl* single_[2] = {nullptr, nullptr};
};

class MethodCall {
public:
    MethodCall(HostCallInfo* call, SessionObject& object, SessionRef session) noexcept
        : call_(call), object_(object), session_(std::move(session))
    {
    }

    HostCallInfo* call() const noexcept { return call_; }
    SessionObject& object() const noexcept { return object_; }
    bool utf8() const noexcept;
    // The session the call holds (empty for methods that need none).
    LDAP* ld() const noexcept { return session_.handle(); }
    // Lets go of the call's hold on the session.
    void drop_session() noexcept { session_.reset(); }

    int count() const noexcept { return params::count(call_); }

    // Parameter n as text, the empty text when omitted or not convertible.
    // Throws std::bad_alloc when memory is short.
    params::ParamText text(int n) const;
    // Parameter n as text into out, the empty text when omitted. False when
    // it holds a text that cannot be converted.
    bool text(int n, params::ParamText& out) const;
    // Parameter n as an integer (booleans too), fallback when omitted.
    std::int32_t integer(int n, std::int32_t fallback = 0) const noexcept;
    // Parameter n split at commas, empty pieces dropped; null for an empty
    // or omitted text. Throws std::bad_alloc when memory is short.
    params::TextList list(int n) const;
    // Parameter n as a collection text, appended to out. False when the
    // parameter holds a text that cannot be converted (it is never taken as
    // an empty collection). Throws std::bad_alloc when memory is short.
    bool collection(int n, AttributeCollection& out) const;
    // Parameter n as a reference of kind: empty when omitted, empty, of
    // another kind or no longer alive.
    refs::Pin reference(int n, refs::Kind kind) const noexcept;
    // Parameter n as controls ("CTRL:" list or single control). False when
    // it names controls that are not alive (a freed or forged reference, or
    // one of another kind); an empty reference is no controls.
    bool controls(int n, ControlList& out) const noexcept;

    // Outputs to by-reference parameters n, in the object's encoding. Each
    // notes an output the host passed a parameter for but that could not be
    // written, after which result() answers kCodeNoMemory.
    bool set_int(int n, std::int32_t value) noexcept { return delivered(n, params::set_int(call_, n, value)); }
    bool set_text(int n, const char* text) noexcept
    {
        return delivered(n, params::set_string(call_, n, utf8(), text));
    }
    bool set_text_list(int n, char* const* strings) noexcept
    {
        return delivered(n, params::set_string_list(call_, n, utf8(), strings, static_cast<std::size_t>(-1)));
    }
    bool set_collection(int n, const AttributeCollection& collection)
    {
        return delivered(n, collection.write_to_parameter(call_, n, utf8()));
    }
    // Hands a host-owned library object to parameter n (see refs::hand_out):
    // when it cannot be written the object is released.
    bool hand_out(int n, refs::Kind kind, void* object, refs::Release release, refs::Token from = 0) noexcept
    {
        return delivered(n, refs::hand_out(call_, n, kind, object, release, from));
    }

    // Sets the return value to code and answers code.
    HostAnswer code(std::int32_t value) const noexcept { return params::return_code(call_, value); }
    // Sets the return value to value and answers 0; kCodeNoMemory when an
    // output could not be written.
    HostAnswer result(std::int32_t value) const noexcept
    {
        return undelivered_ ? code(kCodeNoMemory) : params::return_result(call_, value);
    }
    // Answers with the success flag of a write.
    static HostAnswer written(bool succeeded) noexcept { return succeeded ? 1 : 0; }
    // Writes text (null: the empty value) as the return value in the
    // object's encoding and answers the success flag.
    HostAnswer text_result(const char* text) const noexcept
    {
        return written(params::set_string(call_, 0, utf8(), text));
    }

private:
    // A write that failed for a parameter the host passed is an output lost.
    bool delivered(int n, bool written) noexcept
    {
        if (!written && n > 0 && params::find_item(call_, n) != nullptr) {
            undelivered_ = true;
        }
        return written;
    }

    HostCallInfo* call_;
    SessionObject& object_;
    SessionRef session_;
    bool undelivered_ = false;
};

}  // namespace kandrel::methods

#endif
