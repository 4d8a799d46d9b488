// Values of the bulk-update stream: start, batches of update operations with
// their results, end.
#ifndef SLAPD_PLUGIN_BULK_VALUES_H
#define SLAPD_PLUGIN_BULK_VALUES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ldap.h>

#include "operation_names.h"

namespace adminext {

// The update style a start request names, the only one this server knows.
inline constexpr std::string_view kBulkUpdateStyle = LDAPEXT_BULK_UPDATE_STYLE;

// LDAP protocol-operation tags of the updates a batch may hold.
enum class ChangeType : std::uint8_t { add = 0x68, remove = 0x4A, modify = 0x66, rename = 0x6C };

struct Modification {
    int operation = 0;  // LDAP_MOD_ADD, _DELETE or _REPLACE (0, 1, 2); an add's are 0
    std::string type;
    std::vector<std::string> values;
};

// LDAPMod records over modifications, valid while both live.
class ModList {
public:
    explicit ModList(const std::vector<Modification>& modifications);
    ModList(const ModList&) = delete;
    ModList& operator=(const ModList&) = delete;
    LDAPMod** get() { return pointers_.data(); }

private:
    std::vector<LDAPMod> mods_;
    std::vector<std::vector<berval>> values_;
    std::vector<std::vector<berval*>> value_pointers_;
    std::vector<LDAPMod*> pointers_;
};

struct Change {
    ChangeType type = ChangeType::add;
    std::string dn;
    std::vector<Modification> modifications;  // add and modify
    std::string new_rdn;                      // rename
    bool delete_old_rdn = false;
    std::optional<std::string> new_superior;
    // A critical control was attached; this server applies none.
    bool critical_control = false;
    // Not empty when the element could not be read: why. It is answered as a
    // protocol error of that operation alone.
    std::string malformed;
};

struct Batch {
    std::int32_t sequence = 0;
    std::vector<Change> changes;
};

// SEQUENCE { OCTET STRING update style }.
std::optional<std::string> read_start_request(std::string_view value);
// SEQUENCE { INTEGER start value }.
std::string write_start_response(std::int32_t start_value);
// SEQUENCE { INTEGER sequence number }.
std::optional<std::int32_t> read_end_request(std::string_view value);
// SEQUENCE { INTEGER sequence number, SEQUENCE { operation, [0] controls
// OPTIONAL } ... }. Empty when the outer structure cannot be read; an
// operation that cannot be read is marked in its Change.
std::optional<Batch> read_batch(std::string_view value);

struct ChangeResult {
    std::int32_t code = 0;
    std::string message;
};
// One entry per operation, numbered from 1, with nothing around them:
// SEQUENCE { INTEGER number, SEQUENCE { INTEGER code, OCTET STRING matched
// (empty), OCTET STRING message } } ...
std::string write_results(const std::vector<ChangeResult>& results);

}  // namespace adminext

#endif
