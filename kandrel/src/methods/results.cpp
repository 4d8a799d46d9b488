// $parse_result, $parse_reference and $free: what a result message says, and
// giving back what the host program holds.
#include <cstddef>

#include "methods.h"

namespace kandrel::methods {
namespace {

using library::Entry;
using refs::Kind;

// With FreeRes the message goes once it is parsed. Only a result chain can
// go: a message taken from a chain belongs to the chain, and freeing it alone
// would cut the chain, so it stays until the chain is freed.
void free_if_asked(MethodCall& call, int free_parameter, const refs::Pin& message)
{
    if (call.integer(free_parameter) != 0) {
        refs::retire(Kind::message, message.token());
    }
}

}  // namespace

// $parse_result(Message, &ErrorCode, &MatchString, &ErrorMsg, &Referrals,
// &ServerControls, FreeRes)
HostAnswer parse_result(MethodCall& call)
{
    const refs::Pin message = call.reference(1, Kind::message);
    if (!message) {
        return call.code(kCodeNoMessage);
    }
    int error = 0;
    LibraryText matched;
    LibraryText text;
    LibraryValues referrals;
    LDAPControl** controls = nullptr;
    // The library never frees the message itself: it may be pinned by a
    // method running on another thread.
    const int code = library::call<Entry::ldap_parse_result>(
        call.ld(), message.as<LDAPMessage>(), &error, out(matched), out(text), out(referrals),
        &controls, 0);
    call.set_int(2, library::host_code(error));
    call.set_text(3, matched.get());
    call.set_text(4, text.get());
    call.set_text_list(5, referrals.get());
    call.hand_out(6, Kind::controls, controls, release_controls);
    free_if_asked(call, 7, message);
    return call.result(code);
}

// $parse_reference(Message, Referrals, &ServerControls, FreeRes): the
// referrals are read and released; only the controls reach the host.
HostAnswer parse_reference(MethodCall& call)
{
    const refs::Pin message = call.reference(1, Kind::message);
    if (!message) {
        return call.code(kCodeNoMessage);
    }
    LibraryValues referrals;
    LDAPControl** controls = nullptr;
    const int code = library::call<Entry::ldap_parse_reference>(
        call.ld(), message.as<LDAPMessage>(), out(referrals), &controls, 0);
    call.hand_out(3, Kind::controls, controls, release_controls);
    free_if_asked(call, 4, message);
    return call.result(code);
}

// $free(Reference): a result chain, a BER element or controls. Entries and
// messages taken from a chain go with their chain.
HostAnswer free(MethodCall& call)
{
    static constexpr Kind kFreeable[] = {Kind::message, Kind::ber_element, Kind::controls};
    Kind kind = Kind::message;
    refs::Token token = 0;
    if (refs::read_token_of(call.call(), 1, call.utf8(), kFreeable, kind, token) && refs::retire(kind, token)) {
        params::set_string(call.call(), 1, false, nullptr);
        return call.code(0);
    }
    return call.code(kCodeBadParameters);
}

}  // namespace kandrel::methods
