#include "registry.h"

#include <mutex>
#include <new>

namespace kandrel {

void Registry::abandon() noexcept
{
    std::lock_guard guard(lock_);
    // A leaked owner keeps the object alive for good; when even that cannot
    // be made there is nothing better to do at unload than to go on.
    slots_.for_each([](const Slot& slot) { static_cast<void>(new (std::nothrow) ObjectPtr(slot.object)); });
}

std::uint64_t Registry::age_of(GroupKey key) const noexcept
{
    const auto group = groups_.find(key);
    return group != groups_.end() ? group->second.age : 0;
}

const Registry::Slot* Registry::locate(GroupKey key, Instance instance) const noexcept
{
    if (slots_.size() == 0) {
        return nullptr;
    }
    // Every entry of the instance lies in the run of used slots from its home
    // slot. Key 0 takes the one of the most recently created group; the ages
    // are looked up only when an instance lives in several groups.
    const Slot* found = nullptr;
    std::uint64_t found_age = 0;
    const auto hash = static_cast<std::uint64_t>(instance);
    for (std::size_t i = slots_.home(hash); slots_.occupied(i); i = slots_.next(i)) {
        const Slot& slot = slots_[i];
        if (slot.instance != instance) {
            continue;
        }
        if (key != 0) {
            if (slot.key == key) {
                return &slot;
            }
        } else if (slot.alone) {
            return &slot;
        } else if (found == nullptr) {
            found = &slot;
        } else {
            if (found_age == 0) {
                found_age = age_of(found->key);
            }
            if (const std::uint64_t age = age_of(slot.key); age > found_age) {
                found = &slot;
                found_age = age;
            }
        }
    }
    return found;
}

// Sets the alone flag of the instance's entry when it has only one; with
// more, theirs are already clear (an entry starts with it clear) but for the
// one that was alone so far.
void Registry::update_alone(Instance instance) noexcept
{
    Slot* only = nullptr;
    const auto hash = static_cast<std::uint64_t>(instance);
    for (std::size_t i = slots_.home(hash); slots_.occupied(i); i = slots_.next(i)) {
        if (slots_[i].instance == instance) {
            if (only != nullptr) {
                only->alone = false;
                slots_[i].alone = false;
                return;
            }
            only = &slots_[i];
        }
    }
    if (only != nullptr) {
        only->alone = true;
    }
}

ObjectPtr Registry::find(GroupKey key, Instance instance) const
{
    std::lock_guard guard(lock_);
    const Slot* slot = locate(key, instance);
    return slot != nullptr ? slot->object : nullptr;
}

bool Registry::add(GroupKey key, Instance instance, const ObjectPtr& object)
{
    if (!object) {
        return false;
    }
    std::lock_guard guard(lock_);
    if (locate(key, instance) != nullptr) {
        return false;
    }
    // Everything that can throw comes first, so a failure changes nothing.
    slots_.reserve_one();
    auto group = groups_.find(key);
    if (group == groups_.end()) {
        group = groups_.emplace(key, Group{next_age_++, 0}).first;
    }
    slots_.place(Slot{instance, key, false, object});
    update_alone(instance);
    ++group->second.entries;
    return true;
}

ObjectPtr Registry::remove(GroupKey key, Instance instance)
{
    std::lock_guard guard(lock_);
    const Slot* slot = locate(key, instance);
    if (slot == nullptr) {
        return nullptr;
    }
    // The object leaves with the caller, outside the lock.
    ObjectPtr object = std::move(const_cast<Slot*>(slot)->object);
    const auto group = groups_.find(slot->key);
    if (group != groups_.end() && --group->second.entries == 0) {
        groups_.erase(group);
    }
    slots_.vacate(slot);
    update_alone(instance);
    return object;
}

std::size_t Registry::size() const
{
    std::lock_guard guard(lock_);
    return slots_.size();
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
