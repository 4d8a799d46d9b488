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

class Monitor {
public:
    // specs: the accepted event types, each filter already a normalised DN
    // ("" for the whole directory).
    Monitor(std::vector<EventSpec> specs, std::size_t capacity);

    // Whether this monitor reports the event of the entry with normalised DN.
    bool wants(const EntryEvent& event, const std::string& normalized_dn) const;
    // Queues one event; when the queue is full the monitor is marked as
    // fallen behind and the event is dropped.
    void push(const EntryEvent& event);
    // Waits up to `timeout` for events and takes them all.
    std::vector<EntryEvent> take(std::chrono::milliseconds timeout);
    // Notifications dropped so far.
    std::size_t dropped() const;
    // Ends the monitor: what is still queued is discarded, later pushes are
    // ignored. Returns every notification queued to it that was never taken:
    // those dropped and those discarded.
    std::size_t close();
    const std::vector<EventSpec>& specs() const { return specs_; }

private:
    std::vector<EventSpec> specs_;
    std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<EntryEvent> queue_;
    std::size_t dropped_ = 0;
    bool closed_ = false;
};

class MonitorRegistry {
public:
    // False when `limit` monitors are already registered.
    bool add(Monitor* monitor, std::size_t limit);
    void remove(Monitor* monitor);
    // Cheap test before building an event.
    bool empty() const { return count_.load(std::memory_order_relaxed) == 0; }
    // Stamps the event with the time and the next sequence number, and queues
    // it to every monitor that wants it.
    void publish(EntryEvent event, const std::string& normalized_dn);

private:
    std::mutex mutex_;
    std::vector<Monitor*> monitors_;
    std::atomic<std::size_t> count_{0};
    std::int32_t sequence_ = 0;
};

MonitorRegistry& monitors();

}  // namespace adminext

#endif
