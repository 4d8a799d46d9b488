#include "registry.h"

#include <bit>
#include <mutex>
#include <new>

#include "host_object.h"

namespace kandrel {

void Registry::abandon() noexcept
{
    std::lock_guard guard(lock_);
    for (const Slot& slot : slots_) {
        // A leaked owner keeps the object alive for good.
        if (slot.object && new (std::nothrow) ObjectPtr(slot.object) == nullptr) {
            return;  // nothing better to do at unload than to stop here
        }
    }
}

std::size_t Registry::home(Instance instance) const noexcept
{
    // Fibonacci hashing: host instances may be aligned addresses, whose low
    // bits say nothing.
    return static_cast<std::size_t>((static_cast<std::uint64_t>(instance) * 0x9E3779B97F4A7C15u) >> shift_);
}

std::uint64_t Registry::age_of(GroupKey key) const noexcept
{
    const auto group = groups_.find(key);
    return group != groups_.end() ? group->second.age : 0;
}

const Registry::Slot* Registry::locate(GroupKey key, Instance instance) const noexcept
{
    if (size_ == 0) {
        return nullptr;
    }
    // Every entry of the instance lies in the run of used slots from its home
    // slot. Key 0 takes the one of the most recently created group; the ages
    // are looked up only when an instance lives in several groups.
    const Slot* found = nullptr;
    std::uint64_t found_age = 0;
    for (std::size_t i = home(instance); slots_[i].object; i = next(i)) {
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
    for (std::size_t i = home(instance); slots_[i].object; i = next(i)) {
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

void Registry::place(Slot slot) noexcept
{
    std::size_t i = home(slot.instance);
    while (slots_[i].object) {
        i = next(i);
    }
    slots_[i] = std::move(slot);
}

void Registry::grow()
{
    const std::size_t capacity = slots_.empty() ? 16 : 2 * slots_.size();
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(capacity));
    for (Slot& slot : old) {
        if (slot.object) {
            place(std::move(slot));
        }
    }
}

void Registry::vacate(std::size_t index) noexcept
{
    // Backward-shift deletion: later entries of the run move into the hole
    // when that keeps them reachable from their home slot, so no run is ever
    // broken and no tombstones pile up.
    std::size_t hole = index;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = next(hole); slots_[i].object; i = next(i)) {
        const std::size_t distance_from_home = (i - home(slots_[i].instance)) & mask;
        if (distance_from_home >= ((i - hole) & mask)) {
            slots_[hole] = std::move(slots_[i]);
            hole = i;
        }
    }
    slots_[hole] = Slot{};
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
    if (2 * (size_ + 1) > slots_.size()) {
        grow();
    }
    auto group = groups_.find(key);
    if (group == groups_.end()) {
        group = groups_.emplace(key, Group{next_age_++, 0}).first;
    }
    place(Slot{instance, key, false, object});
    update_alone(instance);
    ++group->second.entries;
    ++size_;
    return true;
}

ObjectPtr Registry::remove(GroupKey key, Instance instance)
{
    std::lock_guard guard(lock_);
    const Slot* slot = locate(key, instance);
    if (slot == nullptr) {
        return nullptr;
    }
    const std::size_t index = static_cast<std::size_t>(slot - slots_.data());
    ObjectPtr object = std::move(slots_[index].object);
    const auto group = groups_.find(slots_[index].key);
    if (group != groups_.end() && --group->second.entries == 0) {
        groups_.erase(group);
    }
    vacate(index);
    update_alone(instance);
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
