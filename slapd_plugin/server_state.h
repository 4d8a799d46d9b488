// What the plug-in knows of the slapd that runs it beyond SLAPI: whether it
// is shutting down, and how many of its worker threads exist and how many
// the plug-in's requests hold.
//
// SLAPI has no call for shutdown, and slapd does not mark the operations it
// still runs as abandoned before it waits for them: a request that waits (an
// event monitor, a batch waiting for its turn) must look itself, or the
// server cannot stop.
#ifndef SLAPD_PLUGIN_SERVER_STATE_H
#define SLAPD_PLUGIN_SERVER_STATE_H

#include <cstddef>

namespace adminext {

// True once slapd has been asked to stop (its exported slapd_shutdown flag);
// false where slapd does not export the flag.
bool server_stopping();

// slapd's worker threads (its exported connection_pool_max, the `threads`
// setting); 0 where slapd does not export it.
std::size_t worker_threads();

// The worker threads the plug-in's requests hold at this moment: every
// request counts from the time its handler starts until it returns.
std::size_t threads_held();

class ThreadHold {
public:
    ThreadHold();
    ~ThreadHold();
    ThreadHold(const ThreadHold&) = delete;
    ThreadHold& operator=(const ThreadHold&) = delete;
};

}  // namespace adminext

#endif
