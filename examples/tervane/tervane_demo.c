/*
 * A small administration tool built on Tervane: it binds to a directory
 * server, shows who it is bound as, counts the entries of a partition, lists
 * the partition's replicas, loads a batch of entries through the bulk-update
 * stream and shows the directory events that the load caused.
 *
 * usage: tervane_demo URI BIND-DN PASSWORD PARTITION-DN
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define LDAP_DEPRECATED 1
#include <ldap.h>

#include "tervane.h"

/* The event types the server reports: one per kind of entry change, each
 * with the record r1 (text1 the entry, text2 who changed it, text3 the
 * object class of an added entry or the new name of a renamed one, data the
 * attributes a modification changed). */
enum { EVENT_ENTRY_ADDED = 1, EVENT_ENTRY_DELETED = 2, EVENT_ENTRY_MODIFIED = 3, EVENT_ENTRY_RENAMED = 4 };

static int report(const char *what, int rc)
{
    if (rc != 0)
        fprintf(stderr, "%s failed: %d (%s)\n", what, rc, rc > 0 && rc < 83 ? ldap_err2string(rc) : "see tervane.h");
    return rc;
}

static LDAP *open_session(const char *uri, const char *dn, const char *password)
{
    LDAP *ld = NULL;
    int version = LDAP_VERSION3;
    if (ldap_initialize(&ld, uri) != LDAP_SUCCESS)
        return NULL;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    if (report("bind", ldap_simple_bind_s(ld, dn, password)) != 0) {
        ldap_unbind_ext_s(ld, NULL, NULL);
        return NULL;
    }
    return ld;
}

static void show_partition(LDAP *ld, char *partition)
{
    char *bound = NULL;
    int entries = 0;
    char **replicas = NULL;

    if (report("reading the bound DN", ldap_get_bind_dn(ld, &bound)) == 0)
        printf("Bound as:           %s\n", bound);
    tervane_memfree(bound);

    if (report("counting entries", ldap_partition_entry_count(ld, partition, &entries)) == 0)
        printf("Entries in %s: %d\n", partition, entries);

    if (report("listing replicas", ldap_list_replicas(ld, partition, &replicas)) != 0)
        return;
    printf("Replicas of %s:\n", partition);
    for (char **replica = replicas; replica != NULL && *replica != NULL; ++replica) {
        ReplicaInfo info;
        printf("  %s", *replica);
        if (ldap_get_replica_info(ld, partition, *replica, &info) == 0)
            printf("  (type %d, state %d, replica number %d)", info.head[0], info.head[1], info.head[2]);
        printf("\n");
    }
    ldap_value_free(replicas);
}

static const char *text_or_dash(const char *text) { return text != NULL ? text : "-"; }

static void print_event(int type, int result, const event_record *record)
{
    printf("  event %d (result %d): ", type, result);
    if (record == NULL) {
        printf("no data\n");
        return;
    }
    switch (type) {
    case EVENT_ENTRY_ADDED:
        printf("%s (%s) added by %s\n", record->r1.text1, text_or_dash(record->r1.text3), text_or_dash(record->r1.text2));
        break;
    case EVENT_ENTRY_DELETED:
        printf("%s deleted by %s\n", record->r1.text1, text_or_dash(record->r1.text2));
        break;
    case EVENT_ENTRY_MODIFIED:
        printf("%s modified by %s (%s)\n", record->r1.text1, text_or_dash(record->r1.text2), text_or_dash(record->r1.data));
        break;
    case EVENT_ENTRY_RENAMED:
        printf("%s renamed to %s by %s\n", record->r1.text1, text_or_dash(record->r1.text3), text_or_dash(record->r1.text2));
        break;
    default:
        printf("a record this tool does not show\n");
    }
}

/* Asks the server to report entry changes; answers the request's message id,
 * or 0. */
static int watch_events(LDAP *ld)
{
    event_spec wanted[] = {{EVENT_ENTRY_ADDED, 1}, {EVENT_ENTRY_DELETED, 0}, {EVENT_ENTRY_MODIFIED, 0},
                           {EVENT_ENTRY_RENAMED, 0}};
    int msgid = 0;
    if (report("starting event monitoring", ldap_monitor_events(ld, 4, wanted, &msgid)) != 0)
        return 0;
    return msgid;
}

/* Shows the notifications that arrived for the monitor request msgid, then
 * ends monitoring. */
