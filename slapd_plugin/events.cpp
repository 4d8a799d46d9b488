#include "events.h"

#include <algorithm>
#include <ctime>

#include "names.h"

namespace adminext {

Monitor::Monitor(std::vector<EventSpec> specs, std::size_t capacity) : specs_(std::move(specs)), capacity_(capacity) {}

bool Monitor::wants(const EntryEvent& event, const std::string& normalized_dn) const
{
    for (const EventSpec& wanted : specs_) {
        if (wanted.type != event.type)
            continue;
        if (event.result != 0 && wanted.status != event_status::kAll)
            continue;
        if (dn_within(normalized_dn, wanted.filter))
            return true;
    }
    return false;
}

void Monitor::push(const EntryEvent& event)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        if (queue_.size() < capacity_) {
            queue_.push_back(event);
        } else {
            dropped_.push_back(judged_entry(event));
            // So far behind that the monitor ends here: what it was told
            // until now is accounted for exactly, nothing after.
            if (dropped_.size() >= capacity_ * kDroppedPerQueued)
                closed_ = true;
        }
    }
    ready_.notify_one();
}

std::vector<EntryEvent> Monitor::take(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
    std::vector<EntryEvent> taken(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
    queue_.clear();
    return taken;
}

bool Monitor::fell_behind() const
{
    std::lock_guard lock(mutex_);
    return !dropped_.empty();
}

Undelivered Monitor::close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    Undelivered left;
    left.queued.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
    left.dropped = std::move(dropped_);
    queue_.clear();
    dropped_.clear();
    return left;
}

bool MonitorRegistry::add(Monitor* monitor, std::size_t limit)
{
    std::lock_guard lock(mutex_);
    if (monitors_.size() >= limit)
        return false;
    monitors_.push_back(monitor);
    count_.store(monitors_.size());
    return true;
}

void MonitorRegistry::remove(Monitor* monitor)
{
    std::lock_guard lock(mutex_);
    monitors_.erase(std::remove(monitors_.begin(), monitors_.end(), monitor), monitors_.end());
    count_.store(monitors_.size());
}

void MonitorRegistry::publish(EntryEvent event, const std::string& normalized_dn)
{
    std::lock_guard lock(mutex_);
    event.time = static_cast<std::int64_t>(std::time(nullptr));
    for (Monitor* monitor : monitors_)
        if (monitor->wants(event, normalized_dn))
            monitor->push(event);
}

MonitorRegistry& monitors()
{
    static MonitorRegistry registry;
    return registry;
}

}  // namespace adminext
