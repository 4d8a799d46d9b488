// The records of the tables the component announces to the host (class,
// properties, method parameters) and the string ids they refer to: the
// announcements (host_tables.h) and the method table (methods/methods.h) both
// use them.
#ifndef KANDREL_TABLE_RECORDS_H
#define KANDREL_TABLE_RECORDS_H

#include <cstdint>

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

}  // namespace kandrel::tables

#endif
