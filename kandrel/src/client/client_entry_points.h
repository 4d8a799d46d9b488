// The entry points of the LDAP client library the component calls, in the
// order they are bound. One line each:
//   X(exported name, result type, parameter types, result kind)
// The result kind says whether the result is an LDAP result code, which the
// call layer hands on in the host's numbering, or an option call's result
// (see library_binding.h).
//
// ldap_control_free releases the single control that
// ldap_create_persistentsearch_control makes; ldap_initialize opens a
// session on an LDAP URL and ldap_start_tls_s starts TLS on one, both bound
// when the library has them (a library without them falls back, and the
// session methods then refuse URLs and TLS); the other 37 are the classic
// set the session methods call.
#ifndef KANDREL_CLIENT_ENTRY_POINTS_H
#define KANDREL_CLIENT_ENTRY_POINTS_H

#define KANDREL_CLIENT_ENTRY_POINTS(X)                                                          \
    X(ldap_init, LDAP*, (const char*, int), plain)                                              \
    X(ldap_unbind_s, int, (LDAP*), code)                                                        \
    X(ldap_set_option, int, (LDAP*, int, const void*), option)                                  \
    X(ldap_get_option, int, (LDAP*, int, void*), option)                                        \
    X(ldap_err2string, char*, (int), plain)                                                     \
    X(ldap_simple_bind_s, int, (LDAP*, const char*, const char*), code)                         \
    X(ldap_compare_s, int, (LDAP*, const char*, const char*, const char*), code)                \
    X(ldap_controls_free, void, (LDAPControl**), plain)                                         \
    X(ber_free, void, (BerElement*, int), plain)                                                \
    X(ldap_msgfree, int, (LDAPMessage*), plain)                                                 \
    X(ldap_first_entry, LDAPMessage*, (LDAP*, LDAPMessage*), plain)                             \
    X(ldap_next_entry, LDAPMessage*, (LDAP*, LDAPMessage*), plain)                              \
    X(ldap_memfree, void, (void*), plain)                                                       \
    X(ldap_first_attribute, char*, (LDAP*, LDAPMessage*, BerElement**), plain)                  \
    X(ldap_next_attribute, char*, (LDAP*, LDAPMessage*, BerElement*), plain)                    \
    X(ldap_get_values_len, struct berval**, (LDAP*, LDAPMessage*, const char*), plain)          \
    X(ldap_value_free, void, (char**), plain)                                                   \
    X(ldap_value_free_len, void, (struct berval**), plain)                                      \
    X(ldap_get_values, char**, (LDAP*, LDAPMessage*, const char*), plain)                       \
    X(ldap_count_values, int, (char**), plain)                                                  \
    X(ldap_get_dn, char*, (LDAP*, LDAPMessage*), plain)                                         \
    X(ldap_count_references, int, (LDAP*, LDAPMessage*), plain)                                 \
    X(ldap_count_entries, int, (LDAP*, LDAPMessage*), plain)                                    \
    X(ldap_count_messages, int, (LDAP*, LDAPMessage*), plain)                                   \
    X(ldap_first_message, LDAPMessage*, (LDAP*, LDAPMessage*), plain)                           \
    X(ldap_next_message, LDAPMessage*, (LDAP*, LDAPMessage*), plain)                            \
    X(ldap_msgtype, int, (LDAPMessage*), plain)                                                 \
    X(ldap_msgid, int, (LDAPMessage*), plain)                                                   \
    X(ldap_search_ext, int,                                                                     \
      (LDAP*, const char*, int, const char*, char**, int, LDAPControl**, LDAPControl**,         \
       struct timeval*, int, int*),                                                             \
      code)                                                                                     \
    X(ldap_search_ext_s, int,                                                                   \
      (LDAP*, const char*, int, const char*, char**, int, LDAPControl**, LDAPControl**,         \
       struct timeval*, int, LDAPMessage**),                                                    \
      code)                                                                                     \
    X(ldap_delete_ext_s, int, (LDAP*, const char*, LDAPControl**, LDAPControl**), code)         \
    X(ldap_result, int, (LDAP*, int, int, struct timeval*, LDAPMessage**), plain)               \
    X(ldap_parse_result, int,                                                                   \
      (LDAP*, LDAPMessage*, int*, char**, char**, char***, LDAPControl***, int), code)          \
    X(ldap_parse_reference, int, (LDAP*, LDAPMessage*, char***, LDAPControl***, int), code)     \
    X(ldap_create_persistentsearch_control, int, (LDAP*, int, int, int, int, LDAPControl**),    \
      code)                                                                                     \
    X(ldap_modify_ext_s, int, (LDAP*, const char*, LDAPMod**, LDAPControl**, LDAPControl**),    \
      code)                                                                                     \
    X(ldap_add_ext_s, int, (LDAP*, const char*, LDAPMod**, LDAPControl**, LDAPControl**), code) \
    X(ldap_control_free, void, (LDAPControl*), plain)                                           \
    X(ldap_initialize, int, (LDAP**, const char*), code)                                        \
    X(ldap_start_tls_s, int, (LDAP*, LDAPControl**, LDAPControl**), code)

#endif
