#include "tls_trust.h"

#include <ldap.h>

namespace kandrel_test {

void trust_certificates(const std::string& authority_file)
{
    int demand = LDAP_OPT_X_TLS_DEMAND;
    ldap_set_option(nullptr, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
    ldap_set_option(nullptr, LDAP_OPT_X_TLS_CACERTFILE, authority_file.empty() ? nullptr : authority_file.c_str());
    int client_side = 0;
    ldap_set_option(nullptr, LDAP_OPT_X_TLS_NEWCTX, &client_side);
}

}  // namespace kandrel_test
