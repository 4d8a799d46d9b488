// The services the test host offers the component, as the component calls
// them: strings, default procedures, values and lists over the store.
#include <algorithm>
#include <cstring>

#include "test_host_store.h"

namespace testhost::detail {
namespace {

std::int32_t HOST_CALL string_loaded(HostChar*, std::int32_t, std::int32_t length)
{
    Guard guard(store().lock);
    ++store().string_loads;
    return length;
}

void HOST_CALL string_enumerated(HostWParam, const HostShortString* text, HostLParam lparam)
{
    std::mutex unshared;
    Guard hooks_only(unshared);
    auto* collected = reinterpret_cast<std::vector<std::u32string>*>(lparam);
    if (collected != nullptr && text != nullptr && text->length >= 0 &&
        text->length <= text->capacity) {
        collected->emplace_back(text->text, text->text + text->length);
    }
}

HostAnswer HOST_CALL default_procedure(HostWindow, std::uint32_t message, HostWParam, HostLParam,
                                       HostCallInfo*)
{
    return default_answer(message);
}

HostValueHandle HOST_CALL value_create()
{
    Guard guard(store().lock);
    return new_value_locked();
}

void HOST_CALL value_free(HostValueHandle value)
{
    Guard guard(store().lock);
    free_value_locked(value);
}

void HOST_CALL value_set_short_string(HostValueHandle handle, const HostShortString* text, std::int32_t)
{
    Guard guard(store().lock);
    if (ValueObject* value = value_locked(handle); value != nullptr && text != nullptr) {
        clear_value(*value);
        value->type = HOST_TYPE_CHARACTER;
        const std::int32_t length = text->length < 0 ? 0 : text->length;
        value->text.assign(text->text, text->text + std::min<std::int32_t>(length, text->capacity));
    }
}

void HOST_CALL value_set_characters(HostValueHandle handle, const HostChar* characters, std::int32_t count)
{
    Guard guard(store().lock);
    if (ValueObject* value = value_locked(handle)) {
        clear_value(*value);
        value->type = HOST_TYPE_CHARACTER;
        if (count > 0 && characters != nullptr) {
            value->text.assign(characters, characters + count);
        }
    }
}

std::int32_t HOST_CALL value_get_integer(HostValueHandle handle)
{
    Guard guard(store().lock);
    const ValueObject* value = value_locked(handle);
    if (value == nullptr) {
        return 0;
    }
    if (value->type == HOST_TYPE_CHARACTER) {
        const std::string digits(value->text.begin(), value->text.end());
        return static_cast<std::int32_t>(std::strtol(digits.c_str(), nullptr, 10));
    }
    return value->integer;
}

void HOST_CALL value_set_integer(HostValueHandle handle, std::int32_t integer)
{
    Guard guard(store().lock);
    if (ValueObject* value = value_locked(handle)) {
        clear_value(*value);
        value->type = HOST_TYPE_INTEGER;
        value->integer = integer;
    }
}

HostListHandle HOST_CALL value_get_list(HostValueHandle handle, std::int32_t, std::int32_t, std::int32_t)
{
    Guard guard(store().lock);
    const ValueObject* value = value_locked(handle);
    return value != nullptr ? value->list : 0;
}

void HOST_CALL value_set_list(HostValueHandle handle, HostListHandle list, std::int32_t, std::int32_t)
{
    Guard guard(store().lock);
    if (ValueObject* value = value_locked(handle)) {
        const HostListHandle copy = list != 0 ? copy_list_locked(list) : new_list_locked();
        clear_value(*value);
        value->type = HOST_TYPE_LIST;
        value->list = copy;
    }
}

void HOST_CALL value_set_binary(HostValueHandle handle, std::int32_t type, const void* data,
                                std::int32_t length, std::int32_t)
{
    Guard guard(store().lock);
    if (ValueObject* value = value_locked(handle)) {
        clear_value(*value);
        value->type = type;
        if (length > 0 && data != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            value->binary.assign(bytes, bytes + length);
        }
    }
}

void HOST_CALL value_type(HostValueHandle handle, std::int32_t* type, std::int32_t)
{
    Guard guard(store().lock);
    const ValueObject* value = value_locked(handle);
    if (type != nullptr) {
        *type = value != nullptr ? value->type : 0;
    }
}

const HostTextRecord* HOST_CALL value_characters(HostValueHandle handle, std::int32_t)
{
    Guard guard(store().lock);
    ValueObject* value = value_locked(handle);
    if (value == nullptr) {
        return nullptr;
    }
    if (value->type == HOST_TYPE_INTEGER || value->type == HOST_TYPE_BOOLEAN) {
        value->record_text = decimal_text(value->integer);
    } else {
        value->record_text = value->text;
    }
    value->record.reserved0 = 0;
    value->record.byte_length = static_cast<std::int32_t>(value->record_text.size() * sizeof(HostChar));
    value->record.characters = reinterpret_cast<const HostChar*>(value->record_text.data());
    return &value->record;
}

void HOST_CALL value_set_empty(HostValueHandle handle, std::int32_t type, std::int32_t)
{
    Guard guard(store().lock);
    if (ValueObject* value = value_locked(handle)) {
        clear_value(*value);
        value->type = type;
    }
}

HostListRef HOST_CALL list_open(HostListHandle list)
{
    Guard guard(store().lock);
    Store& s = store();
    const bool fresh = list == 0;
    if (!fresh && s.lists.find(list) == s.lists.end()) {
        ++s.bad_handles;
        return 0;
    }
    const HostListHandle target = fresh ? new_list_locked() : list;
    const HostListRef reference = s.next++;
    s.references.emplace(reference, ListReference{target, fresh});
    return reference;
}

void HOST_CALL list_close(HostListRef reference)
{
    Guard guard(store().lock);
    Store& s = store();
    const auto found = s.references.find(reference);
    if (found == s.references.end()) {
        ++s.bad_handles;
        return;
    }
    const ListReference closed = found->second;
    s.references.erase(found);
    if (closed.owns) {
        free_list_locked(closed.list);
    }
}

const ListReference* reference_locked(HostListRef reference)
{
    Store& s = store();
    const auto found = s.references.find(reference);
    if (found == s.references.end()) {
        ++s.bad_handles;
        return nullptr;
    }
    return &found->second;
}

HostListHandle HOST_CALL list_handle(HostListRef reference)
{
    Guard guard(store().lock);
    const ListReference* found = reference_locked(reference);
    return found != nullptr ? found->list : 0;
}

void HOST_CALL list_prepare(HostListRef reference, std::int32_t)
{
    Guard guard(store().lock);
    reference_locked(reference);
}

void HOST_CALL list_cell(HostListRef reference, std::int32_t row, std::int32_t column,
                         HostValueHandle* out, std::int32_t)
{
    Guard guard(store().lock);
    if (out == nullptr) {
        return;
    }
    *out = 0;
    const ListReference* found = reference_locked(reference);
    ListObject* list = found != nullptr ? list_locked(found->list) : nullptr;
    if (list == nullptr || row < 1 || column < 1 || static_cast<std::size_t>(row) > list->rows.size()) {
        return;
    }
    auto& cells = list->rows[static_cast<std::size_t>(row) - 1];
    while (cells.size() < static_cast<std::size_t>(column)) {
        cells.push_back(new_value_locked());
    }
    *out = cells[static_cast<std::size_t>(column) - 1];
}

std::int32_t HOST_CALL list_add_row(HostListRef reference, std::int32_t, std::int32_t, std::int32_t)
{
    Guard guard(store().lock);
    const ListReference* found = reference_locked(reference);
    ListObject* list = found != nullptr ? list_locked(found->list) : nullptr;
    if (list == nullptr) {
        return -1;
    }
    list->rows.emplace_back();
    return static_cast<std::int32_t>(list->rows.size());
}

template <class Table, class Fn>
void put(Table& table, std::size_t slot, Fn fn)
{
    table.slot[slot] = reinterpret_cast<HostServiceSlot>(fn);
}

}  // namespace

ServiceTables::ServiceTables()
{
    put(strings, HOST_STRING_SLOT_LOADED, &string_loaded);
    put(strings, HOST_STRING_SLOT_ENUMERATED, &string_enumerated);
    put(defaults, HOST_DEFAULT_SLOT_PROC, &default_procedure);
    put(values, HOST_VALUE_SLOT_CREATE, &value_create);
    put(values, HOST_VALUE_SLOT_FREE, &value_free);
    put(values, HOST_VALUE_SLOT_SET_SHORT_STRING, &value_set_short_string);
    put(values, HOST_VALUE_SLOT_SET_CHARACTERS, &value_set_characters);
    put(values, HOST_VALUE_SLOT_GET_INTEGER, &value_get_integer);
    put(values, HOST_VALUE_SLOT_SET_INTEGER, &value_set_integer);
    put(values, HOST_VALUE_SLOT_GET_LIST, &value_get_list);
    put(values, HOST_VALUE_SLOT_SET_LIST, &value_set_list);
    put(values, HOST_VALUE_SLOT_SET_BINARY, &value_set_binary);
    put(values, HOST_VALUE_SLOT_TYPE, &value_type);
    put(values, HOST_VALUE_SLOT_CHARACTERS, &value_characters);
    put(values, HOST_VALUE_SLOT_SET_EMPTY, &value_set_empty);
    put(lists, HOST_LIST_SLOT_OPEN, &list_open);
    put(lists, HOST_LIST_SLOT_CLOSE, &list_close);
    put(lists, HOST_LIST_SLOT_HANDLE, &list_handle);
    put(lists, HOST_LIST_SLOT_PREPARE, &list_prepare);
    put(lists, HOST_LIST_SLOT_CELL, &list_cell);
    put(lists, HOST_LIST_SLOT_ADD_ROW, &list_add_row);
}

const ServiceTables& tables()
{
    static const ServiceTables instance;
    return instance;
}

}  // namespace testhost::detail
