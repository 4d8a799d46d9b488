// The host's service tables, copied from the first call and reached only
// through the typed calls below; slot numbers and slot types appear nowhere
// else in the component. A call whose table or slot the host did not supply
// does nothing and answers zero.
#ifndef KANDREL_HOST_SERVICES_H
#define KANDREL_HOST_SERVICES_H

#include <cstdint>

#include "host_interface.h"

namespace kandrel::host {

// Copies the four table pointers from call; only the first call with a
// non-null record counts. Answers whether the tables are now set.
bool adopt_services(const HostCallInfo* call) noexcept;
bool services_adopted() noexcept;

// Default procedure.
HostAnswer default_procedure(HostWindow window, std::uint32_t message, HostWParam wparam,
                             HostLParam lparam, HostCallInfo* call) noexcept;

// Strings.
std::int32_t string_loaded(HostChar* characters, std::int32_t capacity, std::int32_t length) noexcept;
void string_enumerated(HostWParam wparam, const HostShortString* text, HostLParam lparam) noexcept;

// Values.
HostValueHandle value_create() noexcept;
void value_free(HostValueHandle value) noexcept;
void value_set_short_string(HostValueHandle value, const HostShortString* text) noexcept;
void value_set_characters(HostValueHandle value, const HostChar* characters, std::int32_t count) noexcept;
std::int32_t value_get_integer(HostValueHandle value) noexcept;
void value_set_integer(HostValueHandle value, std::int32_t integer) noexcept;
HostListHandle value_get_list(HostValueHandle value) noexcept;
void value_set_list(HostValueHandle value, HostListHandle list) noexcept;
void value_set_binary(HostValueHandle value, const void* data, std::int32_t length) noexcept;
std::int32_t value_type(HostValueHandle value) noexcept;
const HostTextRecord* value_characters(HostValueHandle value) noexcept;
void value_set_empty_text(HostValueHandle value) noexcept;

// Lists.
HostListRef list_open(HostListHandle list) noexcept;
void list_close(HostListRef list) noexcept;
HostListHandle list_handle(HostListRef list) noexcept;
void list_prepare(HostListRef list) noexcept;
HostValueHandle list_cell(HostListRef list, std::int32_t row, std::int32_t column) noexcept;
std::int32_t list_add_row(HostListRef list) noexcept;

}  // namespace kandrel::host

#endif
