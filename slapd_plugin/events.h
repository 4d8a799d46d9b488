// Event monitors and the queue between the changes a server makes and the
// monitoring operations that report them. Changes are published from any
// worker thread; each monitor's own operation takes its events out, keeps
// those its requestor may see and sends them. Publishing never waits for a
// monitor.
#ifndef SLAPD_PLUGIN_EVENTS_H
#define SLAPD_PLUGIN_EVENTS_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "event_values.h"

namespace adminext {

// The event types this server reports: one per kind of entry change.
namespace event_type {
inline constexpr std::int32_t kEntryAdded = 1;
inline constexpr std::int32_t kEntryDeleted = 2;
inline constexpr std::int32_t kEntryModified = 3;
inline constexpr std::int32_t kEntryRenamed = 4;
}  // namespace event_type

// What a monitored event type reports: the changes that succeeded, or also
// those that failed.
namespace event_status {
inline constexpr std::int32_t kSucceeded = 0;
inline constexpr std::int32_t kAll = 1;
}  // namespace event_status

// The entry whose visibility decides whether a monitor's requestor may learn
// of an event: the new name of an entry renamed, else the entry changed.
inline const std::string& judged_entry(const EntryEvent& event)
{
    return event.type == event_type::kEntryRenamed && event.result == 0 ? event.detail : event.dn;
}

// What a monitor held and never sent when it ended: the events still queued,
// and the judged entries of those it had no room for.
struct Undelivered {
    std::vector<EntryEvent> queued;
    std::vector<std::string> dropped;
};

class Monitor {
public:
    // specs: the accepted event types, each filter already a normalised DN
    // ("" for the whole directory). capacity: the events it queues; beyond
    // them it notes the entries of kDroppedPerQueued times as many events,
    // and beyond those it ends.
    Monitor(std::vector<EventSpec> specs, std::size_t capacity);
    static constexpr std::size_t kDroppedPerQueued = 4;

    // Whether this monitor reports the event of the entry with normalised DN.
    bool wants(const EntryEvent& event, const std::string& normalized_dn) const;
    // Queues one event, or notes it as dropped when the queue is full.
    void push(const EntryEvent& event);
    // Waits up to `timeout` for events and takes them all.
    std::vector<EntryEvent> take(std::chrono::milliseconds timeout);
    // Whether an event was dropped: the client reads too slowly.
    bool fell_behind() const;
    // Ends the monitor: later pushes are ignored. Hands out what was never
    // taken (empty after the first call).
    Undelivered close();
    const std::vector<EventSpec>& specs() const { return specs_; }

private:
    std::vector<EventSpec> specs_;
    std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<EntryEvent> queue_;
    std::vector<std::string> dropped_;
    bool closed_ = false;
};

class MonitorRegistry {
public:
    // False when `limit` monitors are already registered.
    bool add(Monitor* monitor, std::size_t limit);
    void remove(Monitor* monitor);
    // Cheap test before building an event.
    bool empty() const { return count_.load(std::memory_order_relaxed) == 0; }
    // Stamps the event with the time and queues it to every monitor that
    // wants it, in the order of the calls.
    void publish(EntryEvent event, const std::string& normalized_dn);

private:
    std::mutex mutex_;
    std::vector<Monitor*> monitors_;
    std::atomic<std::size_t> count_{0};
};

MonitorRegistry& monitors();

}  // namespace adminext

#endif
