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

namespace kandrel::tables {

inline constexpr std::int32_t kSessionClassId = 1001;

inline constexpr unsigned kLibraryNameString = 1000;
inline constexpr unsigned kConstantPrefixString = 5000;
inline constexpr unsigned kFirstConstantString = 5001;
inline constexpr unsigned kLastConstantString = 5093;

struct ClassRecord {
    std::int32_t id;
    std::int32_t name_string;
    std::int32_t flags;
    std::int32_t extra_string;
};

struct PropertyRecord {
    std::int32_t id;
    std::int32_t name_string;
    std::int32_t type;
    std::int32_t flags;
};

struct ParameterRecord {
    std::int32_t name_string;
    std::int32_t type;
    std::int32_t flags;
};

// The string ids of the parameter names, for the method records.
enum ParameterName : std::int32_t {
    Host = 2500, Port, Option, Value, LoginDN, Password, DN, Attributes, ServerControls,
    ClientControls, Mods, SearchReference, MessageReference, Reference, ErrorCode, MatchString,
    ErrorMsg, Referrals, FreeRes, Base, Scope, Filter, Attrs, AttrsOnly, Timeout,
    OutBerElementReference, BerElementReference, EntryReference, Attribute, MsgId, All, Type,
    ChangesOnly, ReturnEntryChanges, IsCritical, Control, Collection, NameOfItem, ValueOfItem,
    Index
};
static_assert(Index == 2539, "parameter names end at string 2539");

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
