// What a request that waits needs of slapd beyond SLAPI. Whether slapd is
// shutting down: SLAPI has no call for it, and slapd does not mark the
// operations it still runs as abandoned before it waits for them: a request
// that waits (an event monitor, a batch waiting for its turn) must look
// itself, or the server cannot stop. And the same requests must let slapd
// pause its worker threads.
#ifndef SLAPD_PLUGIN_SERVER_STATE_H
#define SLAPD_PLUGIN_SERVER_STATE_H

namespace adminext {

// True once slapd has been asked to stop (its exported slapd_shutdown flag);
// false where slapd does not export the flag.
bool server_stopping();

// Lets slapd pause: before it changes its configuration (cn=config) or
// schema, slapd waits until every other worker thread is idle or waiting
// here. A request that holds its thread for long (an event monitor, a batch
// waiting for its turn) calls this between its waits, holding no lock of
// its own; it returns at once, or once slapd resumes. Without it, one open
// monitor blocks every configuration change.
void allow_pause();

// Waits until every operation other worker threads are running has ended or
// waits in allow_pause(): slapd's worker threads are paused, then resumed at
// once. Called on a worker thread; false when this slapd does not offer it.
bool wait_for_running_operations();

// Has slapd's listener thread look at its scheduled tasks now. A task
// slapd schedules while it waits for connections (the syncrepl consumer of
// a database just configured) otherwise starts only when the next
// connection or answer wakes it.
void wake_server();

// Runs task(context, argument) on one of slapd's worker threads, from a
// thread of the plug-in's own; false when slapd does not take it (then the
// task does not run). can_run_on_worker_threads: whether this slapd offers it.
using WorkerTask = void* (*)(void* context, void* argument);
bool can_run_on_worker_threads();
bool run_on_a_worker_thread(WorkerTask task, void* argument);

}  // namespace adminext

#endif
