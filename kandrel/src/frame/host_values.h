// Small owners for the host's values, lists and short strings.
#ifndef KANDREL_HOST_VALUES_H
#define KANDREL_HOST_VALUES_H

#include <cstddef>
#include <cstdint>

#include "host_interface.h"

namespace kandrel::host {

// One host value. Made without a handle it creates a new value and frees it
// when it ends, unless ownership was released (for example to an item). Made
// over an existing handle it neither owns nor frees it.
class Value {
public:
    Value() noexcept;
    explicit Value(HostValueHandle existing) noexcept : handle_(existing) {}
    ~Value();
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    HostValueHandle handle() const noexcept { return handle_; }
    bool owned() const noexcept { return owned_; }
    // Gives up ownership and answers the handle.
    HostValueHandle release() noexcept;

    void set_integer(std::int32_t integer) const noexcept;
    // Characters beyond what a 32-bit count can express are not set.
    void set_characters(const HostChar* characters, std::size_t count) const noexcept;
    void set_short_string(const HostShortString& text) const noexcept;
    void set_binary(const void* data, std::size_t length) const noexcept;
    void set_empty_text() const noexcept;
    void set_list(HostListHandle list) const noexcept;
    std::int32_t type() const noexcept;

private:
    HostValueHandle handle_ = 0;
    bool owned_ = false;
};

// A working reference to a host list, closed when it ends.
class List {
public:
    // A new empty list.
    static List create() noexcept;
    // The list a value holds.
    static List of_value(HostValueHandle value) noexcept;
    ~List();
    List(List&& other) noexcept : ref_(other.ref_) { other.ref_ = 0; }
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    List& operator=(List&&) = delete;

    bool valid() const noexcept { return ref_ != 0; }
    // Adds a row and answers its number, or -1 without a list.
    std::int32_t add_row() const noexcept;
    // The value of cell (row, column), columns counted from 1; not owned.
    HostValueHandle cell(std::int32_t row, std::int32_t column) const noexcept;
    // The handle that stores this list into a value.
    HostListHandle handle() const noexcept;

private:
    explicit List(HostListRef ref) noexcept : ref_(ref) {}
    HostListRef ref_ = 0;
};

// An empty short string of the given capacity (at most 255).
HostShortString make_short_string(std::uint8_t capacity) noexcept;

}  // namespace kandrel::host

#endif
