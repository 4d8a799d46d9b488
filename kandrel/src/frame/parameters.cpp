#include "parameters.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "host_services.h"
#include "host_values.h"
#include "platform.h"
#include "text_conversion.h"

namespace kandrel::params {

TextList& TextList::operator=(TextList&& other) noexcept
{
    if (this != &other) {
        reset();
        entries_ = other.entries_;
        other.entries_ = nullptr;
    }
    return *this;
}

std::size_t TextList::size() const noexcept
{
    std::size_t n = 0;
    while (entries_ != nullptr && entries_[n] != nullptr) {
        ++n;
    }
    return n;
}

void TextList::reset() noexcept
{
    if (entries_ != nullptr) {
        for (char** entry = entries_; *entry != nullptr; ++entry) {
            std::free(*entry);
        }
        std::free(entries_);
        entries_ = nullptr;
    }
}

std::int32_t request_id(const HostCallInfo* call) noexcept
{
    return (call != nullptr && call->items != nullptr) ? call->items->id : 0;
}

int count(const HostCallInfo* call) noexcept
{
    // One walk notes which numbers are present; then count the run from 1.
    bool present[256] = {};
    std::size_t walked = 0;
    for (const HostItem* item = call != nullptr ? call->items : nullptr;
         item != nullptr && walked < kMaxItems; item = item->next, ++walked) {
        present[item->number] = true;
    }
    int k = 0;
    while (k < 255 && present[k + 1]) {
        ++k;
    }
    return k;
}

bool get_bool(const HostCallInfo* call, int n, bool& out) noexcept
{
    const HostItem* item = find_item(call, n);
    if (item == nullptr) {
        return false;
    }
    out = host::value_get_integer(item->value) != 0;
    return true;
}

bool get_int(const HostCallInfo* call, int n, std::int32_t& out, std::int32_t fallback) noexcept
{
    const HostItem* item = find_item(call, n);
    if (item == nullptr) {
        out = fallback;
        return false;
    }
    out = host::value_get_integer(item->value);
    return true;
}

namespace {

// A copy of an 8-bit text with the C allocator.
char* copy_text(const char* text, std::size_t length) noexcept
{
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

}  // namespace

const HostChar* item_characters(const HostItem* item, std::size_t& count) noexcept
{
    count = 0;
    if (item == nullptr || item->value == 0) {
        return nullptr;
    }
    const HostTextRecord* record = host::value_characters(item->value);
    if (record == nullptr || record->byte_length < 0) {
        return nullptr;
    }
    count = static_cast<std::size_t>(record->byte_length) / sizeof(HostChar);
    if (count > 0 && record->characters == nullptr) {
        count = 0;
        return nullptr;
    }
    static const HostChar kNoCharacters[1] = {0};
    return count > 0 ? record->characters : kNoCharacters;
}

namespace {

// The items this component allocated and has not released yet. Only these
// are freed on release, whatever marks the host puts on its own items. Every
// call makes one item and releases it soon after, so items live in blocks the
// store keeps: making one takes a cell off the free list, and telling whether
// an item the host hands back is one of ours is a range check over at most a
// few blocks (each twice the size of the one before) and the cell's own mark,
// with no table to search or update.
class ItemStore {
public:
    ItemStore() = default;
    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;
    // A block with an item the host still holds stays allocated: a host may
    // still walk its list after the component is gone.
    ~ItemStore()
    {
        for (std::size_t b = 0; b < block_count_; ++b) {
            bool held = false;
            for (std::size_t i = 0; i < cells_in(b); ++i) {
                held = held || blocks_[b][i].live;
            }
            if (!held) {
                delete[] blocks_[b];
            }
        }
    }

