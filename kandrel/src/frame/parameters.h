// Reading the parameters of a host request and writing its results. A request
// carries a list of HostItem records; parameters are numbered from 1, the
// return value is number 0. Items the component appends carry the
// component-made mark and are released on HOSTMSG_RELEASE_RESULTS.
#ifndef KANDREL_PARAMETERS_H
#define KANDREL_PARAMETERS_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "host_interface.h"

namespace kandrel::params {

// A walk over a host item list stops after this many items, so a list that
// loops back on itself cannot hold the component forever.
inline constexpr std::size_t kMaxItems = 65536;

// An 8-bit text from the C allocator.
struct FreeText {
    void operator()(char* text) const noexcept { std::free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

// An 8-bit text read from a parameter: held in the object itself when it is
// short, which most parameters are, so reading it allocates nothing.
class ParamText {
public:
    enum class Read { ok, absent, unconvertible, no_memory };

    ParamText() noexcept { inline_[0] = '\0'; }
    ParamText(ParamText&& other) noexcept { take(other); }
    ParamText& operator=(ParamText&& other) noexcept;
    ParamText(const ParamText&) = delete;
    ParamText& operator=(const ParamText&) = delete;

    const char* get() const noexcept { return heap_ ? heap_.get() : inline_; }
    // Reads item n in UTF-8 (utf8 true) or the code page. On anything but
    // ok the text is empty.
    Read read(const HostCallInfo* call, int n, bool utf8) noexcept;

private:
    void take(ParamText& other) noexcept;

    static constexpr std::size_t kInline = 256;
    char inline_[kInline];
    Text heap_;
};

// A null-terminated array of 8-bit texts, entries and array from the C
// allocator.
class TextList {
public:
    TextList() = default;
    explicit TextList(char** entries) noexcept : entries_(entries) {}
    ~TextList() { reset(); }
    TextList(TextList&& other) noexcept : entries_(other.entries_) { other.entries_ = nullptr; }
    TextList& operator=(TextList&& other) noexcept;
    TextList(const TextList&) = delete;
    TextList& operator=(const TextList&) = delete;

    char** get() const noexcept { return entries_; }
    std::size_t size() const noexcept;
    void reset() noexcept;

private:
    char** entries_ = nullptr;
};

// The first item with the given number, or null. Inline: every parameter
// read and written starts here.
inline HostItem* find_item(const HostCallInfo* call, int number) noexcept
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

// The characters of an item's value, count set to their number; null for an
// absent item or a value without usable characters.
const HostChar* item_characters(const HostItem* item, std::size_t& count) noexcept;
// The method or property id of a request: the first word of its first item.
std::int32_t request_id(const HostCallInfo* call) noexcept;
// k such that items 1 to k exist and item k + 1 does not.
int count(const HostCallInfo* call) noexcept;

// Item n absent: false, out unchanged. Otherwise out = (integer != 0), true.
bool get_bool(const HostCallInfo* call, int n, bool& out) noexcept;
// Item n absent: out = fallback, false. Otherwise out = its integer, true.
bool get_int(const HostCallInfo* call, int n, std::int32_t& out, std::int32_t fallback) noexcept;
// Item n as a new 8-bit text in UTF-8 (utf8 true) or the code page. A missing
// item or a failed UTF-8 conversion gives null, or the empty text when
// allow_null is false. Answers whether out is set.
bool get_string(const HostCallInfo* call, int n, bool utf8, Text& out, bool allow_null) noexcept;
// Item n split at commas, empty pieces dropped. An empty text gives true and
// no list; an unreadable one false.
bool get_string_list(const HostCallInfo* call, int n, bool utf8, TextList& out, bool allow_null) noexcept;

// The writers set the value of item n in place and mark it changed, or, for
// n = 0, append a new item holding a new value as the return value. They
// answer false when item n > 0 is absent or the write failed.
bool set_int(HostCallInfo* call, int n, std::int32_t value) noexcept;
bool set_binary(HostCallInfo* call, int n, const void* data, std::size_t length) noexcept;
// A null text writes the empty text; so does text that is not valid UTF-8
// when utf8 is true.
bool set_string(HostCallInfo* call, int n, bool utf8, const char* text) noexcept;
// Joins at most count entries, stopping at a null one, with ",". A null array
// writes the empty text.
bool set_string_list(HostCallInfo* call, int n, bool utf8, char* const* strings,
                     std::size_t count) noexcept;
// Appends value as the return item and takes it over; false (value freed)
// when no item can be made.
bool append_return_value(HostCallInfo* call, HostValueHandle value) noexcept;

// What a request answers when its results could not be written (the
// classic NO_MEMORY code): never an answer that means success.
inline constexpr HostAnswer kNotDelivered = 90;

// Sets the return value to code and answers code; kNotDelivered when the
// return value could not be written.
HostAnswer return_code(HostCallInfo* call, std::int32_t code) noexcept;
// Sets the return value to value and answers 0; kNotDelivered when the
// return value could not be written.
HostAnswer return_result(HostCallInfo* call, std::int32_t value) noexcept;

// Unlinks and frees every item the component made, with its value; items of
// the host stay.
void release_results(HostCallInfo* call) noexcept;

}  // namespace kandrel::params

#endif
