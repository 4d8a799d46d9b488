// Replica operations. On the wire the elements of add, remove, change and
// get-info come in the reverse of the caller's argument order.
#include <cstring>

#include "exop_frame.h"
#include "operations.h"
#include "tervane.h"

using namespace tervane;

namespace {

// Request value: INTEGER flags, INTEGER replica_type, OCTET STRING server_dn,
// OCTET STRING dn.
int typed_replica_request(LDAP* ld, const ExopSpec& operation, char* dn, char* server_dn, int replica_type, int flags)
{
    if (any_null(dn, server_dn))
        return kParamError;
    return call_exop(
        ld, operation, [&](BerElement* ber) { return put(ber, "iiss", flags, replica_type, server_dn, dn); }, nullptr);
}

// Response value: five INTEGERs, an OCTET STRING and two INTEGERs ("iiiii",
// "a", "ii"), read straight into the record. A name the record cannot hold is
// refused rather than cut: a cut server name would name another server.
int decode_replica_info(const berval& value, ReplicaInfo* info)
{
    ValueDecoder decoder(value, kEncodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    LdapString name;
    if (!decoder.scan("iiiii", &info->head[0], &info->head[1], &info->head[2], &info->head[3], &info->head[4]) ||
        !decoder.scan_string(name) || !decoder.scan("ii", &info->tail[0], &info->tail[1]))
        return kEncodingError;
    std::size_t length = std::strlen(name.get());
    if (length >= sizeof info->name)
        return kDecodingError;
    std::memcpy(info->name, name.get(), length + 1);
    return kSuccess;
}

}  // namespace

TERVANE_API int TERVANE_CALL ldap_add_replica(LDAP* ld, char* dn, char* server_dn, int replica_type, int flags)
{
    return typed_replica_request(ld, ops::add_replica, dn, server_dn, replica_type, flags);
}

TERVANE_API int TERVANE_CALL ldap_change_replica_type(LDAP* ld, char* dn, char* server_dn, int replica_type,
                                                      int flags)
{
    return typed_replica_request(ld, ops::change_replica_type, dn, server_dn, replica_type, flags);
}

// Request value: INTEGER flags, OCTET STRING server_dn, OCTET STRING dn.
TERVANE_API int TERVANE_CALL ldap_remove_replica(LDAP* ld, char* dn, char* server_dn, int flags)
{
    if (any_null(dn, server_dn))
        return kParamError;
    return call_exop(
        ld, ops::remove_replica, [&](BerElement* ber) { return put(ber, "iss", flags, server_dn, dn); }, nullptr);
}

// Request value: OCTET STRING server_dn, OCTET STRING dn.
TERVANE_API int TERVANE_CALL ldap_get_replica_info(LDAP* ld, char* dn, char* server_dn, ReplicaInfo* info)
{
    if (any_null(dn, server_dn, info))
        return kParamError;
    return call_exop(
        ld, ops::get_replica_info, [&](BerElement* ber) { return put(ber, "ss", server_dn, dn); },
        [&](const berval& value) { return decode_replica_info(value, info); });
}

// Request value: OCTET STRING dn; response value: SEQUENCE OF OCTET STRING,
// read into a NULL-terminated array of the client library's.
TERVANE_API int TERVANE_CALL ldap_list_replicas(LDAP* ld, char* dn, char*** replicas)
{
    if (any_null(dn, replicas))
        return kParamError;
    return call_exop(
        ld, ops::list_replicas, [&](BerElement* ber) { return put(ber, "s", dn); },
        [&](const berval& value) {
            ValueDecoder decoder(value, kEncodingError);
            if (decoder.status() != kSuccess)
                return decoder.status();
            LdapValues names;
            if (int rc = decoder.scan_strings(names, kEncodingError); rc != kSuccess)
                return rc;
            *replicas = names.release();
            return kSuccess;
        });
}
