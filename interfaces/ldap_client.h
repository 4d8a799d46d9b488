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

/* The calling convention of the client library's functions. The OpenLDAP
 * headers declare them without one, which on 32-bit Windows is __cdecl: the
 * caller removes the arguments and the exported names carry no decoration.
 * The import library of the Windows build lists the names undecorated
 * accordingly, and code that calls the library through its own function
 * pointers declares them with LDAP_CLIENT_CALL; Kandrel checks at compile time
 * that its pointer types match these declarations exactly. */
#if defined(_WIN32) && !defined(_WIN64)
#define LDAP_CLIENT_CALL __cdecl
#else
#define LDAP_CLIENT_CALL
#endif

#endif