    // A cleared item, counted as the component's; null when memory is short.
    HostItem* make() noexcept
    {
        std::size_t blocks = 0;
        {
            std::lock_guard guard(lock_);
            if (Cell* cell = take_free(); cell != nullptr) {
                return &cell->item;
            }
            blocks = block_count_;
        }
        // A new block is allocated outside the lock, then added, unless a
        // thread added one meanwhile.
        if (blocks == kMaxBlocks) {
            return nullptr;
        }
        Cell* block = new (std::nothrow) Cell[cells_in(blocks)];
        std::lock_guard guard(lock_);
        if (block != nullptr && block_count_ == blocks) {
            for (std::size_t i = cells_in(blocks); i-- > 0;) {
                block[i].next_free = free_;
                free_ = &block[i];
            }
            blocks_[block_count_++] = block;
            block = nullptr;
        }
        delete[] block;
        Cell* cell = take_free();
        return cell != nullptr ? &cell->item : nullptr;
    }

    // Takes back an item of the component's; false (and nothing done) for
    // any other. The item must not be used afterwards.
    bool take_back(HostItem* item) noexcept
    {
        const auto address = reinterpret_cast<std::uintptr_t>(item);
        std::lock_guard guard(lock_);
        for (std::size_t b = 0; b < block_count_; ++b) {
            const auto first = reinterpret_cast<std::uintptr_t>(blocks_[b]);
            const std::uintptr_t offset = address - first;  // wraps around below the block
            if (offset >= cells_in(b) * sizeof(Cell)) {
                continue;
            }
            if (offset % sizeof(Cell) != 0) {
                return false;
            }
            Cell& cell = blocks_[b][offset / sizeof(Cell)];
            if (!cell.live) {
                return false;
            }
            cell.live = false;
            cell.next_free = free_;
            free_ = &cell;
            return true;
        }
        return false;
    }

private:
    // The item comes first, so an item's address is its cell's.
    struct Cell {
        HostItem item;
        Cell* next_free = nullptr;
        bool live = false;
    };
    static constexpr std::size_t kFirstBlock = 32;
    static constexpr std::size_t kMaxBlocks = 32;
    static constexpr std::size_t cells_in(std::size_t block) noexcept { return kFirstBlock << block; }

    // A cleared item from the free list, under the lock; null when empty.
    Cell* take_free() noexcept
    {
        Cell* cell = free_;
        if (cell != nullptr) {
            free_ = cell->next_free;
            cell->next_free = nullptr;
            cell->live = true;
            cell->item = HostItem{};
        }
        return cell;
    }

