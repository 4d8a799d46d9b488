#include "extended_result.h"

namespace tervane {

int read_extended_response(LDAP* ld, LDAPMessage* message, int* result_code, char** error_message, int freeit,
                           ExtendedResponse& response)
{
    // The message is never released here: freeit belongs to the second call.
    int rc = ldap_parse_result(ld, message, result_code, nullptr, error_message, nullptr, nullptr, 0);
    if (rc != LDAP_SUCCESS)
        return rc;
    return ldap_parse_extended_result(ld, message, out(response.name), out(response.value), freeit);
}

}  // namespace tervane
