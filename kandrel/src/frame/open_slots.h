// Open addressing with linear probing over a power-of-two array of slots kept
// at most half full, with backward-shift deletion: no tombstones pile up, and
// a lookup reads one short run of neighbouring slots, usually one cache line,
// whatever the number of entries. The registry and the token table keep their
// entries in it; each says what a slot holds through a policy:
//
//   static bool occupied(const Slot&) noexcept;        // a default Slot is free
//   static std::uint64_t hash(const Slot&) noexcept;   // of an occupied slot's key
//   static constexpr bool kInOrder = true;             // optional, see home()
//
// Not thread-safe; the owners lock around it.
#ifndef KANDREL_OPEN_SLOTS_H
#define KANDREL_OPEN_SLOTS_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kandrel {

template <class Slot, class Policy>
class OpenSlots {
public:
    std::size_t size() const noexcept { return size_; }

    // The first slot of hash's run, and the slot after index; a walk from
    // home(hash) while occupied(i) visits every entry with that hash. Only
    // meaningful once something was reserved.
    std::size_t home(std::uint64_t hash) const noexcept
    {
        if constexpr (kInOrder) {
            // Hashes that are already spread where they need to be (tokens
            // of a counter, for one) go to every other slot in their order:
            // keys made one after another, which are mostly used together,
            // lie side by side instead of each costing a cache miss in a
            // large array, and the free slot between them keeps runs short.
            return static_cast<std::size_t>(hash << 1) & (slots_.size() - 1);
        } else {
            // Fibonacci hashing: the top bits of the product depend on every
            // bit of the hash, so aligned addresses spread evenly.
            return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15u) >> shift_);
        }
    }
    std::size_t next(std::size_t index) const noexcept { return (index + 1) & (slots_.size() - 1); }
    bool occupied(std::size_t index) const noexcept { return Policy::occupied(slots_[index]); }
    Slot& operator[](std::size_t index) noexcept { return slots_[index]; }
    const Slot& operator[](std::size_t index) const noexcept { return slots_[index]; }

    // The first entry of hash's run that match accepts, or null.
    template <class Match>
    Slot* find(std::uint64_t hash, Match match) noexcept
    {
        if (size_ == 0) {
            return nullptr;
        }
        for (std::size_t i = home(hash); occupied(i); i = next(i)) {
            if (match(slots_[i])) {
                return &slots_[i];
            }
        }
        return nullptr;
    }
    template <class Match>
    const Slot* find(std::uint64_t hash, Match match) const noexcept
    {
        return const_cast<OpenSlots*>(this)->find(hash, match);
    }

    // Makes room for one more entry. Throws std::bad_alloc, having changed
    // nothing, when the array cannot grow.
    void reserve_one()
    {
        if (2 * (size_ + 1) <= slots_.size()) {
            return;
        }
        std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size());
        old.swap(slots_);
        shift_ = 64 - static_cast<unsigned>(std::countr_zero(slots_.size()));
        for (Slot& slot : old) {
            if (Policy::occupied(slot)) {
                settle(std::move(slot));
            }
        }
    }

    // Puts an occupied slot in the first free place of its run. Call
    // reserve_one() first. Pointers into the array stay valid.
    void place(Slot&& slot) noexcept
    {
        settle(std::move(slot));
        ++size_;
    }

    // Frees the entry at index. Later entries of the run move back into the
    // hole when that keeps them reachable from their home, so no run is ever
    // broken. Pointers into the array are no longer valid afterwards.
    void vacate(std::size_t index) noexcept
    {
        std::size_t hole = index;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = next(hole); occupied(i); i = next(i)) {
            const std::size_t distance_from_home = (i - home(Policy::hash(slots_[i]))) & mask;
            if (distance_from_home >= ((i - hole) & mask)) {
                slots_[hole] = std::move(slots_[i]);
                hole = i;
            }
        }
        slots_[hole] = Slot{};
        --size_;
    }
    void vacate(const Slot* slot) noexcept { vacate(static_cast<std::size_t>(slot - slots_.data())); }

    template <class Visit>
    void for_each(Visit visit) noexcept
    {
        for (Slot& slot : slots_) {
            if (Policy::occupied(slot)) {
                visit(slot);
            }
        }
    }

private:
    static constexpr bool kInOrder = [] {
        if constexpr (requires { Policy::kInOrder; }) {
            return Policy::kInOrder;
        } else {
            return false;
        }
    }();

    void settle(Slot&& slot) noexcept
    {
        std::size_t i = home(Policy::hash(slot));
        while (occupied(i)) {
            i = next(i);
        }
        slots_[i] = std::move(slot);
    }

    std::vector<Slot> slots_;  // a power of two of them, at most half used
    unsigned shift_ = 63;      // 64 minus the bits of a slot index
    std::size_t size_ = 0;
};

}  // namespace kandrel

#endif
