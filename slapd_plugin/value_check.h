// slapd's own check of the attributes and values of an add or a modify: the
// check slapd runs on every such request it receives, which answers 17
// (undefined type), 19 (constraint), 20 (value given twice), 21 (invalid
// syntax) with slapd's text. slapd's internal operations run it too but drop
// its answer (the operation then fails with -9), so the plug-in runs it
// first. It needs the slapd 2.5 layout of a modification list; with another
// slapd only undefined attribute types are refused (17), and the internal
// operation answers the rest.
#ifndef SLAPD_PLUGIN_VALUE_CHECK_H
#define SLAPD_PLUGIN_VALUE_CHECK_H

#include <optional>

#include "bulk_values.h"
#include "slapi.h"

namespace adminext {

// slapd's answer for modifications (LDAP_MOD_* with LDAP_MOD_BVALUES; an
// add's attributes are LDAP_MOD_ADD), checked on behalf of pb's operation;
// nothing when slapd accepts them or cannot be asked.
std::optional<ChangeResult> check_values(Slapi_PBlock* pb, LDAPMod** modifications);

}  // namespace adminext

#endif
