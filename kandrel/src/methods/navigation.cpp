// Walking what a search handed back: the messages of a result chain, their
// entries, an entry's attributes and values, and names.
#include <cstddef>

#include "methods.h"

namespace kandrel::methods {
namespace {

using library::Entry;
using refs::Kind;

// One message reference in, the library's integer about it out; -1 without
// calling the library when the reference is empty or not a live message.
template <Entry E>
HostAnswer message_fact(MethodCall& call)
{
    const refs::Pin message = call.reference(1, Kind::message);
    if (!message) {
        return call.code(kCodeNoMessage);
    }
    if constexpr (E == Entry::ldap_msgtype || E == Entry::ldap_msgid) {
        return call.result(library::call<E>(message.as<LDAPMessage>()));
    } else {
        return call.result(library::call<E>(call.ld(), message.as<LDAPMessage>()));
    }
}

// From a message or entry of kind From to the next object of kind To in its
// chain, written as a reference that dies with the chain; null without
// calling the library when the reference is empty.
template <Entry E, Kind From, Kind To>
bool step(MethodCall& call)
{
    const refs::Pin from = call.reference(1, From);
    LDAPMessage* next = from ? library::call<E>(call.ld(), from.as<LDAPMessage>()) : nullptr;
    return refs::set_param(call.call(), 0, To, next, from.token());
}

}  // namespace

HostAnswer count_entries(MethodCall& call) { return message_fact<Entry::ldap_count_entries>(call); }
HostAnswer count_references(MethodCall& call) { return message_fact<Entry::ldap_count_references>(call); }
HostAnswer count_messages(MethodCall& call) { return message_fact<Entry::ldap_count_messages>(call); }
HostAnswer message_type(MethodCall& call) { return message_fact<Entry::ldap_msgtype>(call); }
HostAnswer message_id(MethodCall& call) { return message_fact<Entry::ldap_msgid>(call); }

HostAnswer first_message(MethodCall& call)
{
    return step<Entry::ldap_first_message, Kind::message, Kind::message>(call) ? 0 : kCodeBadParameters;
}

HostAnswer next_message(MethodCall& call)
{
    return step<Entry::ldap_next_message, Kind::message, Kind::message>(call) ? 0 : kCodeBadParameters;
}

HostAnswer first_entry(MethodCall& call)
{
    return call.written(step<Entry::ldap_first_entry, Kind::message, Kind::entry>(call));
}

HostAnswer next_entry(MethodCall& call)
{
    return call.written(step<Entry::ldap_next_entry, Kind::entry, Kind::entry>(call));
}

// $first_attribute(Entry, &BerElement): the first attribute's name; the BER
// element that walks the rest goes to the host, who frees it with $free.
HostAnswer first_attribute(MethodCall& call)
{
    const refs::Pin entry = call.reference(1, Kind::entry);
    if (!entry) {
        return call.text_result(nullptr);
    }
    BerElement* ber = nullptr;
    const LibraryText name(
        library::call<Entry::ldap_first_attribute>(call.ld(), entry.as<LDAPMessage>(), &ber));
    const bool named = params::set_string(call.call(), 0, call.utf8(), name.get());
    const bool handed = call.hand_out(2, Kind::ber_element, ber, release_ber_element, entry.token());
    return call.written(named && handed);
}

// $next_attribute(Entry, BerElement): the next attribute's name, the empty
// text after the last one.
HostAnswer next_attribute(MethodCall& call)
{
    const refs::Pin entry = call.reference(1, Kind::entry);
    const refs::Pin ber = call.reference(2, Kind::ber_element);
    LibraryText name;
    if (entry && ber) {
        name.reset(library::call<Entry::ldap_next_attribute>(call.ld(), entry.as<LDAPMessage>(),
                                                            ber.as<BerElement>()));
    }
    return call.text_result(name.get());
}

// $get_values(Entry, Attribute): the values joined with ",".
HostAnswer get_values(MethodCall& call)
{
    const refs::Pin entry = call.reference(1, Kind::entry);
    const params::ParamText attribute = call.text(2);
    LibraryValues values;
    if (entry) {
        values.reset(
            library::call<Entry::ldap_get_values>(call.ld(), entry.as<LDAPMessage>(), attribute.get()));
    }
    const int count = values ? library::call<Entry::ldap_count_values>(values.get()) : 0;
    return call.written(params::set_string_list(call.call(), 0, call.utf8(), values.get(),
                                                static_cast<std::size_t>(count > 0 ? count : 0)));
}

// $get_values_len(Entry, Attribute): the first value's bytes.
HostAnswer get_values_len(MethodCall& call)
{
    const refs::Pin entry = call.reference(1, Kind::entry);
    const params::ParamText attribute = call.text(2);
    LibraryBervals values;
    if (entry) {
        values.reset(library::call<Entry::ldap_get_values_len>(call.ld(), entry.as<LDAPMessage>(),
                                                              attribute.get()));
    }
    if (!values || values.get()[0] == nullptr) {
        return call.text_result(nullptr);
    }
    const berval* first = values.get()[0];
    return call.written(params::set_binary(call.call(), 0, first->bv_val, first->bv_len));
}

// $get_dn(Reference): the DN of an entry, given as a message or an entry.
HostAnswer get_dn(MethodCall& call)
{
    refs::Pin named = call.reference(1, Kind::message);
    if (!named) {
        named = call.reference(1, Kind::entry);
    }
    LibraryText dn;
    if (named) {
        dn.reset(library::call<Entry::ldap_get_dn>(call.ld(), named.as<LDAPMessage>()));
    }
    return call.text_result(dn.get());
}

}  // namespace kandrel::methods
