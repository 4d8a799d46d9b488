// The methods of LDAPSession, one handler per method, in one table by id.
// Each family of methods lives in its own file of this folder.
#ifndef KANDREL_METHODS_METHODS_H
#define KANDREL_METHODS_METHODS_H

#include <array>
#include <cstdint>

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
};

inline constexpr std::int32_t kFirstMethodId = 2000;

inline constexpr std::array<Method, 35> kMethods = {{
    {2000, available, false},                        // $available
    {2001, init, false},                             // $init
    {2002, unbind, true},                            // $unbind_s
    {2003, set_option, true},                        // $set_option
    {2004, get_option, true},                        // $get_option
    {2005, simple_bind, true},                       // $simple_bind_s
    {2006, add, true},                               // $add_ext_s
    {2007, modify, true},                            // $modify_ext_s
    {2008, compare, true},                           // $compare_s
    {2009, count_entries, true},                     // $count_entries
    {2010, count_references, true},                  // $count_references
    {2011, count_messages, true},                    // $count_messages
    {2012, message_type, false},                     // $msgtype
    {2013, message_id, false},                       // $msgid
    {2014, first_message, true},                     // $first_message
    {2015, next_message, true},                      // $next_message
    {2016, parse_result, true},                      // $parse_result
    {2017, parse_reference, true},                   // $parse_reference
    {2018, search, true},                            // $search_ext
    {2019, search_synchronously, true},              // $search_ext_s
    {2020, free, false},                             // $free
    {2021, first_entry, true},                       // $first_entry
    {2022, next_entry, true},                        // $next_entry
    {2023, first_attribute, true},                   // $first_attribute
    {2024, next_attribute, true},                    // $next_attribute
    {2025, get_values_len, true},                    // $get_values_len
    {2026, get_values, true},                        // $get_values
    {2027, remove, true},                            // $delete_ext_s
    {2028, get_dn, true},                            // $get_dn
    {2029, result, true},                            // $result
    {2030, create_persistent_search_control, true},  // $create_persistent_search_cont
    {2031, add_att, false},                          // $add_att
    {2032, set_att, false},                          // $set_att
    {2033, get_att, false},                          // $get_att
    {2034, get_att_array_item, false},               // $get_att_array_item
}};

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

}  // namespace kandrel::methods

#endif
