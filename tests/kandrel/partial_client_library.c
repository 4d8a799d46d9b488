/* A stand-in client library for tests: it exports every entry point the
 * component binds except ldap_count_entries. Each function answers a value a
 * test can recognise; functions that answer result codes answer OpenLDAP's
 * client-side code -1 (server down), so tests see how codes are handed on. */
#include <stdio.h>

#include "ldap_client.h"

#ifdef _WIN32
#define PARTIAL_EXPORT __declspec(dllexport)
#else
#define PARTIAL_EXPORT __attribute__((visibility("default")))
#endif

static char session_marker;
static char text_buffer[64];
static char name_text[] = "cn";

PARTIAL_EXPORT LDAP* ldap_init(const char* host, int port)
{
    (void)host;
    (void)port;
    return (LDAP*)&session_marker;
}
PARTIAL_EXPORT int ldap_unbind_s(LDAP* ld) { (void)ld; return -1; }
PARTIAL_EXPORT int ldap_set_option(LDAP* ld, int option, const void* value)
{
    (void)ld; (void)option; (void)value;
    return -1;
}
PARTIAL_EXPORT int ldap_get_option(LDAP* ld, int option, void* value)
{
    (void)ld; (void)option; (void)value;
    return -1;
}
/* Shows the code it was given: "library code <n>". Not thread-safe. */
PARTIAL_EXPORT char* ldap_err2string(int code)
{
    snprintf(text_buffer, sizeof text_buffer, "library code %d", code);
    return text_buffer;
}
PARTIAL_EXPORT int ldap_simple_bind_s(LDAP* ld, const char* dn, const char* password)
{
    (void)ld; (void)dn; (void)password;
    return -1;
}
PARTIAL_EXPORT int ldap_compare_s(LDAP* ld, const char* dn, const char* attribute, const char* value)
{
    (void)ld; (void)dn; (void)attribute; (void)value;
    return -5;
}
PARTIAL_EXPORT void ldap_controls_free(LDAPControl** controls) { (void)controls; }
PARTIAL_EXPORT void ber_free(BerElement* ber, int free_buffer) { (void)ber; (void)free_buffer; }
PARTIAL_EXPORT int ldap_msgfree(LDAPMessage* message) { (void)message; return 0x65; }
PARTIAL_EXPORT LDAPMessage* ldap_first_entry(LDAP* ld, LDAPMessage* message)
{
    (void)ld;
    return message;
}
PARTIAL_EXPORT LDAPMessage* ldap_next_entry(LDAP* ld, LDAPMessage* entry)
{
    (void)ld; (void)entry;
    return NULL;
}
PARTIAL_EXPORT void ldap_memfree(void* p) { (void)p; }
PARTIAL_EXPORT char* ldap_first_attribute(LDAP* ld, LDAPMessage* entry, BerElement** ber)
{
    (void)ld; (void)entry;
    *ber = NULL;
    return name_text;
}
PARTIAL_EXPORT char* ldap_next_attribute(LDAP* ld, LDAPMessage* entry, BerElement* ber)
{
    (void)ld; (void)entry; (void)ber;
    return NULL;
}
PARTIAL_EXPORT struct berval** ldap_get_values_len(LDAP* ld, LDAPMessage* entry, const char* attribute)
{
    (void)ld; (void)entry; (void)attribute;
    return NULL;
}
PARTIAL_EXPORT void ldap_value_free(char** values) { (void)values; }
PARTIAL_EXPORT void ldap_value_free_len(struct berval** values) { (void)values; }
PARTIAL_EXPORT char** ldap_get_values(LDAP* ld, LDAPMessage* entry, const char* attribute)
{
    (void)ld; (void)entry; (void)attribute;
    return NULL;
}
PARTIAL_EXPORT int ldap_count_values(char** values) { (void)values; return 4; }
PARTIAL_EXPORT char* ldap_get_dn(LDAP* ld, LDAPMessage* entry)
{
    (void)ld; (void)entry;
    return name_text;
}
PARTIAL_EXPORT int ldap_count_references(LDAP* ld, LDAPMessage* message)
{
    (void)ld; (void)message;
    return 2;
}
PARTIAL_EXPORT int ldap_count_messages(LDAP* ld, LDAPMessage* message)
{
    (void)ld; (void)message;
    return 3;
}
PARTIAL_EXPORT LDAPMessage* ldap_first_message(LDAP* ld, LDAPMessage* message)
{
    (void)ld;
    return message;
}
PARTIAL_EXPORT LDAPMessage* ldap_next_message(LDAP* ld, LDAPMessage* message)
{
    (void)ld; (void)message;
    return NULL;
}
PARTIAL_EXPORT int ldap_msgtype(LDAPMessage* message) { (void)message; return 0x64; }
PARTIAL_EXPORT int ldap_msgid(LDAPMessage* message) { (void)message; return 7; }
PARTIAL_EXPORT int ldap_search_ext(LDAP* ld, const char* base, int scope, const char* filter,
                                   char** attrs, int attrsonly, LDAPControl** server,
                                   LDAPControl** client, struct timeval* timeout, int sizelimit,
                                   int* msgid)
{
    (void)ld; (void)base; (void)scope; (void)filter; (void)attrs; (void)attrsonly;
    (void)server; (void)client; (void)timeout; (void)sizelimit;
    *msgid = 9;
    return -17;
}
PARTIAL_EXPORT int ldap_search_ext_s(LDAP* ld, const char* base, int scope, const char* filter,
                                     char** attrs, int attrsonly, LDAPControl** server,
                                     LDAPControl** client, struct timeval* timeout, int sizelimit,
                                     LDAPMessage** result)
{
    (void)ld; (void)base; (void)scope; (void)filter; (void)attrs; (void)attrsonly;
    (void)server; (void)client; (void)timeout; (void)sizelimit;
    *result = NULL;
    return -18;
}
PARTIAL_EXPORT int ldap_delete_ext_s(LDAP* ld, const char* dn, LDAPControl** server,
                                     LDAPControl** client)
{
    (void)ld; (void)dn; (void)server; (void)client;
    return 32;
}
PARTIAL_EXPORT int ldap_result(LDAP* ld, int msgid, int all, struct timeval* timeout,
                               LDAPMessage** result)
{
    (void)ld; (void)msgid; (void)all; (void)timeout;
    *result = NULL;
    return -1;
}
PARTIAL_EXPORT int ldap_parse_result(LDAP* ld, LDAPMessage* message, int* code, char** matched,
                                     char** text, char*** referrals, LDAPControl*** controls,
                                     int free_it)
{
    (void)ld; (void)message; (void)matched; (void)text; (void)referrals; (void)controls;
    (void)free_it;
    *code = 0;
    return 0;
}
PARTIAL_EXPORT int ldap_parse_reference(LDAP* ld, LDAPMessage* message, char*** referrals,
                                        LDAPControl*** controls, int free_it)
{
    (void)ld; (void)message; (void)referrals; (void)controls; (void)free_it;
    return 0;
}
PARTIAL_EXPORT int ldap_create_persistentsearch_control(LDAP* ld, int types, int changes_only,
                                                        int return_echg, int critical,
                                                        LDAPControl** control)
{
    (void)ld; (void)types; (void)changes_only; (void)return_echg; (void)critical;
    *control = NULL;
    return -12;
}
PARTIAL_EXPORT int ldap_modify_ext_s(LDAP* ld, const char* dn, LDAPMod** mods, LDAPControl** server,
                                     LDAPControl** client)
{
    (void)ld; (void)dn; (void)mods; (void)server; (void)client;
    return -2;
}
PARTIAL_EXPORT int ldap_add_ext_s(LDAP* ld, const char* dn, LDAPMod** mods, LDAPControl** server,
                                  LDAPControl** client)
{
    (void)ld; (void)dn; (void)mods; (void)server; (void)client;
    return 68;
}
PARTIAL_EXPORT void ldap_control_free(LDAPControl* control) { (void)control; }
PARTIAL_EXPORT int ldap_initialize(LDAP** ld, const char* url)
{
    (void)url;
    *ld = (LDAP*)&session_marker;
    return -1;
}
PARTIAL_EXPORT int ldap_start_tls_s(LDAP* ld, LDAPControl** server, LDAPControl** client)
{
    (void)ld; (void)server; (void)client;
    return -1;
}
