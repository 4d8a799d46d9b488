#include "event_record_blocks.h"

namespace tervane::records {

namespace {

std::byte* block_of(event_record* record) { return reinterpret_cast<std::byte*>(record) - kHeaderSize; }

}  // namespace

event_record* new_record(ber_tag_t tag, std::size_t size, std::size_t room, Room* out)
{
    size = round_up(size, alignof(event_record));
    if (size > std::numeric_limits<std::size_t>::max() - kHeaderSize - room)
        return nullptr;
    auto* block = static_cast<std::byte*>(allocate(kHeaderSize + size + room));
    if (block == nullptr)
        return nullptr;
    std::memset(block, 0, kHeaderSize + size);
    auto stored = static_cast<std::int32_t>(tag);
    std::memcpy(block + kHeaderSize - sizeof stored, &stored, sizeof stored);
    if (out != nullptr)
        *out = Room(block, block + kHeaderSize + size, block + kHeaderSize + size + room);
    return reinterpret_cast<event_record*>(block + kHeaderSize);
}

void free_record(event_record* record) noexcept
{
    if (record == nullptr)
        return;
    // Everything the record owns lies in its block or in the overflow blocks
    // chained from its header.
    std::byte* block = block_of(record);
    for (void* extra = overflow_of(block); extra != nullptr;) {
        void* next = overflow_of(static_cast<std::byte*>(extra));
        release(extra);
        extra = next;
    }
    release(block);
}

}  // namespace tervane::records
