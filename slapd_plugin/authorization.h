// Who may send administration requests at all: a root DN, or a member of the
// administrators' group of the settings. Checked when a request arrives, and
// again by an operation that runs on (an event monitor before it sends more
// notifications), so that rights are held only as long as they last.
#ifndef SLAPD_PLUGIN_AUTHORIZATION_H
#define SLAPD_PLUGIN_AUTHORIZATION_H

#include "request.h"

namespace adminext {

// Success or 50 with the reason. A root DN of any of slapd's databases may
// send administration requests; the entries a request reads or changes are
// checked with slapd's rules of their own database, which pass that
// database's root DN only.
Reply authorize(Request& request);

}  // namespace adminext

#endif
