// The methods of LDAPSession, one handler per method, in one table by id.
// Each family of methods lives in its own file of this folder.
#ifndef KANDREL_METHODS_METHODS_H
#define KANDREL_METHODS_METHODS_H

#include <array>
#include <cstdint>

#include <span>

#include "table_records.h"
#include "method_call.h"

namespace kandrel::methods {

using Handler = HostAnswer (*)(MethodCall& call);

// Connection and bind (connection.cpp).
HostAnswer available(MethodCall& call);
HostAnswer init(MethodCall& call);
HostAnswer unbind(MethodCall& call);
HostAnswer simple_bind(MethodCall& call);
// Options (options.cpp).
HostAnswer set_option(MethodCall& call);
HostAnswer get_option(MethodCall& call);
// Updates and compare (updates.cpp).
HostAnswer add(MethodCall& call);
HostAnswer modify(MethodCall& call);
HostAnswer remove(MethodCall& call);
HostAnswer compare(MethodCall& call);
// Searching and collecting results (search.cpp).
HostAnswer search(MethodCall& call);
HostAnswer search_synchronously(MethodCall& call);
HostAnswer result(MethodCall& call);
// Walking results (navigation.cpp).
HostAnswer count_entries(MethodCall& call);
HostAnswer count_references(MethodCall& call);
HostAnswer count_messages(MethodCall& call);
HostAnswer message_type(MethodCall& call);
HostAnswer message_id(MethodCall& call);
HostAnswer first_message(MethodCall& call);
HostAnswer next_message(MethodCall& call);
HostAnswer first_entry(MethodCall& call);
HostAnswer next_entry(MethodCall& call);
HostAnswer first_attribute(MethodCall& call);
HostAnswer next_attribute(MethodCall& call);
HostAnswer get_values_len(MethodCall& call);
HostAnswer get_values(MethodCall& call);
HostAnswer get_dn(MethodCall& call);
// Parsing and freeing results (results.cpp).
HostAnswer parse_result(MethodCall& call);
HostAnswer parse_reference(MethodCall& call);
HostAnswer free(MethodCall& call);
// Persistent search (persistent_search.cpp).
HostAnswer create_persistent_search_control(MethodCall& call);
// Attribute collections (collections.cpp).
HostAnswer add_att(MethodCall& call);
HostAnswer set_att(MethodCall& call);
HostAnswer get_att(MethodCall& call);
HostAnswer get_att_array_item(MethodCall& call);

struct Method {
    std::int32_t id;
    Handler run;
    // Methods that need a session answer -2 without one, before reading any
    // parameter.
    bool needs_session;
    // What the host's method table says of it.
    std::int32_t result_type;
    std::span<const tables::ParameterRecord> parameters;
};

inline constexpr std::int32_t kFirstMethodId = 2000;

namespace parameter_lists {
using namespace tables;
using P = ParameterRecord;
constexpr std::int32_t kAny = HOST_TYPE_ANY;
constexpr std::int32_t kChar = HOST_TYPE_CHARACTER;
constexpr std::int32_t kBool = HOST_TYPE_BOOLEAN;
constexpr std::int32_t kInt = HOST_TYPE_INTEGER;
constexpr std::int32_t kOptional = HOST_PARAM_OPTIONAL;
constexpr std::int32_t kByRef = HOST_PARAM_REFERENCE;

// Shared by the methods that take the same parameters.
inline constexpr P kInit[] = {{Host, kChar, 0}, {Port, kInt, 0}};
inline constexpr P kSetOption[] = {{Option, kInt, 0}, {Value, kAny, 0}};
inline constexpr P kGetOption[] = {{Option, kInt, 0}, {Value, kAny, kByRef}};
inline constexpr P kBind[] = {{LoginDN, kChar, kOptional}, {Password, kChar, kOptional}};
inline constexpr P kAdd[] = {{DN, kChar, 0}, {Attributes, kChar, 0}, {ServerControls, kChar, 0}, {ClientControls, kChar, 0}};
inline constexpr P kModify[] = {{DN, kChar, 0}, {Mods, kChar, 0}, {ServerControls, kChar, 0}, {ClientControls, kChar, 0}};
inline constexpr P kCompare[] = {{DN, kChar, 0}, {Attributes, kChar, 0}, {Value, kChar, 0}};
inline constexpr P kSearchReference[] = {{SearchReference, kChar, 0}};
inline constexpr P kMessageReference[] = {{MessageReference, kChar, 0}};
inline constexpr P kReference[] = {{Reference, kChar, 0}};
inline constexpr P kParseResult[] = {{MessageReference, kChar, 0}, {ErrorCode, kInt, kByRef},
                                     {MatchString, kChar, kByRef}, {ErrorMsg, kChar, kByRef},
                                     {Referrals, kChar, kByRef},   {ServerControls, kChar, kByRef},
                                     {FreeRes, kBool, 0}};
inline constexpr P kParseReference[] = {{MessageReference, kChar, 0}, {Referrals, kChar, 0},
                                        {ServerControls, kChar, kByRef}, {FreeRes, kBool, 0}};
inline constexpr P kSearch[] = {{Base, kChar, 0},              {Scope, kInt, 0},
                                {Filter, kChar, kOptional},    {Attrs, kChar, kOptional},
                                {AttrsOnly, kBool, kOptional}, {ServerControls, kChar, kOptional},
                                {ClientControls, kChar, kOptional}, {Timeout, kInt, kOptional}};
inline constexpr P kFirstAttribute[] = {{Reference, kChar, 0}, {OutBerElementReference, kChar, kByRef}};
inline constexpr P kNextAttribute[] = {{Reference, kChar, 0}, {BerElementReference, kChar, 0}};
inline constexpr P kValues[] = {{EntryReference, kChar, 0}, {Attribute, kChar, 0}};
inline constexpr P kDelete[] = {{DN, kChar, 0}, {ServerControls, kChar, kOptional}, {ClientControls, kChar, kOptional}};
inline constexpr P kResult[] = {{MsgId, kInt, 0}, {All, kInt, 0}, {Timeout, kInt, kOptional}};
inline constexpr P kPersistentSearch[] = {{Type, kInt, 0}, {ChangesOnly, kBool, 0}, {ReturnEntryChanges, kBool, 0},
                                          {IsCritical, kBool, 0}, {Control, kChar, kByRef}};
inline constexpr P kChangeItem[] = {{Collection, kChar, 0}, {NameOfItem, kChar, 0}, {ValueOfItem, kChar, 0}};
inline constexpr P kGetItem[] = {{Collection, kChar, 0}, {NameOfItem, kChar, 0}};
inline constexpr P kGetNthItem[] = {{Collection, kChar, 0}, {NameOfItem, kChar, 0}, {Index, kChar, 0}};
}  // namespace parameter_lists

// One record per method, in id order from 2000: its handler, whether it needs
// a session, and what the host's method table announces.
inline constexpr std::array<Method, 35> kMethods = [] {
    using namespace parameter_lists;
    constexpr std::int32_t kBinary = HOST_TYPE_BINARY;
    constexpr bool kSession = true;
    constexpr bool kNoSession = false;
    return std::array<Method, 35>{{
        {2000, available, kNoSession, kInt, {}},                                 // $available
        {2001, init, kNoSession, kInt, kInit},                                   // $init
        {2002, unbind, kSession, kInt, {}},                                      // $unbind_s
        {2003, set_option, kSession, kInt, kSetOption},                          // $set_option
        {2004, get_option, kSession, kInt, kGetOption},                          // $get_option
        {2005, simple_bind, kSession, kInt, kBind},                              // $simple_bind_s
        {2006, add, kSession, kInt, kAdd},                                       // $add_ext_s
        {2007, modify, kSession, kInt, kModify},                                 // $modify_ext_s
        {2008, compare, kSession, kInt, kCompare},                               // $compare_s
        {2009, count_entries, kSession, kInt, kSearchReference},                 // $count_entries
        {2010, count_references, kSession, kInt, kSearchReference},              // $count_references
        {2011, count_messages, kSession, kInt, kSearchReference},                // $count_messages
        {2012, message_type, kNoSession, kInt, kMessageReference},               // $msgtype
        {2013, message_id, kNoSession, kInt, kMessageReference},                 // $msgid
        {2014, first_message, kSession, kChar, kReference},                      // $first_message
        {2015, next_message, kSession, kChar, kReference},                       // $next_message
        {2016, parse_result, kSession, kInt, kParseResult},                      // $parse_result
        {2017, parse_reference, kSession, kInt, kParseReference},                // $parse_reference
        {2018, search, kSession, kInt, kSearch},                                 // $search_ext
        {2019, search_synchronously, kSession, kChar, kSearch},                  // $search_ext_s
        {2020, free, kNoSession, kInt, kReference},                              // $free
        {2021, first_entry, kSession, kChar, kSearchReference},                  // $first_entry
        {2022, next_entry, kSession, kChar, kReference},                         // $next_entry
        {2023, first_attribute, kSession, kChar, kFirstAttribute},               // $first_attribute
        {2024, next_attribute, kSession, kChar, kNextAttribute},                 // $next_attribute
        {2025, get_values_len, kSession, kBinary, kValues},                      // $get_values_len
        {2026, get_values, kSession, kChar, kValues},                            // $get_values
        {2027, remove, kSession, kInt, kDelete},                                 // $delete_ext_s
        {2028, get_dn, kSession, kChar, kReference},                             // $get_dn
        {2029, result, kSession, kChar, kResult},                                // $result
        {2030, create_persistent_search_control, kSession, kInt, kPersistentSearch},  // $create_persistent_search_cont
        {2031, add_att, kNoSession, kChar, kChangeItem},                         // $add_att
        {2032, set_att, kNoSession, kChar, kChangeItem},                         // $set_att
        {2033, get_att, kNoSession, kChar, kGetItem},                            // $get_att
        {2034, get_att_array_item, kNoSession, kChar, kGetNthItem},              // $get_att_array_item
    }};
}();

constexpr bool ids_follow_positions()
{
    for (std::size_t i = 0; i < kMethods.size(); ++i) {
        if (kMethods[i].id != kFirstMethodId + static_cast<std::int32_t>(i)) {
            return false;
        }
    }
    return true;
}
static_assert(ids_follow_positions(), "method ids run from 2000 in table order");
static_assert(kMethods[18].parameters.size() == 8 && kMethods[18].parameters[7].name_string == tables::Timeout,
              "$search_ext takes eight parameters, Timeout last");

}  // namespace kandrel::methods

#endif
