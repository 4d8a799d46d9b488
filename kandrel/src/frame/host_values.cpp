#include "host_values.h"

#include <cstring>
#include <limits>

#include "host_services.h"

namespace kandrel::host {

Value::Value() noexcept : handle_(value_create()), owned_(handle_ != 0) {}

Value::~Value()
{
    if (owned_) {
        value_free(handle_);
    }
}

HostValueHandle Value::release() noexcept
{
    owned_ = false;
    return handle_;
}

void Value::set_integer(std::int32_t integer) const noexcept
{
    if (handle_ != 0) {
        value_set_integer(handle_, integer);
    }
}

void Value::set_characters(const HostChar* characters, std::size_t count) const noexcept
{
    if (handle_ != 0 && count <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        value_set_characters(handle_, characters, static_cast<std::int32_t>(count));
    }
}

void Value::set_short_string(const HostShortString& text) const noexcept
{
    if (handle_ != 0) {
        value_set_short_string(handle_, &text);
    }
}

void Value::set_binary(const void* data, std::size_t length) const noexcept
{
    if (handle_ != 0 && length <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        value_set_binary(handle_, data, static_cast<std::int32_t>(length));
    }
}

void Value::set_empty_text() const noexcept
{
    if (handle_ != 0) {
        value_set_empty_text(handle_);
    }
}

void Value::set_list(HostListHandle list) const noexcept
{
    if (handle_ != 0) {
        value_set_list(handle_, list);
    }
}

std::int32_t Value::type() const noexcept { return handle_ != 0 ? value_type(handle_) : 0; }

List List::create() noexcept
{
    const HostListRef ref = list_open(0);
    if (ref != 0) {
        list_prepare(ref);
    }
    return List(ref);
}

List List::of_value(HostValueHandle value) noexcept
{
    const HostListHandle handle = value != 0 ? value_get_list(value) : 0;
    return List(handle != 0 ? list_open(handle) : 0);
}

List::~List()
{
    if (ref_ != 0) {
        list_close(ref_);
    }
}

std::int32_t List::add_row() const noexcept { return ref_ != 0 ? list_add_row(ref_) : -1; }

HostValueHandle List::cell(std::int32_t row, std::int32_t column) const noexcept
{
    return ref_ != 0 ? list_cell(ref_, row, column) : 0;
}

HostListHandle List::handle() const noexcept { return ref_ != 0 ? list_handle(ref_) : 0; }

HostShortString make_short_string(std::uint8_t capacity) noexcept
{
    HostShortString text;
    std::memset(&text, 0, sizeof text);
    text.capacity = capacity;
    text.kind = HOST_SHORT_STRING_KIND;
    text.length = 0;
    return text;
}

}  // namespace kandrel::host
