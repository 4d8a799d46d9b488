#include "parameters.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_set>

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

// The characters of an item's value, checked: null when the host answered
// nothing usable.
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

// The items this component allocated and has not released yet. Only these
// are freed on release, whatever marks the host puts on its own items.
platform::Lock items_lock;
std::unordered_set<const HostItem*> live_items;

bool remember_item(const HostItem* item) noexcept
{
    try {
        std::lock_guard guard(items_lock);
        live_items.insert(item);
        return true;
    } catch (...) {
        return false;
    }
}

bool forget_item(const HostItem* item) noexcept
{
    std::lock_guard guard(items_lock);
    return live_items.erase(item) != 0;
}

// Where a writer puts its value: the value of item n, or a new value that
// becomes the return item when the write is committed.
class Target {
public:
    Target(HostCallInfo* call, int n) noexcept : call_(call), n_(n)
    {
        if (n == 0) {
            fresh_ = std::make_unique<host::Value>();
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
    std::unique_ptr<host::Value> fresh_;
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
    auto* item = static_cast<HostItem*>(std::calloc(1, sizeof(HostItem)));
    if (item == nullptr) {
        host::value_free(value);
        return false;
    }
    item->value = value;
    item->number = 0;
    item->flags = HOST_ITEM_MADE_BY_COMPONENT;
    HostItem** link = &call->items;
    std::size_t walked = 0;
    while (*link != nullptr && walked < kMaxItems) {
        link = &(*link)->next;
        ++walked;
    }
    if (*link != nullptr) {
        // The list never ends: do not make it worse.
        std::free(item);
        host::value_free(value);
        return false;
    }
    if (!remember_item(item)) {
        std::free(item);
        host::value_free(value);
        return false;
    }
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
        text::HostTextBuffer buffer;
        std::size_t count = 0;
        const std::size_t length = std::strlen(text);
        const HostChar* converted = utf8 ? text::host_from_utf8(buffer, text, length, &count)
                                         : text::host_from_code_page(buffer, text, length, &count);
        if (converted == nullptr ||
            count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            value.set_empty_text();
        } else {
            value.set_characters(converted, count);
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
    try {
        std::string joined;
        for (std::size_t i = 0; i < count && strings[i] != nullptr; ++i) {
            joined += strings[i];
            joined += ',';
        }
        if (!joined.empty()) {
            joined.pop_back();
        }
        return set_string(call, n, utf8, joined.c_str());
    } catch (...) {
        return false;
    }
}

HostAnswer return_code(HostCallInfo* call, std::int32_t code) noexcept
{
    set_int(call, 0, code);
    return code;
}

HostAnswer return_result(HostCallInfo* call, std::int32_t value) noexcept
{
    set_int(call, 0, value);
    return 0;
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
        if ((item->flags & HOST_ITEM_MADE_BY_COMPONENT) != 0 && forget_item(item)) {
            *link = item->next;
            if (item->value != 0) {
                host::value_free(item->value);
            }
            std::free(item);
        } else {
            link = &item->next;
        }
    }
}

}  // namespace kandrel::params
