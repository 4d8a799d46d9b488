// $create_persistent_search_cont: a persistent-search request control from
// the client library, held by the host as a "CTRL:" reference to one control.
// Passed as ServerControls it becomes a list of one; $free releases it.
#include "methods.h"

namespace kandrel::methods {

// (Type, ChangesOnly, ReturnEntryChanges, IsCritical, &Control)
HostAnswer create_persistent_search_control(MethodCall& call)
{
    LDAPControl* control = nullptr;
    const int code = library::call<library::Entry::ldap_create_persistentsearch_control>(
        call.ld(), call.integer(1), call.integer(2), call.integer(3), call.integer(4), &control);
    call.hand_out(5, refs::Kind::control, control, release_control);
    return call.result(code);
}

}  // namespace kandrel::methods
