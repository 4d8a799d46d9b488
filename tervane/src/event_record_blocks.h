// The blocks event records live in. A record and everything it points to
// die together (callers release records only whole, with ldap_event_free),
// so they share one block: a hidden header, the record, then room for its
// strings, lists and arrays, sized from the bytes of the notification. What
// does not fit goes to further blocks chained from the record's header, and
// the release frees the chain and the block.
#ifndef TERVANE_EVENT_RECORD_BLOCKS_H
#define TERVANE_EVENT_RECORD_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "memory.h"
#include "tervane.h"

namespace tervane::records {

// A record block: a hidden header, the record, then room for what the record
// owns. The header starts with the chain of overflow blocks and ends with the
// data tag in its last four bytes; it is as long as the record's alignment
// asks, so the record's pointers stay aligned.
constexpr std::size_t round_up(std::size_t size, std::size_t alignment)
{
    return (size + alignment - 1) / alignment * alignment;
}
constexpr std::size_t kHeaderSize = round_up(sizeof(void*) + sizeof(std::int32_t), alignof(event_record));

// Room taken beyond the notification's own bytes, for the prefix and the
// list arrays that short strings leave no room for.
constexpr std::size_t kExtraRoom = 128;
// Smallest overflow block.
constexpr std::size_t kOverflowBlock = 256;

// The first overflow block of a record block; each overflow block starts
// with the next one.
inline void* overflow_of(std::byte* block)
{
    void* first = nullptr;
    std::memcpy(&first, block, sizeof first);
    return first;
}

// Room for what a record owns, taken from the end of its block and then from
// overflow blocks that the record's header chains.
class Room {
public:
    Room() = default;
    Room(std::byte* block, std::byte* free, std::byte* end) : block_(block), next_(free), end_(end) {}

    // size bytes at an address that is a multiple of alignment (a power of
    // two no larger than the allocator's); NULL when memory is short.
    void* take(std::size_t size, std::size_t alignment)
    {
        const std::size_t skip = (alignment - reinterpret_cast<std::uintptr_t>(next_) % alignment) % alignment;
        const auto free = static_cast<std::size_t>(end_ - next_);
        if (free < skip || free - skip < size)
            return overflow(size, alignment);
        std::byte* taken = next_ + skip;
        next_ = taken + size;
        return taken;
    }
    template <class T>
    T* take_zeroed(std::size_t count)
    {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
            return nullptr;
        void* taken = take(count * sizeof(T), alignof(T));
        if (taken != nullptr)
            std::memset(taken, 0, count * sizeof(T));
        return static_cast<T*>(taken);
    }
    // The bytes and a NUL; NULL when memory is short.
    char* copy(const berval& bytes)
    {
        if (bytes.bv_len == std::numeric_limits<ber_len_t>::max())
            return nullptr;
        auto* text = static_cast<char*>(take(bytes.bv_len + 1, 1));
        if (text == nullptr)
            return nullptr;
        std::memcpy(text, bytes.bv_val, bytes.bv_len);
        text[bytes.bv_len] = '\0';
        return text;
    }

private:
    // A new overflow block, chained from the record's header, becomes the
    // room; what was left of the old room stays unused.
    void* overflow(std::size_t size, std::size_t alignment)
    {
        const std::size_t link = round_up(sizeof(void*), alignment);
        if (block_ == nullptr || size > std::numeric_limits<std::size_t>::max() - link - kOverflowBlock)
            return nullptr;
        const std::size_t wanted = link + size < kOverflowBlock ? kOverflowBlock : link + size;
        auto* extra = static_cast<std::byte*>(allocate(wanted));
        if (extra == nullptr)
            return nullptr;
        void* chain = overflow_of(block_);
        std::memcpy(extra, &chain, sizeof chain);
        std::memcpy(block_, &extra, sizeof extra);
        next_ = extra + link + size;
        end_ = extra + wanted;
        return extra + link;
    }

    std::byte* block_ = nullptr;
    std::byte* next_ = nullptr;
    std::byte* end_ = nullptr;
};

// A record of `size` bytes, zeroed, behind a header holding tag and no
// overflow, followed by `room` bytes for what it will own; NULL when memory
// is short.
event_record* new_record(ber_tag_t tag, std::size_t size, std::size_t room, Room* out);
// Releases a record, its block and the blocks chained from it.
void free_record(event_record* record) noexcept;

struct RecordFree {
    void operator()(event_record* record) const noexcept { ldap_event_free(record); }
};
using RecordPtr = std::unique_ptr<event_record, RecordFree>;

}  // namespace tervane::records

#endif