static void show_events(LDAP *ld, int msgid)
{
    struct timeval timeout = {1, 0};
    LDAPMessage *message = NULL;

    printf("Directory events:\n");
    while (ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message) > 0) {
        if (ldap_msgtype(message) == LDAP_RES_INTERMEDIATE) {
            int type = 0, result = 0;
            event_record *record = NULL;
            if (ldap_parse_ds_event(ld, message, &type, &result, &record, 1) == 0)
                print_event(type, result, record);
            ldap_event_free(record);
            continue;
        }
        {
            int code = 0, count = 0;
            event_spec *accepted = NULL;
            if (ldap_parse_monitor_events_response(ld, message, &code, NULL, &count, &accepted, 1) == 0)
                printf("  the server monitors %d event types for us (result %d)\n", count, code);
            tervane_memfree(accepted);
        }
        return;
    }
    ldap_abandon_ext(ld, msgid, NULL, NULL);
}

static int bulk_result(LDAP *ld, int msgid, LDAPMessage **message)
{
    struct timeval timeout = {5, 0};
    return ldap_result(ld, msgid, LDAP_MSG_ALL, &timeout, message) > 0 ? 0 : -1;
}

static void load_entries(LDAP *ld, const char *partition)
{
    char jane[256];
    char *person[] = {"inetOrgPerson", NULL}, *name[] = {"Jane Doe", NULL}, *surname[] = {"Doe", NULL};
    char *mail[] = {"jane@example.org", NULL};
    LDAPMod object_class = {LDAP_MOD_ADD, "objectClass", {person}};
    LDAPMod common_name = {LDAP_MOD_ADD, "cn", {name}};
    LDAPMod sn = {LDAP_MOD_ADD, "sn", {surname}};
    LDAPMod add_mail = {LDAP_MOD_ADD, "mail", {mail}};
    LDAPMod *attributes[] = {&object_class, &common_name, &sn, NULL};
    LDAPMod *changes[] = {&add_mail, NULL};
    lburp_rename new_name = {"cn=Jane Smith", 1, NULL};
    lburp_operation add = {LBURP_OP_ADD, jane, attributes, NULL};
    lburp_operation again = {LBURP_OP_ADD, jane, attributes, NULL};
    lburp_operation modify = {LBURP_OP_MODIFY, jane, changes, NULL};
    lburp_operation rename = {LBURP_OP_RENAME_EXTENDED, jane, &new_name, NULL};
    lburp_operation *batch[] = {&add, &again, &modify, &rename, NULL};
    LDAPMessage *message = NULL;
    int msgid = 0, code = 0, start = 0, count = 0;
    lburp_operation_result *results = NULL;

    snprintf(jane, sizeof jane, "cn=Jane Doe,%s", partition);
    printf("Bulk load:\n");
    if (report("starting the bulk load", ldap_lburp_start_request(ld, &msgid)) != 0 ||
        bulk_result(ld, msgid, &message) != 0 ||
        report("starting the bulk load", ldap_parse_lburp_start_response(ld, message, &code, NULL, &start, 1)) != 0)
        return;
    printf("  stream opened (server value %d)\n", start);

    if (report("sending the batch", ldap_lburp_operation_request(ld, 1, batch, &msgid)) != 0 ||
        bulk_result(ld, msgid, &message) != 0 ||
        report("reading the batch results",
               ldap_parse_lburp_operation_response(ld, message, &code, NULL, &count, &results, 1)) != 0)
        return;
    for (int i = 0; i < count; ++i) {
        printf("  operation %d: %s%s%s\n", results[i].operation_number,
               results[i].result_code == 0 ? "done" : ldap_err2string(results[i].result_code),
               results[i].error_message != NULL && *results[i].error_message ? " - " : "",
               results[i].error_message != NULL ? results[i].error_message : "");
        ldap_memfree(results[i].error_message);
    }
    tervane_memfree(results);

    if (report("ending the bulk load", ldap_lburp_end_request(ld, 1, &msgid)) != 0 ||
        bulk_result(ld, msgid, &message) != 0 ||
        report("ending the bulk load", ldap_parse_lburp_end_response(ld, message, &code, NULL, 1)) != 0)
        return;
    printf("  stream closed\n");
}

int main(int argc, char **argv)
{
    LDAP *ld;
    int monitor;
    if (argc != 5) {
        fprintf(stderr, "usage: %s URI BIND-DN PASSWORD PARTITION-DN\n", argv[0]);
        return 2;
    }
    ld = open_session(argv[1], argv[2], argv[3]);
    if (ld == NULL)
        return 1;
    show_partition(ld, argv[4]);
    monitor = watch_events(ld);
    load_entries(ld, argv[4]);
    if (monitor != 0)
        show_events(ld, monitor);
    ldap_unbind_ext_s(ld, NULL, NULL);
    return 0;
}
