/* A program as a user of Tervane writes it, run against slapd with the
 * plug-in: the same source on Linux and, built for Windows, under wine with
 * the client library built from OpenLDAP's sources. It binds as the root DN
 * of the private server (tools/private_slapd), reads its bound DN, counts,
 * lists replicas, watches additions with a monitor on a second connection,
 * loads 100 entries and a refused one through the bulk stream, receives the
 * events of that load, and backs up, deletes and restores an entry.
 *
 *   tervane_user [URI]   (default: the TEST_SERVER_URI environment variable)
 *
 * Prints one line per step and exits 0 when every step gave what it
 * should. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <winsock2.h> /* struct timeval, which the client library's calls take */
#else
#include <sys/time.h>
#endif

/* ldap_value_free, which releases a replica list, is one of the classic
 * functions the client library declares on request only. */
#define LDAP_DEPRECATED 1
#include "tervane.h"

#define SUFFIX "dc=example,dc=com"
#define PEOPLE "ou=people,dc=example,dc=com"
#define ROOT_DN "cn=admin,dc=example,dc=com"
#define LOADED 100

static int failures = 0;

static void check(int ok, const char *step, int code)
{
    printf("%s %s (%d)\n", ok ? "ok" : "FAILED", step, code);
    if (!ok)
        ++failures;
}

static LDAP *bound(const char *uri)
{
    LDAP *ld = NULL;
    int version = LDAP_VERSION3;
    if (ldap_initialize(&ld, uri) != LDAP_SUCCESS)
        return NULL;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    struct berval password = {6, "secret"};
    if (ldap_sasl_bind_s(ld, ROOT_DN, LDAP_SASL_SIMPLE, &password, NULL, NULL, NULL) != LDAP_SUCCESS) {
        ldap_unbind_ext_s(ld, NULL, NULL);
        return NULL;
    }
    return ld;
}

static int count_entries(LDAP *ld)
{
    int count = -1;
    int rc = ldap_partition_entry_count(ld, SUFFIX, &count);
    return rc == LDAP_SUCCESS ? count : -rc;
}

/* One add of a person, by the classic API. */
static int add_person(LDAP *ld, const char *dn, const char *cn)
{
    char *classes[] = {"inetOrgPerson", NULL}, *cns[] = {(char *)cn, NULL}, *sns[] = {"User", NULL};
    LDAPMod object_class = {LDAP_MOD_ADD, "objectClass", {classes}};
    LDAPMod name = {LDAP_MOD_ADD, "cn", {cns}}, surname = {LDAP_MOD_ADD, "sn", {sns}};
    LDAPMod *mods[] = {&object_class, &name, &surname, NULL};
    return ldap_add_ext_s(ld, dn, mods, NULL, NULL);
}

/* The next notification of the monitor: its event's entry DN copied into dn;
 * 0 when none came in time. */
static int next_event(LDAP *ld, int msgid, char *dn, size_t size)
{
    struct timeval timeout = {10, 0};
    LDAPMessage *message = NULL;
    int type = 0, result = 0;
    event_record *record = NULL;
    if (ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message) != LDAP_RES_INTERMEDIATE) {
        ldap_msgfree(message);
        return 0;
    }
    if (ldap_parse_ds_event(ld, message, &type, &result, &record, 1) != LDAP_SUCCESS || record == NULL)
        return 0;
    snprintf(dn, size, "%s", record->r1.text1 != NULL ? record->r1.text1 : "");
    ldap_event_free(record);
    return 1;
}

/* A stream request's answer message. */
static LDAPMessage *answer(LDAP *ld, int msgid)
{
    struct timeval timeout = {30, 0};
    LDAPMessage *message = NULL;
    if (ldap_result(ld, msgid, LDAP_MSG_ALL, &timeout, &message) <= 0)
        return NULL;
    return message;
}

