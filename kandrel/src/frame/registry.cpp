#include "registry.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "host_object.h"

namespace kandrel {

void Registry::abandon() noexcept
{
    std::lock_guard guard(lock_);
    for (auto& [instance, holders] : by_instance_) {
        for (Holder& holder : holders) {
            // A leaked owner keeps the object alive for good.
            if (new (std::nothrow) ObjectPtr(holder.object) == nullptr) {
                return;  // nothing better to do at unload than to stop here
            }
        }
    }
}

const Registry::Holder* Registry::locate(GroupKey key, const Holders& holders) const
{
    if (holders.empty()) {
        return nullptr;
    }
    if (key == 0) {
        return &holders.front();
    }
    const auto found = std::find_if(holders.begin(), holders.end(),
                                    [key](const Holder& holder) { return holder.key == key; });
    return found != holders.end() ? &*found : nullptr;
}

ObjectPtr Registry::find(GroupKey key, Instance instance) const
{
    std::lock_guard guard(lock_);
    const auto holders = by_instance_.find(instance);
    if (holders == by_instance_.end()) {
        return nullptr;
    }
    const Holder* holder = locate(key, holders->second);
    return holder != nullptr ? holder->object : nullptr;
}

bool Registry::add(GroupKey key, Instance instance, const ObjectPtr& object)
{
    if (!object) {
        return false;
    }
    std::lock_guard guard(lock_);
    Holders& holders = by_instance_[instance];
    if (locate(key, holders) != nullptr) {
        return false;
    }
    try {
        auto group = groups_.find(key);
        const bool new_group = group == groups_.end();
        if (new_group) {
            group = groups_.emplace(key, Group{next_age_++, 0}).first;
        }
        const std::uint64_t age = group->second.age;
        const auto position = std::find_if(holders.begin(), holders.end(),
                                           [age](const Holder& holder) { return holder.group_age < age; });
        try {
            holders.insert(position, Holder{key, age, object});
        } catch (...) {
            if (new_group) {
                groups_.erase(group);
            }
            throw;
        }
        ++group->second.entries;
        ++size_;
        return true;
    } catch (...) {
        if (holders.empty()) {
            by_instance_.erase(instance);
        }
        throw;
    }
}

ObjectPtr Registry::remove(GroupKey key, Instance instance)
{
    std::lock_guard guard(lock_);
    const auto holders = by_instance_.find(instance);
    if (holders == by_instance_.end()) {
        return nullptr;
    }
    const Holder* holder = locate(key, holders->second);
    if (holder == nullptr) {
        return nullptr;
    }
    const auto position = holders->second.begin() + (holder - holders->second.data());
    ObjectPtr object = std::move(position->object);
    const auto group = groups_.find(position->key);
    if (group != groups_.end() && --group->second.entries == 0) {
        groups_.erase(group);
    }
    holders->second.erase(position);
    if (holders->second.empty()) {
        by_instance_.erase(holders);
    }
    --size_;
    return object;
}

std::size_t Registry::size() const
{
    std::lock_guard guard(lock_);
    return size_;
}

std::size_t Registry::group_count() const
{
    std::lock_guard guard(lock_);
    return groups_.size();
}

Registry& registry() noexcept
{
    struct ProcessRegistry {
        Registry registry;
        ~ProcessRegistry() { registry.abandon(); }
    };
    static ProcessRegistry instance;
    return instance.registry;
}

}  // namespace kandrel