    platform::Lock lock_;
    Cell* blocks_[kMaxBlocks] = {};
    std::size_t block_count_ = 0;
    Cell* free_ = nullptr;
};

ItemStore items;

// Texts up to this many bytes are converted for the host on the stack.
constexpr std::size_t kShortText = 256;

// Where a writer puts its value: the value of item n, or a new value that
// becomes the return item when the write is committed.
class Target {
public:
    Target(HostCallInfo* call, int n) noexcept : call_(call), n_(n)
    {
        if (n == 0) {
            fresh_.emplace();
            usable_ = call != nullptr && fresh_->handle() != 0;
        } else {
            item_ = find_item(call, n);
            usable_ = item_ != nullptr && item_->value != 0;
        }
    }
    bool usable() const noexcept { return usable_; }
    HostValueHandle handle() const noexcept
    {
        return n_ == 0 ? fresh_->handle() : item_->value;
    }
    host::Value value() const noexcept { return host::Value(handle()); }
    bool commit() noexcept
    {
        if (n_ == 0) {
            return append_return_value(call_, fresh_->release());
        }
        item_->flags |= HOST_ITEM_CHANGED;
        return true;
    }

private:
    HostCallInfo* call_;
    int n_;
    HostItem* item_ = nullptr;
    std::optional<host::Value> fresh_;
    bool usable_ = false;
};

}  // namespace

bool get_string(const HostCallInfo* call, int n, bool utf8, Text& out, bool allow_null) noexcept
{
    out.reset();
    std::size_t count = 0;
    const HostChar* characters = item_characters(find_item(call, n), count);
    if (characters != nullptr) {
        text::EightBitBuffer buffer;
        std::size_t length = 0;
        const char* converted = utf8 ? text::utf8_from_host(buffer, characters, count, &length)
                                     : text::code_page_from_host(buffer, characters, count, &length);
        if (converted != nullptr) {
            out.reset(buffer.take());
        }
    }
    if (!out && !allow_null) {
        out.reset(copy_text("", 0));
    }
    return out != nullptr;
}

void ParamText::take(ParamText& other) noexcept
{
    heap_ = std::move(other.heap_);
    if (!heap_) {
        std::memcpy(inline_, other.inline_, std::strlen(other.inline_) + 1);
    }
    other.inline_[0] = '\0';
}

ParamText& ParamText::operator=(ParamText&& other) noexcept
{
    if (this != &other) {
        take(other);
    }
    return *this;
}

ParamText::Read ParamText::read(const HostCallInfo* call, int n, bool utf8) noexcept
{
    heap_.reset();
    inline_[0] = '\0';
    std::size_t count = 0;
    const HostChar* characters = item_characters(find_item(call, n), count);
    if (characters == nullptr) {
        return Read::absent;
    }
    std::size_t length = 0;
    const bool fits = utf8 ? count < kInline / 4 : count < kInline;
    if (fits) {
        if (utf8) {
            if (!text::utf8_into(inline_, characters, count, &length)) {
                inline_[0] = '\0';
                return Read::unconvertible;
            }
            return Read::ok;
        }
        for (std::size_t i = 0; i < count; ++i) {
            inline_[i] = static_cast<char>(text::code_page_byte(characters[i]));
        }
        inline_[count] = '\0';
        return Read::ok;
    }
    text::EightBitBuffer buffer;
    const char* converted = utf8 ? text::utf8_from_host(buffer, characters, count, &length)
                                 : text::code_page_from_host(buffer, characters, count, &length);
    if (converted == nullptr) {
        inline_[0] = '\0';
        return buffer.data() == nullptr ? Read::no_memory : Read::unconvertible;
    }
    heap_.reset(buffer.take());
    return Read::ok;
}

bool get_string_list(const HostCallInfo* call, int n, bool utf8, TextList& out, bool allow_null) noexcept
{
    out.reset();
    Text text;
    if (!get_string(call, n, utf8, text, allow_null)) {
        return false;
    }
    const std::size_t length = std::strlen(text.get());
    if (length == 0) {
        return true;
    }
    std::size_t commas = 0;
    for (std::size_t i = 0; i < length; ++i) {
        commas += text.get()[i] == ',' ? 1 : 0;
    }
    char** entries = static_cast<char**>(std::calloc(commas + 2, sizeof(char*)));
    if (entries == nullptr) {
        return false;
    }
    TextList list(entries);
    std::size_t used = 0;
    const char* piece = text.get();
    for (const char* p = piece;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (p > piece) {
                entries[used] = copy_text(piece, static_cast<std::size_t>(p - piece));
                if (entries[used] == nullptr) {
                    return false;
                }
                ++used;
            }
            if (*p == '\0') {
                break;
            }
            piece = p + 1;
        }
    }
    out = std::move(list);
    return true;
}

bool append_return_value(HostCallInfo* call, HostValueHandle value) noexcept
{
    if (call == nullptr) {
        host::value_free(value);
        return false;
    }
    HostItem** link = &call->items;
    std::size_t walked = 0;
    while (*link != nullptr && walked < kMaxItems) {
        link = &(*link)->next;
        ++walked;
    }
    // A list that never ends is not made worse.
    HostItem* item = *link == nullptr ? items.make() : nullptr;
    if (item == nullptr) {
        host::value_free(value);
        return false;
    }
    item->value = value;
    item->number = 0;
    item->flags = HOST_ITEM_MADE_BY_COMPONENT;
    *link = item;
    return true;
}

bool set_int(HostCallInfo* call, int n, std::int32_t value) noexcept
{
    Target target(call, n);
    if (!target.usable()) {
        return false;
    }
    target.value().set_integer(value);
    return target.commit();
}

bool set_binary(HostCallInfo* call, int n, const void* data, std::size_t length) noexcept
{
    Target target(call, n);
    if (!target.usable() ||
        length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }
    target.value().set_binary(data, length);
    return target.commit();
}

namespace {

// Writes pieces[0..entries) joined with "," to item n, converting each piece
// straight into host characters: a comma is ASCII in both encodings and ends
// any UTF-8 sequence, so the pieces convert alone exactly as their joined
// text would. Text that is not valid UTF-8 when utf8 is true writes the empty
// text.
bool write_joined(HostCallInfo* call, int n, bool utf8, const char* const* pieces, std::size_t entries) noexcept
{
    // The lengths of the first pieces are kept for the conversion below, so
    // that each piece is measured once.
    constexpr std::size_t kKeptLengths = 32;
    std::size_t lengths[kKeptLengths];
    std::size_t length = entries > 0 ? entries - 1 : 0;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t bytes = std::strlen(pieces[i]);
        if (i < kKeptLengths) {
            lengths[i] = bytes;
        }
        length += bytes;
    }
    Target target(call, n);
    if (!target.usable()) {
        return false;
    }
    // Short texts, most of what crosses, convert on the stack.
    HostChar area[kShortText + 1];
    text::HostTextBuffer buffer;
    HostChar* out = area;
    if (length > kShortText) {
        if (!buffer.ensure(length + 1)) {
            return false;  // memory, not the text: nothing is written
        }
        out = buffer.data();
    }
    std::size_t count = 0;
    bool converted = true;
    for (std::size_t i = 0; i < entries && converted; ++i) {
        if (i > 0) {
            out[count++] = ',';
        }
        const std::size_t bytes = i < kKeptLengths ? lengths[i] : std::strlen(pieces[i]);
        std::size_t made = bytes;
        if (utf8) {
            converted = text::host_from_utf8_into(out + count, pieces[i], bytes, &made);
        } else {
            text::host_from_code_page_into(out + count, pieces[i], bytes);
        }
        count += made;
    }
    const host::Value value = target.value();
    if (!converted || count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        value.set_empty_text();
    } else {
        value.set_characters(out, count);
    }
    return target.commit();
}

}  // namespace

