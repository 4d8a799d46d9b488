// Values of event monitoring: the monitor requests, the final response and
// the notifications, which are intermediate responses.
#ifndef SLAPD_PLUGIN_EVENT_VALUES_H
#define SLAPD_PLUGIN_EVENT_VALUES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace adminext {

struct EventSpec {
    std::int32_t type = 0;
    std::int32_t status = 0;
    std::string filter;  // filtered requests only
};

// SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER type, ENUMERATED status
// [, OCTET STRING filter] } ... } }, with `filtered` saying whether each
// element carries its filter. The count must be the number of elements, and
// at least one.
std::optional<std::vector<EventSpec>> read_monitor_request(std::string_view value, bool filtered);

// The final response: SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER
// type, ENUMERATED status } ... } }.
std::string write_monitor_response(const std::vector<EventSpec>& specs);

// What one notification reports: a change of one entry.
struct EntryEvent {
    std::int32_t type = 0;
    std::int32_t result = 0;
    std::string dn;         // the entry (for a rename its old name)
    std::string requestor;  // empty for anonymous
    std::string detail;     // add: the first object class; rename: the new DN
    std::string changed;    // modify: the attribute types, comma-separated
    std::int64_t time = 0;  // seconds since 1970
    std::int32_t sequence = 0;
};

// SEQUENCE { INTEGER type, INTEGER result, [APPLICATION 1] { OCTET STRING dn,
// OCTET STRING requestor, OCTET STRING detail, SEQUENCE { INTEGER time,
// INTEGER sequence, INTEGER 0 }, INTEGER 0, INTEGER 0, OCTET STRING changed } }
std::string write_notification(const EntryEvent& event);

}  // namespace adminext

#endif
