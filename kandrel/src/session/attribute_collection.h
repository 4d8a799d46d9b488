// The attribute collection: the name/value line list in which structured
// values cross between host programs and the session object. Text form: per
// item the name, a colon and a blank (both left out without a name), the
// value (left out without one), then a carriage return.
#ifndef KANDREL_ATTRIBUTE_COLLECTION_H
#define KANDREL_ATTRIBUTE_COLLECTION_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host_interface.h"

namespace kandrel {

class AttributeCollection {
public:
    // The array grows by this many items whenever it is full.
    static constexpr std::size_t kGrowth = 10;

    // An empty name or value is stored as none.
    struct Item {
        std::optional<std::string> name;
        std::optional<std::string> value;
    };

    // Appends an item, even when one of that name exists.
    void add(std::string_view name, std::string_view value);
    void add_integer(std::string_view name, std::int32_t value);
    // Appends one item per array entry, stopping at a null or empty entry.
    void add_each(std::string_view name, const char* const* values);
    // The first item with that name, or null. An empty name matches nothing.
    const Item* find(std::string_view name) const noexcept;
    // Gives the first item of that name the value, or appends a new item.
    void set_or_add(std::string_view name, std::string_view value);
    void set_or_add_integer(std::string_view name, std::int32_t value);
    // The text value of the first item of that name; none without one.
    std::optional<std::string_view> get(std::string_view name) const noexcept;
    // The value of the first item of that name read as a decimal integer; 0
    // without one.
    std::int32_t get_integer(std::string_view name) const noexcept;
    // The text value of the n-th item (from 1) of that name; none when there
    // are fewer or n is below 1.
    std::optional<std::string_view> get_nth(std::string_view name, std::int32_t n) const noexcept;

    // Appends the items of a text. Lines end at a carriage return or a line
    // feed; empty lines give no item; the first colon of a line ends the name;
    // blanks (bytes 1 to 32) after a line end and after that colon are
    // skipped. Lines are kept whole, however long.
    void parse(std::string_view text);
    // The text form, built in one allocation of exactly its length.
    std::string format() const;
    void clear() noexcept;

    std::size_t size() const noexcept { return items_.size(); }
    std::size_t capacity() const noexcept { return items_.capacity(); }
    const Item& operator[](std::size_t index) const noexcept { return items_[index]; }

    // Reads parameter n as text in the object's encoding (empty when omitted)
    // and appends its items.
    bool read_from_parameter(const HostCallInfo* call, int n, bool utf8);
    // Writes the text form to parameter n (0: the return value).
    bool write_to_parameter(HostCallInfo* call, int n, bool utf8) const;

private:
    void append(Item item);
    Item* find_mutable(std::string_view name) noexcept;

    std::vector<Item> items_;
};

}  // namespace kandrel

#endif
