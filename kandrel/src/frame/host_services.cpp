#include "host_services.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <type_traits>
#include <utility>

namespace kandrel::host {
namespace {

struct Tables {
    const HostStringServices* strings = nullptr;
    const HostDefaultProcedures* defaults = nullptr;
    const HostValueServices* values = nullptr;
    const HostListServices* lists = nullptr;
};

Tables tables;
std::once_flag adopted_once;
std::atomic<bool> adopted{false};

// Slot index of a table, as a typed function pointer; null when the host did
// not supply the table or the slot. The table pointer is read only after the
// acquire load that publishes it.
template <class Fn, class Table>
Fn slot(const Table* Tables::*table_of, std::size_t index) noexcept
{
    if (!adopted.load(std::memory_order_acquire)) {
        return nullptr;
    }
    const Table* table = tables.*table_of;
    return table != nullptr ? reinterpret_cast<Fn>(table->slot[index]) : nullptr;
}

// Calls slot index with args, or answers R{} when it is missing.
template <class Fn, class Table, class... Args>
auto call(const Table* Tables::*table, std::size_t index, Args... args) noexcept
{
    using Result = decltype(std::declval<Fn>()(args...));
    const Fn fn = slot<Fn>(table, index);
    if constexpr (std::is_void_v<Result>) {
        if (fn != nullptr) {
            fn(args...);
        }
    } else {
        return fn != nullptr ? fn(args...) : Result{};
    }
}

}  // namespace

bool adopt_services(const HostCallInfo* call) noexcept
{
    if (call == nullptr || adopted.load(std::memory_order_acquire)) {
        return adopted.load(std::memory_order_acquire);
    }
    std::call_once(adopted_once, [call] {
        tables.strings = call->string_services;
        tables.defaults = call->default_procedures;
        tables.values = call->value_services;
        tables.lists = call->list_services;
        adopted.store(true, std::memory_order_release);
    });
    return true;
}

bool services_adopted() noexcept { return adopted.load(std::memory_order_acquire); }

HostAnswer default_procedure(HostWindow window, std::uint32_t message, HostWParam wparam,
                             HostLParam lparam, HostCallInfo* info) noexcept
{
    return call<HostDefaultProcFn>(&Tables::defaults, HOST_DEFAULT_SLOT_PROC, window, message,
                                   wparam, lparam, info);
}

std::int32_t string_loaded(HostChar* characters, std::int32_t capacity, std::int32_t length) noexcept
{
    return call<HostStringLoadedFn>(&Tables::strings, HOST_STRING_SLOT_LOADED, characters, capacity,
                                    length);
}

void string_enumerated(HostWParam wparam, const HostShortString* text, HostLParam lparam) noexcept
{
    call<HostStringEnumeratedFn>(&Tables::strings, HOST_STRING_SLOT_ENUMERATED, wparam, text, lparam);
}

HostValueHandle value_create() noexcept
{
    return call<HostValueCreateFn>(&Tables::values, HOST_VALUE_SLOT_CREATE);
}

void value_free(HostValueHandle value) noexcept
{
    call<HostValueFreeFn>(&Tables::values, HOST_VALUE_SLOT_FREE, value);
}

void value_set_short_string(HostValueHandle value, const HostShortString* text) noexcept
{
    call<HostValueSetShortStringFn>(&Tables::values, HOST_VALUE_SLOT_SET_SHORT_STRING, value, text,
                                    std::int32_t{HOST_SUBTYPE_DEFAULT});
}

void value_set_characters(HostValueHandle value, const HostChar* characters, std::int32_t count) noexcept
{
    call<HostValueSetCharactersFn>(&Tables::values, HOST_VALUE_SLOT_SET_CHARACTERS, value,
                                   characters, count);
}

std::int32_t value_get_integer(HostValueHandle value) noexcept
{
    return call<HostValueGetIntegerFn>(&Tables::values, HOST_VALUE_SLOT_GET_INTEGER, value);
}

void value_set_integer(HostValueHandle value, std::int32_t integer) noexcept
{
    call<HostValueSetIntegerFn>(&Tables::values, HOST_VALUE_SLOT_SET_INTEGER, value, integer);
}

HostListHandle value_get_list(HostValueHandle value) noexcept
{
    return call<HostValueGetListFn>(&Tables::values, HOST_VALUE_SLOT_GET_LIST, value,
                                    std::int32_t{0}, std::int32_t{0}, std::int32_t{0});
}

void value_set_list(HostValueHandle value, HostListHandle list) noexcept
{
    call<HostValueSetListFn>(&Tables::values, HOST_VALUE_SLOT_SET_LIST, value, list,
                             std::int32_t{1}, std::int32_t{0});
}

void value_set_binary(HostValueHandle value, const void* data, std::int32_t length) noexcept
{
    call<HostValueSetBinaryFn>(&Tables::values, HOST_VALUE_SLOT_SET_BINARY, value,
                               std::int32_t{HOST_TYPE_BINARY}, data, length,
                               std::int32_t{HOST_SUBTYPE_DEFAULT});
}

std::int32_t value_type(HostValueHandle value) noexcept
{
    std::int32_t type = 0;
    call<HostValueTypeFn>(&Tables::values, HOST_VALUE_SLOT_TYPE, value, &type, std::int32_t{0});
    return type;
}

const HostTextRecord* value_characters(HostValueHandle value) noexcept
{
    return call<HostValueCharactersFn>(&Tables::values, HOST_VALUE_SLOT_CHARACTERS, value,
                                       std::int32_t{0});
}

void value_set_empty_text(HostValueHandle value) noexcept
{
    call<HostValueSetEmptyFn>(&Tables::values, HOST_VALUE_SLOT_SET_EMPTY, value,
                              std::int32_t{HOST_TYPE_CHARACTER}, std::int32_t{HOST_SUBTYPE_DEFAULT});
}

HostListRef list_open(HostListHandle list) noexcept
{
    return call<HostListOpenFn>(&Tables::lists, HOST_LIST_SLOT_OPEN, list);
}

void list_close(HostListRef list) noexcept
{
    call<HostListCloseFn>(&Tables::lists, HOST_LIST_SLOT_CLOSE, list);
}

HostListHandle list_handle(HostListRef list) noexcept
{
    return call<HostListHandleFn>(&Tables::lists, HOST_LIST_SLOT_HANDLE, list);
}

void list_prepare(HostListRef list) noexcept
{
    call<HostListPrepareFn>(&Tables::lists, HOST_LIST_SLOT_PREPARE, list, std::int32_t{1});
}

HostValueHandle list_cell(HostListRef list, std::int32_t row, std::int32_t column) noexcept
{
    HostValueHandle cell = 0;
    call<HostListCellFn>(&Tables::lists, HOST_LIST_SLOT_CELL, list, row, column, &cell,
                         std::int32_t{1});
    return cell;
}

std::int32_t list_add_row(HostListRef list) noexcept
{
    return call<HostListAddRowFn>(&Tables::lists, HOST_LIST_SLOT_ADD_ROW, list, std::int32_t{0},
                                  std::int32_t{0}, std::int32_t{0});
}

}  // namespace kandrel::host
