#include "attribute_collection.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <utility>

#include "parameters.h"

namespace kandrel {
namespace {

std::optional<std::string> stored(std::string_view text)
{
    return text.empty() ? std::nullopt : std::optional<std::string>(std::in_place, text);
}

std::string decimal(std::int32_t value)
{
    char digits[16];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    return std::string(digits, end);
}

constexpr bool is_blank(unsigned char byte) { return byte >= 1 && byte <= 32; }
constexpr bool is_line_end(unsigned char byte) { return byte == '\r' || byte == '\n'; }

}  // namespace

void AttributeCollection::append(Item item)
{
    if (items_.size() == items_.capacity()) {
        items_.reserve(items_.capacity() + kGrowth);
    }
    items_.push_back(std::move(item));
}

void AttributeCollection::add(std::string_view name, std::string_view value)
{
    append(Item{stored(name), stored(value)});
}

void AttributeCollection::add_integer(std::string_view name, std::int32_t value)
{
    add(name, decimal(value));
}

void AttributeCollection::add_each(std::string_view name, const char* const* values)
{
    for (; values != nullptr && *values != nullptr && **values != '\0'; ++values) {
        add(name, *values);
    }
}

const AttributeCollection::Item* AttributeCollection::find(std::string_view name) const noexcept
{
    if (name.empty()) {
        return nullptr;
    }
    const auto found = std::find_if(items_.begin(), items_.end(), [name](const Item& item) {
        return item.name && *item.name == name;
    });
    return found != items_.end() ? &*found : nullptr;
}

AttributeCollection::Item* AttributeCollection::find_mutable(std::string_view name) noexcept
{
    return const_cast<Item*>(std::as_const(*this).find(name));
}

void AttributeCollection::set_or_add(std::string_view name, std::string_view value)
{
    if (Item* item = find_mutable(name)) {
        item->value = stored(value);
    } else {
        add(name, value);
    }
}

void AttributeCollection::set_or_add_integer(std::string_view name, std::int32_t value)
{
    set_or_add(name, decimal(value));
}

std::optional<std::string_view> AttributeCollection::get(std::string_view name) const noexcept
{
    const Item* item = find(name);
    if (item == nullptr || !item->value) {
        return std::nullopt;
    }
    return std::string_view(*item->value);
}

std::int32_t AttributeCollection::get_integer(std::string_view name) const noexcept
{
    const Item* item = find(name);
    if (item == nullptr || !item->value) {
        return 0;
    }
    // Decimal digits after optional blanks and sign, as the C library reads
    // them; out-of-range values are held at the nearest limit.
    errno = 0;
    const long value = std::strtol(item->value->c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::optional<std::string_view> AttributeCollection::get_nth(std::string_view name,
                                                             std::int32_t n) const noexcept
{
    if (n < 1 || name.empty()) {
        return std::nullopt;
    }
    for (const Item& item : items_) {
        if (item.name && *item.name == name && --n == 0) {
            return item.value ? std::optional<std::string_view>(*item.value) : std::nullopt;
        }
    }
    return std::nullopt;
}

void AttributeCollection::parse(std::string_view text)
{
    std::string name;
    std::string value;
    bool colon_seen = false;
    bool line_started = false;
    bool skipping = false;  // blanks are skipped after a line end and after the colon

    auto finish_line = [&] {
        if (line_started) {
            append(Item{stored(name), stored(value)});
        }
        name.clear();
        value.clear();
        colon_seen = false;
        line_started = false;
    };

    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_line_end(byte)) {
            finish_line();
            skipping = true;
            continue;
        }
        if (skipping && is_blank(byte)) {
            continue;
        }
        skipping = false;
        line_started = true;
        if (!colon_seen && byte == ':') {
            colon_seen = true;
            skipping = true;
        } else if (colon_seen) {
            value.push_back(c);
        } else {
            name.push_back(c);
        }
    }
    finish_line();
}

std::string AttributeCollection::format() const
{
    std::size_t length = 0;
    for (const Item& item : items_) {
        length += (item.name ? item.name->size() + 2 : 0) + (item.value ? item.value->size() : 0) + 1;
    }
    std::string text;
    text.reserve(length);
    for (const Item& item : items_) {
        if (item.name) {
            text += *item.name;
            text += ": ";
        }
        if (item.value) {
            text += *item.value;
        }
        text += '\r';
    }
    return text;
}

void AttributeCollection::clear() noexcept
{
    std::vector<Item>().swap(items_);
}

bool AttributeCollection::read_from_parameter(const HostCallInfo* call, int n, bool utf8)
{
    params::Text text;
    params::get_string(call, n, utf8, text, false);
    if (text) {
        parse(text.get());
    }
    return true;
}

bool AttributeCollection::write_to_parameter(HostCallInfo* call, int n, bool utf8) const
{
    return params::set_string(call, n, utf8, format().c_str());
}

}  // namespace kandrel
