// Synchronisation requests and background-process triggers. None of them
// reads a response value: each succeeds when the server answers with the
// right response name.
#include "exop_frame.h"
#include "operations.h"
#include "tervane.h"

using namespace tervane;

namespace {
// Sent in place of a missing third DN.
char kUnusedParam[] = "unusedParam";
char kEmpty[] = "";
}  // namespace

// Request value: OCTET STRING dn, OCTET STRING server_dn, OCTET STRING extra_dn.
TERVANE_API int TERVANE_CALL ldap_receive_all_updates(LDAP* ld, char* dn, char* server_dn, char* extra_dn)
{
    if (any_null(dn, server_dn))
        return kParamError;
    char* third = extra_dn != nullptr ? extra_dn : kUnusedParam;
    return call_exop(
        ld, ops::receive_all_updates, [&](BerElement* ber) { return put(ber, "sss", dn, server_dn, third); }, nullptr);
}

// Request value: OCTET STRING dn, OCTET STRING server_dn ("" when NULL).
TERVANE_API int TERVANE_CALL ldap_send_all_updates(LDAP* ld, char* dn, char* server_dn)
{
    if (any_null(dn))
        return kParamError;
    char* server = server_dn != nullptr ? server_dn : kEmpty;
    return call_exop(ld, ops::send_all_updates, [&](BerElement* ber) { return put(ber, "ss", dn, server); }, nullptr);
}

// Request value: OCTET STRING server_dn, OCTET STRING dn, INTEGER value.
TERVANE_API int TERVANE_CALL ldap_request_partition_sync(LDAP* ld, char* server_dn, char* dn, int value)
{
    if (any_null(server_dn, dn))
        return kParamError;
    return call_exop(
        ld, ops::request_partition_sync, [&](BerElement* ber) { return put(ber, "ssi", server_dn, dn, value); },
        nullptr);
}

TERVANE_API int TERVANE_CALL ldap_request_naming_context_sync(LDAP* ld, char* server_dn, char* dn, int value)
{
    return ldap_request_partition_sync(ld, server_dn, dn, value);
}

// Request value: OCTET STRING server_dn, INTEGER value.
TERVANE_API int TERVANE_CALL ldap_request_schema_sync(LDAP* ld, char* server_dn, int value)
{
    if (any_null(server_dn))
        return kParamError;
    return call_exop(
        ld, ops::request_schema_sync, [&](BerElement* ber) { return put(ber, "si", server_dn, value); }, nullptr);
}

// No request value; the selector picks the request name.
TERVANE_API int TERVANE_CALL ldap_trigger_back_process(LDAP* ld, int process)
{
    if (process < 1 || process > 6)
        return kParamError;
    return call_exop(ld, ops::trigger_back_process[process - 1], nullptr, nullptr);
}
