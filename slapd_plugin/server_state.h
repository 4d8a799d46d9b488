// Whether slapd is shutting down. SLAPI has no call for it, and slapd does
// not mark the operations it still runs as abandoned before it waits for
// them: a request that waits (an event monitor, a batch waiting for its turn)
// must look itself, or the server cannot stop.
#ifndef SLAPD_PLUGIN_SERVER_STATE_H
#define SLAPD_PLUGIN_SERVER_STATE_H

namespace adminext {

// True once slapd has been asked to stop (its exported slapd_shutdown flag);
// false where slapd does not export the flag.
bool server_stopping();

}  // namespace adminext

#endif