bool set_string(HostCallInfo* call, int n, bool utf8, const char* text) noexcept
{
    if (text == nullptr) {
        Target target(call, n);
        if (!target.usable()) {
            return false;
        }
        target.value().set_empty_text();
        return target.commit();
    }
    return write_joined(call, n, utf8, &text, 1);
}

bool set_string_list(HostCallInfo* call, int n, bool utf8, char* const* strings,
                     std::size_t count) noexcept
{
    if (strings == nullptr) {
        return set_string(call, n, utf8, nullptr);
    }
    std::size_t entries = 0;
    while (entries < count && strings[entries] != nullptr) {
        ++entries;
    }
    return write_joined(call, n, utf8, strings, entries);
}

HostAnswer return_code(HostCallInfo* call, std::int32_t code) noexcept
{
    return set_int(call, 0, code) ? code : kNotDelivered;
}

HostAnswer return_result(HostCallInfo* call, std::int32_t value) noexcept
{
    return set_int(call, 0, value) ? 0 : kNotDelivered;
}

void release_results(HostCallInfo* call) noexcept
{
    if (call == nullptr) {
        return;
    }
    HostItem** link = &call->items;
    std::size_t walked = 0;
    while (*link != nullptr && walked < kMaxItems) {
        HostItem* item = *link;
        ++walked;
        HostItem* const next = item->next;
        const HostValueHandle value = item->value;
        if ((item->flags & HOST_ITEM_MADE_BY_COMPONENT) != 0 && items.take_back(item)) {
            *link = next;
            if (value != 0) {
                host::value_free(value);
            }
        } else {
            link = &item->next;
        }
    }
}

}  // namespace kandrel::params
