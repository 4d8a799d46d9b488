/* The LDAP C client library as both deliverables see it: the IETF LDAP C API
 * and the LBER encoding API. OpenLDAP declares a few classic entry points
 * (ldap_init, ldap_simple_bind_s, ldap_get_values, ...) only when
 * LDAP_DEPRECATED is set, so every file of ours includes the library through
 * this header. */
#ifndef INTERFACES_LDAP_CLIENT_H
#define INTERFACES_LDAP_CLIENT_H

#ifndef LDAP_DEPRECATED
#define LDAP_DEPRECATED 1
#endif

#include <lber.h>
#include <ldap.h>

#endif
