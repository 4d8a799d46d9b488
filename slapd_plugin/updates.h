// Changes made on a requestor's behalf (bulk-update batches, restores):
// checked against slapd's access rules for the requestor, applied as internal
// operations, and reported to the event monitors.
#ifndef SLAPD_PLUGIN_UPDATES_H
#define SLAPD_PLUGIN_UPDATES_H

#include "bulk_values.h"
#include "request.h"

namespace adminext {

ChangeResult apply_change(Request& request, const Change& change);

// Reports a change to the event monitors, when there are any. requestor is
// the DN the change was made for (empty: anonymous).
void report_change(std::int32_t type, int result, const std::string& dn, const std::string& requestor,
                   std::string detail, std::string changed);

// A short text for an LDAP result code.
const char* result_text(int code);

}  // namespace adminext

#endif
