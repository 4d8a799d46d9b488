// The registry of live host-visible objects, keyed by (group key, host
// instance). Lookup semantics: group key 0 matches any group; otherwise only
// the group with exactly that key. Among several groups that hold the
// instance, the most recently created group is found first, as if groups were
// kept in a list with new groups at the front. There is at most one entry per
// (group, instance), and a group disappears with its last entry.
//
// One lock guards the registry and is never held while an object works:
// lookups hand out shared owners, so an object removed by one thread stays
// alive until a method running on another thread has finished with it.
#ifndef KANDREL_REGISTRY_H
#define KANDREL_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "host_interface.h"
#include "host_object.h"
#include "open_slots.h"
#include "platform.h"

namespace kandrel {

using GroupKey = std::uint32_t;

class Registry {
public:
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Lets go of every registered object without destroying it. The
    // process-wide registry does this when the component is unloaded:
    // destroying the objects then would unbind their sessions during unload,
    // into a client library that may already be gone.
    void abandon() noexcept;

    // The object registered for instance under key (0: any group), or null.
    ObjectPtr find(GroupKey key, Instance instance) const;

    // Registers object under exactly key unless find(key, instance) already
    // finds one. Answers whether it was registered. The caller keeps its own
    // owner, so a refused object is destroyed outside the registry's lock.
    bool add(GroupKey key, Instance instance, const ObjectPtr& object);

    // Removes the entry that find(key, instance) finds and answers its object,
    // or null. The group goes with its last entry.
    ObjectPtr remove(GroupKey key, Instance instance);

    std::size_t size() const;
    std::size_t group_count() const;

private:
    // One slot of the table keyed by instance: an entry, or free when it
    // holds no object. A lookup reads the slots of one short run, usually one
    // cache line (a slot never straddles two), and the object's owner: the
    // cost stays the same however many objects live.
    struct alignas(32) Slot {
        Instance instance = 0;
        GroupKey key = 0;
        bool alone = false;  // the only entry of its instance
        ObjectPtr object;
    };
    struct SlotPolicy {
        static bool occupied(const Slot& slot) noexcept { return slot.object != nullptr; }
        static std::uint64_t hash(const Slot& slot) noexcept { return static_cast<std::uint64_t>(slot.instance); }
    };
    struct Group {
        std::uint64_t age;  // larger: created later, so nearer the front
        std::size_t entries;
    };

    std::uint64_t age_of(GroupKey key) const noexcept;
    const Slot* locate(GroupKey key, Instance instance) const noexcept;
    void update_alone(Instance instance) noexcept;

    mutable platform::Lock lock_;
    std::uint64_t next_age_ = 1;
    std::unordered_map<GroupKey, Group> groups_;
    OpenSlots<Slot, SlotPolicy> slots_;
};

// The process-wide registry; it abandons the objects still registered when
// the component is unloaded.
Registry& registry() noexcept;

}  // namespace kandrel

#endif
