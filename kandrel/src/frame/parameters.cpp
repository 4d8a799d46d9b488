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
#include "open_slots.h"
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

HostItem* find_item(const HostCallInfo* call, int number) noexcept
{
    if (call == nullptr || number < 0 || number > 255) {
        return nullptr;
    }
    std::size_t walked = 0;
    for (HostItem* item = call->items; item != nullptr && walked < kMaxItems;
         item = item->next, ++walked) {
        if (item->number == number) {
            return item;
        }
    }
    return nullptr;
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

// A set of item addresses in the component's open-addressed slots: every
// result item passes through it, so it allocates only when it grows.
struct ItemPolicy {
    static bool occupied(const HostItem* item) noexcept { return item != nullptr; }
    static std::uint64_t hash(const HostItem* item) noexcept { return reinterpret_cast<std::uintptr_t>(item); }
};

// The items this component allocated and has not released yet. Only these
// are freed on release, whatever marks the host puts on its own items.
// Nearly every call makes one item and releases it soon after, so released
// items are kept for the next calls, a few of them, instead of going back to
// the allocator.
class ItemStore {
public:
    ItemStore() = default;
    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;
    ~ItemStore()
    {
        for (std::size_t i = 0; i < spare_count_; ++i) {
            delete spares_[i];
        }
    }

    // A cleared item, counted as the component's; null when memory is short.
    HostItem* make() noexcept
    {
        {
            std::lock_guard guard(lock_);
            if (spare_count_ > 0) {
                HostItem* item = spares_[spare_count_ - 1];
                if (!count(item)) {
                    return nullptr;
                }
                --spare_count_;
                *item = HostItem{};
                return item;
            }
        }
        // Allocated outside the lock, then counted.
        auto* item = new (std::nothrow) HostItem{};
        if (item == nullptr) {
            return nullptr;
        }
        bool counted = false;
        {
            std::lock_guard guard(lock_);
            counted = count(item);
        }
        if (!counted) {
            delete item;
            return nullptr;
        }
        return item;
    }

    // Takes back an item of the component's; false (and nothing done) for
    // any other. The item must not be used afterwards.
    bool take_back(HostItem* item) noexcept
    {
        {
            std::lock_guard guard(lock_);
            HostItem** found =
                live_.find(ItemPolicy::hash(item), [item](const HostItem* slot) { return slot == item; });
            if (found == nullptr) {
                return false;
            }
            live_.vacate(found);
            if (spare_count_ < kSpares) {
                spares_[spare_count_++] = item;
                return true;
            }
        }
        delete item;
        return true;
    }

private:
    static constexpr std::size_t kSpares = 16;

    // Adds item to the live ones, under the lock; false when memory is short.
    bool count(HostItem* item) noexcept
    {
        try {
            live_.reserve_one();
        } catch (const std::bad_alloc&) {
            return false;
        }
        live_.place(std::move(item));
        return true;
    }

    platform::Lock lock_;
    OpenSlots<HostItem*, ItemPolicy> live_;
    HostItem* spares_[kSpares] = {};
    std::size_t spare_count_ = 0;
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

bool set_string(HostCallInfo* call, int n, bool utf8, const char* text) noexcept
{
    Target target(call, n);
    if (!target.usable()) {
        return false;
    }
    const host::Value value = target.value();
    if (text == nullptr) {
        value.set_empty_text();
    } else {
        // Short texts, most of what crosses, convert on the stack.
        const std::size_t length = std::strlen(text);
        HostChar area[kShortText + 1];
        text::HostTextBuffer buffer;
        HostChar* out = area;
        if (length > kShortText) {
            if (!buffer.ensure(length + 1)) {
                return false;  // memory, not the text: nothing is written
            }
            out = buffer.data();
        }
        std::size_t count = length;
        bool converted = true;
        if (utf8) {
            converted = text::host_from_utf8_into(out, text, length, &count);
        } else {
            text::host_from_code_page_into(out, text, length);
        }
        if (!converted || count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            value.set_empty_text();
        } else {
            value.set_characters(out, count);
        }
    }
    return target.commit();
}

bool set_string_list(HostCallInfo* call, int n, bool utf8, char* const* strings,
                     std::size_t count) noexcept
{
    if (strings == nullptr) {
        return set_string(call, n, utf8, nullptr);
    }
    std::size_t length = 0;
    std::size_t entries = 0;
    for (; entries < count && strings[entries] != nullptr; ++entries) {
        length += std::strlen(strings[entries]) + 1;
    }
    // Short lists are joined on the stack.
    char area[kShortText + 1];
    Text heap;
    char* joined = area;
    if (length > sizeof area) {
        heap.reset(static_cast<char*>(std::malloc(length)));
        joined = heap.get();
        if (joined == nullptr) {
            return false;
        }
    }
    char* end = joined;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t size = std::strlen(strings[i]);
        std::memcpy(end, strings[i], size);
        end += size;
        *end++ = ',';
    }
    if (end != joined) {
        --end;  // the last comma
    }
    *end = '\0';
    return set_string(call, n, utf8, joined);
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
