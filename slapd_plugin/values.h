// Request and response values of the administration operations other than
// event monitoring and the bulk-update stream. Decoders take the raw request
// value and answer nothing when it does not have the expected shape.
#ifndef SLAPD_PLUGIN_VALUES_H
#define SLAPD_PLUGIN_VALUES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace adminext {

// A bare run of OCTET STRINGs and INTEGERs with nothing after them, in the
// order of `shape` ('s' an OCTET STRING, 'i' an INTEGER).
struct Run {
    std::vector<std::string> strings;
    std::vector<std::int32_t> integers;
};
std::optional<Run> read_run(std::string_view value, std::string_view shape);

// OCTET STRING dn, OCTET STRING subject, SEQUENCE OF OCTET STRING attributes.
struct PrivilegesListRequest {
    std::string dn;
    std::string subject;
    std::vector<std::string> attributes;
};
std::optional<PrivilegesListRequest> read_privileges_list_request(std::string_view value);
// SEQUENCE { SEQUENCE { INTEGER count }, SET { SEQUENCE { INTEGER } ... } }
std::string write_privileges_list(const std::vector<std::int32_t>& privileges);

// Replication filter: SEQUENCE OF SEQUENCE { OCTET STRING class, SEQUENCE OF
// OCTET STRING attributes }. Names are not empty and hold no '$', the
// separator of the filter's text form.
struct FilterClass {
    std::string name;
    std::vector<std::string> attributes;
};
using ReplicationFilter = std::vector<FilterClass>;
// OCTET STRING server DN, then the filter.
struct SetFilterRequest {
    std::string dn;
    ReplicationFilter filter;
};
std::optional<SetFilterRequest> read_set_filter_request(std::string_view value);
std::string write_filter(const ReplicationFilter& filter);

// Backup response: INTEGER length, INTEGER state1, INTEGER state2, OCTET
// STRING data, SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER size } } }
// with the data as one chunk.
std::string write_backup(std::int32_t state1, std::int32_t state2, std::string_view data);

// Restore request: OCTET STRING dn, OCTET STRING extra, INTEGER length, OCTET
// STRING data, SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER size } } }.
// The length must be the data's and the sizes must add up to it.
struct RestoreRequest {
    std::string dn;
    std::string extra;
    std::string data;
};
std::optional<RestoreRequest> read_restore_request(std::string_view value);

// Replica information: five INTEGERs, OCTET STRING server, two INTEGERs.
std::string write_replica_info(const std::int32_t (&head)[5], std::string_view server, const std::int32_t (&tail)[2]);
// SEQUENCE OF OCTET STRING.
std::string write_strings(const std::vector<std::string>& strings);
std::string write_string(std::string_view text);
std::string write_integer(std::int32_t number);

}  // namespace adminext

#endif