int main(int argc, char **argv)
{
    const char *uri = argc == 2 ? argv[1] : getenv("TEST_SERVER_URI");
    if (argc > 2 || uri == NULL) {
        fprintf(stderr, "usage: tervane_user [URI]\n");
        return 2;
    }
    LDAP *ld = bound(uri), *watcher = bound(uri);
    check(ld != NULL && watcher != NULL, "bind as the root DN", 0);
    if (ld == NULL || watcher == NULL)
        return 1;

    char *dn = NULL;
    int rc = ldap_get_bind_dn(ld, &dn);
    check(rc == LDAP_SUCCESS && dn != NULL && strcmp(dn, ROOT_DN) == 0, "bound DN", rc);
    tervane_memfree(dn);

    int before = count_entries(ld);
    check(before > 0, "entry count", before);

    char **replicas = NULL;
    rc = ldap_list_replicas(ld, SUFFIX, &replicas);
    check(rc == LDAP_SUCCESS && replicas != NULL && replicas[0] != NULL && replicas[1] == NULL, "one replica",
          rc);
    ldap_value_free(replicas);

    /* The monitor watches additions; it is watching once a marker added
     * after the request is reported. */
    event_spec added = {1, 0};
    int monitor = 0;
    rc = ldap_monitor_events(watcher, 1, &added, &monitor);
    char seen[512] = "", marker[64];
    int watching = 0, markers = 0;
    while (rc == LDAP_SUCCESS && markers < 50 && !watching) {
        char marker_dn[128];
        snprintf(marker, sizeof marker, "Marker %d", ++markers);
        snprintf(marker_dn, sizeof marker_dn, "cn=%s," PEOPLE, marker);
        add_person(ld, marker_dn, marker);
        watching = next_event(watcher, monitor, seen, sizeof seen);
    }
    check(watching, "monitor watching", rc);

    /* The load: two batches of 50 adds, the second with one more add of an
     * entry that exists. */
    static char names[LOADED][64], dns[LOADED][128];
    static char *classes[] = {"inetOrgPerson", NULL}, *sns[] = {"Loaded", NULL};
    static char *cns[LOADED][2];
    static LDAPMod object_class[LOADED], name[LOADED], surname[LOADED];
    static LDAPMod *mods[LOADED][4];
    static lburp_operation operations[LOADED + 1];
    for (int i = 0; i < LOADED; ++i) {
        snprintf(names[i], sizeof names[i], "Loaded %03d", i);
        snprintf(dns[i], sizeof dns[i], "cn=%s," PEOPLE, names[i]);
        cns[i][0] = names[i];
        object_class[i] = (LDAPMod){LDAP_MOD_ADD, "objectClass", {classes}};
        name[i] = (LDAPMod){LDAP_MOD_ADD, "cn", {cns[i]}};
        surname[i] = (LDAPMod){LDAP_MOD_ADD, "sn", {sns}};
        mods[i][0] = &object_class[i];
        mods[i][1] = &name[i];
        mods[i][2] = &surname[i];
        mods[i][3] = NULL;
        operations[i] = (lburp_operation){LBURP_OP_ADD, dns[i], mods[i], NULL};
    }
    operations[LOADED] = operations[0];
    lburp_operation *first[51], *second[52];
    for (int i = 0; i < 50; ++i) {
        first[i] = &operations[i];
        second[i] = &operations[50 + i];
    }
    first[50] = NULL;
    second[50] = &operations[LOADED];
    second[51] = NULL;

    int msgid = 0, code = -1, start_value = 0;
    rc = ldap_lburp_start_request(ld, &msgid);
    if (rc == LDAP_SUCCESS)
        rc = ldap_parse_lburp_start_response(ld, answer(ld, msgid), &code, NULL, &start_value, 1);
    check(rc == LDAP_SUCCESS && code == LDAP_SUCCESS && start_value >= 51, "stream started", rc ? rc : code);
    lburp_operation **batches[] = {first, second};
    int results_ok = 1, counted = 0;
    for (int b = 0; b < 2; ++b) {
        int count = 0;
        lburp_operation_result *results = NULL;
        rc = ldap_lburp_operation_request(ld, b + 1, batches[b], &msgid);
        if (rc == LDAP_SUCCESS)
            rc = ldap_parse_lburp_operation_response(ld, answer(ld, msgid), &code, NULL, &count, &results, 1);
        results_ok = results_ok && rc == LDAP_SUCCESS && code == LDAP_SUCCESS && count == (b == 0 ? 50 : 51);
        for (int i = 0; i < count; ++i) {
            int expected = (b == 1 && i == 50) ? LDAP_ALREADY_EXISTS : LDAP_SUCCESS;
            results_ok = results_ok && results[i].operation_number == i + 1 && results[i].result_code == expected;
            ldap_memfree(results[i].error_message);
        }
        counted += count;
        tervane_memfree(results);
    }
    check(results_ok && counted == 101, "two batches, each operation with its own result", rc);
    rc = ldap_lburp_end_request(ld, 3, &msgid);
    if (rc == LDAP_SUCCESS)
        rc = ldap_parse_lburp_end_response(ld, answer(ld, msgid), &code, NULL, 1);
    check(rc == LDAP_SUCCESS && code == LDAP_SUCCESS, "stream ended", rc ? rc : code);

    /* Every entry of the load is reported, in the order of the load. */
    int in_order = 1;
    for (int i = 0; i < LOADED && in_order; ++i)
        in_order = next_event(watcher, monitor, seen, sizeof seen) && strcmp(seen, dns[i]) == 0;
    check(in_order, "the monitor received every addition of the load in order", 0);
    ldap_abandon_ext(watcher, monitor, NULL, NULL);

    int after = count_entries(ld);
    check(after == before + LOADED + markers, "entry count after the load", after);

    /* Backup, delete, restore. */
    char *state = NULL, *data = NULL, *sizes = NULL;
    int length = 0;
    rc = ldap_backup_object(ld, dns[7], NULL, &state, &data, &sizes, &length);
    check(rc == LDAP_SUCCESS && length > 0 && strstr(data, names[7]) != NULL, "backup", rc);
    rc = ldap_delete_ext_s(ld, dns[7], NULL, NULL);
    check(rc == LDAP_SUCCESS && count_entries(ld) == after - 1, "delete", rc);
    rc = ldap_restore_object(ld, dns[7], NULL, data, sizes, length);
    check(rc == LDAP_SUCCESS && count_entries(ld) == after, "restore", rc);
    tervane_memfree(state);
    tervane_memfree(data);
    tervane_memfree(sizes);

    ldap_unbind_ext_s(watcher, NULL, NULL);
    ldap_unbind_ext_s(ld, NULL, NULL);
    printf("%s\n", failures == 0 ? "all steps passed" : "some steps failed");
    return failures == 0 ? 0 : 1;
}
