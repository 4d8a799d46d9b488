// Partition operations and their naming-context second names.
#include "exop_frame.h"
#include "operations.h"
#include "tervane.h"

using namespace tervane;

namespace {

// Request value: INTEGER flags, OCTET STRING dn (the integer first on the wire
// although callers pass it last). No response value is read.
int flagged_partition_request(LDAP* ld, const ExopSpec& operation, char* dn, int flags)
{
    if (any_null(dn))
        return kParamError;
    return call_exop(ld, operation, [&](BerElement* ber) { return put(ber, "is", flags, dn); }, nullptr);
}

// Request value: OCTET STRING dn, OCTET STRING server_dn.
int orphan_partition_request(LDAP* ld, const ExopSpec& operation, char* dn, char* server_dn)
{
    if (any_null(dn, server_dn))
        return kParamError;
    return call_exop(ld, operation, [&](BerElement* ber) { return put(ber, "ss", dn, server_dn); }, nullptr);
}

}  // namespace

TERVANE_API int TERVANE_CALL ldap_split_partition(LDAP* ld, char* dn, int flags)
{
    return flagged_partition_request(ld, ops::split_partition, dn, flags);
}

TERVANE_API int TERVANE_CALL ldap_merge_partitions(LDAP* ld, char* dn, int flags)
{
    return flagged_partition_request(ld, ops::merge_partitions, dn, flags);
}

TERVANE_API int TERVANE_CALL ldap_abort_partition_operation(LDAP* ld, char* dn, int flags)
{
    return flagged_partition_request(ld, ops::abort_partition_operation, dn, flags);
}

// Request value: OCTET STRING dn; response value: INTEGER count.
TERVANE_API int TERVANE_CALL ldap_partition_entry_count(LDAP* ld, char* dn, int* count)
{
    if (any_null(dn, count))
        return kParamError;
    return call_exop(
        ld, ops::partition_entry_count, [&](BerElement* ber) { return put(ber, "s", dn); },
        [&](const berval& value) { return scan_value(value, kEncodingError, "i", count); });
}

TERVANE_API int TERVANE_CALL ldap_split_orphan_partition(LDAP* ld, char* dn, char* server_dn)
{
    return orphan_partition_request(ld, ops::split_orphan_partition, dn, server_dn);
}

TERVANE_API int TERVANE_CALL ldap_remove_orphan_partition(LDAP* ld, char* dn, char* server_dn)
{
    return orphan_partition_request(ld, ops::remove_orphan_partition, dn, server_dn);
}

// The naming-context names are the same operations.
TERVANE_API int TERVANE_CALL ldap_create_naming_context(LDAP* ld, char* dn, int flags)
{
    return ldap_split_partition(ld, dn, flags);
}

TERVANE_API int TERVANE_CALL ldap_merge_naming_contexts(LDAP* ld, char* dn, int flags)
{
    return ldap_merge_partitions(ld, dn, flags);
}

TERVANE_API int TERVANE_CALL ldap_abort_naming_context_operation(LDAP* ld, char* dn, int flags)
{
    return ldap_abort_partition_operation(ld, dn, flags);
}

TERVANE_API int TERVANE_CALL ldap_naming_context_entry_count(LDAP* ld, char* dn, int* count)
{
    return ldap_partition_entry_count(ld, dn, count);
}

TERVANE_API int TERVANE_CALL ldap_create_orphan_naming_context(LDAP* ld, char* dn, char* server_dn)
{
    return ldap_split_orphan_partition(ld, dn, server_dn);
}

TERVANE_API int TERVANE_CALL ldap_remove_orphan_naming_context(LDAP* ld, char* dn, char* server_dn)
{
    return ldap_remove_orphan_partition(ld, dn, server_dn);
}
