// What the component announces to the host: its library name, its one class,
// that class's methods and properties, and the constant library with its
// prefix. Names and help texts are string resources; the tables here tie ids
// to those strings and to host type codes.
#ifndef KANDREL_HOST_TABLES_H
#define KANDREL_HOST_TABLES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "host_interface.h"
#include "platform.h"
#include "table_records.h"

namespace kandrel::tables {

std::span<const ClassRecord> classes() noexcept;
std::span<const PropertyRecord> properties() noexcept;

// The announcements. Each answers what its message answers when the table
// was delivered, and 0 (-1 for the library name, which answers 0) when it
// could not be.
HostAnswer announce_library_name(platform::ModuleHandle module, HostCallInfo* call) noexcept;
HostAnswer announce_constant_prefix(platform::ModuleHandle module, HostCallInfo* call) noexcept;
HostAnswer announce_classes(platform::ModuleHandle module, HostCallInfo* call) noexcept;
HostAnswer announce_properties(platform::ModuleHandle module, HostCallInfo* call) noexcept;
HostAnswer announce_methods(platform::ModuleHandle module, HostCallInfo* call) noexcept;
HostAnswer announce_constants(platform::ModuleHandle module, HostCallInfo* call) noexcept;

}  // namespace kandrel::tables

#endif
