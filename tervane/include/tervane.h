/*
 * tervane.h - directory administration extensions over LDAP extended operations.
 *
 * Every function takes an LDAP handle that the application has opened and bound
 * with the LDAP C client library (protocol version 3), sends one extended
 * request and returns an LDAP result code. Synchronous functions wait for the
 * server's answer; the event-monitoring and bulk-update (LBURP) requests are
 * sent asynchronously and their answers, collected by the application with
 * ldap_result(), are decoded by the matching ldap_parse_* function.
 *
 * Result codes produced by Tervane itself (all other values come from the
 * client library unchanged, including its negative client-side codes):
 *
 *   0   success
 *   1   the response had the expected name but no value, for a function that
 *       decodes one
 *   83  a request could not be encoded (and, for the synchronous functions
 *       unless documented otherwise, a response value could not be decoded)
 *   84  a response value could not be decoded (where documented)
 *   89  a required argument is NULL (the handle is always required), a
 *       selector is out of range or a caller string is malformed; nothing is
 *       sent
 *   90  memory could not be allocated
 *   92  the response carried no name, an empty one or not the expected one
 *
 * These are the classic C API numbers; the TERVANE_* constants below give them
 * by value because some client libraries define the macros of the same names
 * with other (negative) values.
 *
 * Ownership: outputs belong to the caller. Buffers, strings and arrays that
 * Tervane allocates are released with tervane_memfree(); event records with
 * ldap_event_free(); strings and arrays that the client library allocated
 * (documented per function) with ldap_memfree() or ldap_value_free().
 * Strings, arrays and records passed in are only read, never changed or
 * kept (the one exception is the state text of ldap_backup_object, which the
 * call replaces); their pointers are not const so that callers of the
 * classic interface compile unchanged.
 *
 * Responses are read as a server sends them, malformed ones included. A
 * response name of no characters (which makes the client library abort the
 * process when it parses one) is looked for before the library parses the
 * response, and counts as a name that does not match.
 *
 * Limitations of the client library (OpenLDAP 2.5) that no caller can guard
 * against, Tervane included: it aborts the process inside ldap_result() when
 * a server sends an unsolicited notification (message id 0) whose response
 * name is empty, since it parses that message before ldap_result() returns;
 * and it allocates as much memory as a message announces (up to 4 GiB)
 * before reading it. Applications that talk to servers they do not trust
 * should bound incoming messages on the handle's Sockbuf
 * (LDAP_OPT_SOCKBUF, then ber_sockbuf_ctrl with LBER_SB_OPT_SET_MAX_INCOMING).
 *
 * Tervane keeps no state between calls. Calls on different handles may run on
 * different threads at once. Functions that record their result as the
 * handle's error number (LDAP_OPT_RESULT_CODE) must not share a handle
 * between threads.
 */
#ifndef TERVANE_H
#define TERVANE_H

#include <ldap.h>

#ifdef __cplusplus
extern "C" {
#endif

/* On 32-bit Windows every export is __stdcall (the callee removes its
 * arguments) and exported undecorated at the ordinal tervane.def gives it. */
#if defined(_WIN32) && !defined(_WIN64)
#define TERVANE_CALL __stdcall
#else
#define TERVANE_CALL
#endif

/* While Tervane itself is built on Windows the export list is tervane.def
 * alone: __declspec(dllexport) would add every name a second time, decorated
 * (_name@bytes) and without its ordinal. */
#if defined(_WIN32)
#if defined(TERVANE_BUILDING)
#define TERVANE_API
#else
#define TERVANE_API __declspec(dllimport)
#endif
#elif defined(TERVANE_BUILDING)
#define TERVANE_API __attribute__((visibility("default")))
#else
#define TERVANE_API
#endif

/* Result codes produced by Tervane (see above). */
#define TERVANE_SUCCESS 0
#define TERVANE_OPERATIONS_ERROR 1
#define TERVANE_ENCODING_ERROR 83
#define TERVANE_DECODING_ERROR 84
#define TERVANE_PARAM_ERROR 89
#define TERVANE_NO_MEMORY 90
#define TERVANE_NOT_SUPPORTED 92

/* Export ordinals of the Windows build (tervane.def lists the same). */
enum tervane_ordinal {
    TERVANE_ORD_ldap_create_naming_context = 1001,
    TERVANE_ORD_ldap_merge_naming_contexts = 1002,
    TERVANE_ORD_ldap_add_replica = 1003,
    TERVANE_ORD_ldap_remove_replica = 1004,
    TERVANE_ORD_ldap_naming_context_entry_count = 1005,
    TERVANE_ORD_ldap_change_replica_type = 1006,
    TERVANE_ORD_ldap_get_replica_info = 1007,
    TERVANE_ORD_ldap_list_replicas = 1008,
    TERVANE_ORD_ldap_receive_all_updates = 1009,
    TERVANE_ORD_ldap_send_all_updates = 1010,
    TERVANE_ORD_ldap_request_naming_context_sync = 1011,
    TERVANE_ORD_ldap_request_schema_sync = 1012,
    TERVANE_ORD_ldap_abort_naming_context_operation = 1013,
    TERVANE_ORD_ldap_get_context_identity_name = 1014,
    TERVANE_ORD_ldap_get_effective_privileges = 1015,
    TERVANE_ORD_ldap_vorn_to_ldap = 1016,
    TERVANE_ORD_ldap_refresh_server = 1017,
    TERVANE_ORD_tervane_memfree = 1018,
    TERVANE_ORD_ldap_set_replication_filter = 1019,
    TERVANE_ORD_ldap_get_replication_filter = 1020,
    TERVANE_ORD_ldap_create_orphan_naming_context = 1021,
    TERVANE_ORD_ldap_remove_orphan_naming_context = 1022,
    TERVANE_ORD_ldap_trigger_back_process = 1023,
    TERVANE_ORD_ldap_partition_entry_count = 1024,
    TERVANE_ORD_ldap_split_partition = 1025,
    TERVANE_ORD_ldap_merge_partitions = 1026,
    TERVANE_ORD_ldap_abort_partition_operation = 1027,
    TERVANE_ORD_ldap_request_partition_sync = 1028,
    TERVANE_ORD_ldap_split_orphan_partition = 1029,
    TERVANE_ORD_ldap_remove_orphan_partition = 1030,
    TERVANE_ORD_ldap_get_bind_dn = 1031,
    TERVANE_ORD_ldap_monitor_events = 1032,
    TERVANE_ORD_ldap_parse_monitor_events_response = 1033,
    TERVANE_ORD_ldap_parse_ds_event = 1034,
    TERVANE_ORD_ldap_event_free = 1035,
    TERVANE_ORD_ldap_monitor_events_filtered = 1036,
    TERVANE_ORD_ldap_lburp_start_request = 1037,
    TERVANE_ORD_ldap_parse_lburp_start_response = 1038,
    TERVANE_ORD_ldap_lburp_operation_request = 1039,
    TERVANE_ORD_ldap_parse_lburp_operation_response = 1040,
    TERVANE_ORD_ldap_lburp_end_request = 1041,
    TERVANE_ORD_ldap_parse_lburp_end_response = 1042,
    TERVANE_ORD_ldap_backup_object = 1043,
    TERVANE_ORD_ldap_restore_object = 1044,
    TERVANE_ORD_ldap_dns_to_x500_dn = 1045,
    TERVANE_ORD_ldap_get_effective_privileges_list = 1046
};

/* ------------------------------------------------------------------------ */
/* Release                                                                  */
/* ------------------------------------------------------------------------ */

/* Releases a buffer, string or array that Tervane allocated and handed out.
 * NULL is ignored. Not for event records (ldap_event_free) nor for what the
 * client library allocated. */
TERVANE_API void TERVANE_CALL tervane_memfree(void *p);

/* ------------------------------------------------------------------------ */
/* Identity, privileges and name conversion                                 */
/* ------------------------------------------------------------------------ */

/* Stores in *dn the DN that the handle is bound as (release: tervane_memfree).
 * A DN longer than 771 bytes is cut to its first 771 bytes. Results: 0, 1,
 * 83 (the value is not one OCTET STRING), 89 (ld or dn NULL), 90, 92, or the
 * client library's code. */
TERVANE_API int TERVANE_CALL ldap_get_bind_dn(LDAP *ld, char **dn);
/* Same as ldap_get_bind_dn. */
TERVANE_API int TERVANE_CALL ldap_get_context_identity_name(LDAP *ld, char **dn);

/* Stores in *privileges the privileges that subject_dn has on attribute of
 * the entry dn, as the server's bits. Results: 0, 1, 83, 89 (any pointer
 * argument NULL), 90, 92, or the client library's code. */
TERVANE_API int TERVANE_CALL ldap_get_effective_privileges(LDAP *ld, char *dn, char *subject_dn,
                                                           char *attribute, int *privileges);

/* Fills privileges[i] for each name attributes[i] of the NULL-terminated
 * array; privileges must hold one int per name. Entries beyond the count the
 * server returns are not touched; a server announcing more entries than names
 * were sent is refused with 84 before any entry is written. On a failure
 * part-way, the entries read so far keep their values and the failing one is
 * 0. Results: 0, 1, 83, 84, 89 (any pointer argument NULL), 90, 92, or the
 * client library's code. */
TERVANE_API int TERVANE_CALL ldap_get_effective_privileges_list(LDAP *ld, char *dn, char *subject_dn,
                                                                char **attributes, int *privileges);

/* Converts a vorn name (NUL-terminated string of 16-bit units) to an LDAP DN
 * stored in *ldap_dn (release: tervane_memfree). Results: 0, 1, 83 (also a
 * value that is not one OCTET STRING), 89 (any pointer argument NULL), 90, 92,
 * or the client library's code. */
TERVANE_API int TERVANE_CALL ldap_vorn_to_ldap(LDAP *ld, const unsigned short *vorn_name, char **ldap_dn);

/* Converts a DNS-style name to an X.500 DN stored in *dn (release:
 * tervane_memfree). Results: 0, 1, 83 (also a value that is not one OCTET
 * STRING), 89 (any pointer argument NULL), 90, 92, or the client library's
 * code. */
TERVANE_API int TERVANE_CALL ldap_dns_to_x500_dn(LDAP *ld, char *dns_name, char **dn);

/* Asks the server to refresh itself; the response value is not read.
 * Results: 0, 89 (ld NULL), 90, 92, or the client library's code. */
TERVANE_API int TERVANE_CALL ldap_refresh_server(LDAP *ld);

/* ------------------------------------------------------------------------ */
/* Partitions (the *_naming_context* functions are the same functions)      */
/* ------------------------------------------------------------------------ */
/* Results of all: 0, 83, 89 (ld or dn NULL; for the orphan functions also
 * server_dn, for the entry count also count; nothing is sent), 90, 92, or the
 * client library's code; the entry count also 1 (no value). */

TERVANE_API int TERVANE_CALL ldap_split_partition(LDAP *ld, char *dn, int flags);
TERVANE_API int TERVANE_CALL ldap_create_naming_context(LDAP *ld, char *dn, int flags);
TERVANE_API int TERVANE_CALL ldap_merge_partitions(LDAP *ld, char *dn, int flags);
TERVANE_API int TERVANE_CALL ldap_merge_naming_contexts(LDAP *ld, char *dn, int flags);
TERVANE_API int TERVANE_CALL ldap_abort_partition_operation(LDAP *ld, char *dn, int flags);
TERVANE_API int TERVANE_CALL ldap_abort_naming_context_operation(LDAP *ld, char *dn, int flags);
/* Stores the number of entries of the partition dn in *count (only on
 * success). */
TERVANE_API int TERVANE_CALL ldap_partition_entry_count(LDAP *ld, char *dn, int *count);
TERVANE_API int TERVANE_CALL ldap_naming_context_entry_count(LDAP *ld, char *dn, int *count);
TERVANE_API int TERVANE_CALL ldap_split_orphan_partition(LDAP *ld, char *dn, char *server_dn);
TERVANE_API int TERVANE_CALL ldap_create_orphan_naming_context(LDAP *ld, char *dn, char *server_dn);
TERVANE_API int TERVANE_CALL ldap_remove_orphan_partition(LDAP *ld, char *dn, char *server_dn);
TERVANE_API int TERVANE_CALL ldap_remove_orphan_naming_context(LDAP *ld, char *dn, char *server_dn);

/* ------------------------------------------------------------------------ */
/* Replicas                                                                 */
/* ------------------------------------------------------------------------ */

/* What the server keeps about one replica; filled by ldap_get_replica_info.
 * The meaning of the integers is the server's. */
typedef struct ReplicaInfo {
    int head[5];    /* the first five integers of the response, in order */
    char name[772]; /* the response's string, NUL-terminated, at most 771 bytes */
    int tail[2];    /* the last two integers of the response, in order */
} ReplicaInfo;

/* Results of all: 0, 83, 89 (ld, dn or server_dn NULL; for info also info,
 * for the list also replicas; nothing is sent), 90, 92, or the client
 * library's code; info and list also 1 (no value). */
TERVANE_API int TERVANE_CALL ldap_add_replica(LDAP *ld, char *dn, char *server_dn, int replica_type, int flags);
TERVANE_API int TERVANE_CALL ldap_remove_replica(LDAP *ld, char *dn, char *server_dn, int flags);
TERVANE_API int TERVANE_CALL ldap_change_replica_type(LDAP *ld, char *dn, char *server_dn, int replica_type,
                                                      int flags);
/* Fills *info. A name longer than 771 bytes is refused with 84 rather than
 * cut (a cut name would name another server). On a failed decode (83, also
 * for a name that is not an OCTET STRING, or 84) the integers read before the
 * failure are kept and name is not touched. */
TERVANE_API int TERVANE_CALL ldap_get_replica_info(LDAP *ld, char *dn, char *server_dn, ReplicaInfo *info);
/* Stores in *replicas a NULL-terminated array of the replicas' names, or NULL
 * for none; on failure *replicas is not touched (83 also when the value is not
 * a SEQUENCE of OCTET STRINGs). The client library's allocator made it:
 * release with ldap_value_free(). */
TERVANE_API int TERVANE_CALL ldap_list_replicas(LDAP *ld, char *dn, char ***replicas);

/* ------------------------------------------------------------------------ */
/* Synchronisation and background processes                                 */
/* ------------------------------------------------------------------------ */

/* Results of all: 0, 83, 89 (ld or a required DN NULL; nothing is sent), 90,
 * 92, or the client library's code. No response value is read. */

/* dn and server_dn required; extra_dn NULL sends "unusedParam". */
TERVANE_API int TERVANE_CALL ldap_receive_all_updates(LDAP *ld, char *dn, char *server_dn, char *extra_dn);
/* dn required; server_dn NULL sends an empty string. */
TERVANE_API int TERVANE_CALL ldap_send_all_updates(LDAP *ld, char *dn, char *server_dn);
/* server_dn and dn required. */
TERVANE_API int TERVANE_CALL ldap_request_partition_sync(LDAP *ld, char *server_dn, char *dn, int value);
TERVANE_API int TERVANE_CALL ldap_request_naming_context_sync(LDAP *ld, char *server_dn, char *dn, int value);
/* server_dn required. */
TERVANE_API int TERVANE_CALL ldap_request_schema_sync(LDAP *ld, char *server_dn, int value);
/* Runs background process 1 to 6 of the server now; other selectors give 89.
 * The request has no value, so 83 does not occur. */
TERVANE_API int TERVANE_CALL ldap_trigger_back_process(LDAP *ld, int process);

/* ------------------------------------------------------------------------ */
/* Replication filter                                                       */
/* ------------------------------------------------------------------------ */
/* Filter text: for each object class, its name, '$', each attribute name
 * followed by '$', and one more '$'; then a closing '$'. "$" is the empty
 * filter; "C1$A1$A2$$C2$$$" gives class C1 the attributes A1 and A2 and class
 * C2 none. */

/* Sets the replication filter of server_dn. Results: 0, 83, 89 (ld,
 * server_dn or filter NULL, or malformed filter text; nothing is sent), 90,
 * 92, or the client library's code. */
TERVANE_API int TERVANE_CALL ldap_set_replication_filter(LDAP *ld, char *server_dn, char *filter);
/* Stores the filter of server_dn as text in *filter (release:
 * tervane_memfree). Any response name is accepted, but one must be there.
 * Once the buffer is stored it holds the text of the whole class entries
 * decoded so far on every failure. Results: 0, 1, 84 (also a class or
 * attribute name that is empty or holds '$', which the text cannot carry),
 * 89 (ld, server_dn or filter NULL), 90, 92 (no response name, or an empty
 * one), or the client library's code. */
TERVANE_API int TERVANE_CALL ldap_get_replication_filter(LDAP *ld, char *server_dn, char **filter);

/* ------------------------------------------------------------------------ */
/* Object backup and restore                                                */
/* ------------------------------------------------------------------------ */
/* Both record their result as the handle's error number from the encoding of
 * the request on. When a response arrived, its name is checked before the
 * server's result: a missing or wrong name gives 92 whatever the server
 * answered. When none arrived (the connection was lost, the wait timed out,
 * the server gave notice of disconnection or answered with another kind of
 * response, or the client library could not read the response), the client
 * library's code is the result. */

/* Reads one object in the server's backup form. *state is NULL on the first
 * call and afterwards the text "n+m" stored by the previous call; each
 * successful call replaces it (the old text is released) and the caller
 * releases the last one with tervane_memfree. On success *object_data holds
 * *data_length bytes and *size_list the chunk sizes as "count;size;...;"
 * (both released with tervane_memfree). On failure *state, *object_data and
 * *size_list are unchanged; *data_length may hold the announced length.
 * Results: 0, 1, 83 (state text without two non-zero numbers: nothing sent),
 * 84 (also when the object data is shorter than the announced length), 89
 * (ld, dn, state, object_data, size_list or data_length NULL; nothing sent),
 * 90, 92, or the client library's code. */
TERVANE_API int TERVANE_CALL ldap_backup_object(LDAP *ld, char *dn, char *extra, char **state, char **object_data,
                                                char **size_list, int *data_length);
/* Puts an object back from data_length bytes of object_data and its size list
 * "count;size;...;". Results: 0, 83, 89 (ld, dn, object_data or size_list
 * NULL, negative data_length, or a size list without items; nothing sent),
 * 90, 92, or the client library's code. */
TERVANE_API int TERVANE_CALL ldap_restore_object(LDAP *ld, char *dn, char *extra, char *object_data,
                                                 char *size_list, int data_length);

/* ------------------------------------------------------------------------ */
/* Event monitoring                                                         */
/* ------------------------------------------------------------------------ */
/* The parse functions (ldap_parse_monitor_events_response,
 * ldap_parse_ds_event and the three ldap_parse_lburp_*_response) take a
 * message that the application collected with ldap_result(). With freeit
 * non-zero the message is released, whatever the result, once the call has
 * started to read it. It stays the caller's (release: ldap_msgfree) when
 * freeit is zero, when the call refuses its arguments before reading it
 * (89), and when the client library refuses the message (its own, negative,
 * codes). */

typedef struct event_spec {
    int event_type; /* sent as INTEGER */
    int status;     /* sent as ENUMERATED */
} event_spec;

typedef struct event_spec_filtered {
    int event_type;
    int status;
    char *filter; /* filter text for this event type */
} event_spec_filtered;

/* Sends the monitor request for the count events of the array events
 * asynchronously; *msgid receives the message id. The answer (and the event
 * notifications before it) are collected with ldap_result(). A negative count
 * is sent as it is, with no events. Results (recorded as the handle's error
 * number, except 89 and a failure to allocate the encoder): 0, 83, 89 (count
 * 0; events, msgid or ld NULL; in the filtered request also a NULL filter
 * among the count events; nothing is sent), 90, or the client library's
 * code. */
TERVANE_API int TERVANE_CALL ldap_monitor_events(LDAP *ld, int count, event_spec *events, int *msgid);
TERVANE_API int TERVANE_CALL ldap_monitor_events_filtered(LDAP *ld, int count, event_spec_filtered *events,
                                                          int *msgid);

/* Decodes the server's final answer to a monitor request. *result_code
 * (required) receives the server's result; *error_message (optional) its
 * diagnostic text (release: ldap_memfree); *specs and *spec_count (optional,
 * both needed for the list to be read) the events the server accepted, in its
 * order (release: tervane_memfree; an empty list may still be a block to
 * release). freeit: see above.
 * Results, each recorded as the handle's error number:
 *   0   also when the response has no name, no value or a value without list
 *       (*specs NULL, *spec_count 0)
 *   84  wrong or empty response name; a list element that cannot be read; a
 *       negative count or one larger than the value could hold
 *   89  result_code or result NULL (ld NULL: 89, not recorded)
 *   90  memory is short
 *   or the client library's code.
 * On any result but 0 *specs is NULL and *spec_count 0; *result_code and
 * *error_message keep what the client library stored. */
TERVANE_API int TERVANE_CALL ldap_parse_monitor_events_response(LDAP *ld, LDAPMessage *result, int *result_code,
                                                                char **error_message, int *spec_count,
                                                                event_spec **specs, int freeit);

/* ---- Event records ----------------------------------------------------- */
/* ldap_parse_ds_event decodes an event notification into one of the records
 * below, chosen by the type of the event data (data type n gives
 * event_record_n). Integers absent from the data are 0 and strings absent are
 * NULL. Records are read-only and are released only with ldap_event_free,
 * which also releases every string, list and array the record points to. */

typedef struct event_prefix {
    int number1;
    int number2;
    char *text;
} event_prefix;

/* A NULL-terminated array of strings, or NULL when the data carried none. */
typedef char **event_string_list;

typedef struct event_triple {
    int triple1;
    int triple2;
    int triple3;
} event_triple;

typedef struct event_counted_value {
    int type;
    int length; /* bytes in data */
    char *data; /* length bytes and a NUL, or NULL when empty */
} event_counted_value;

typedef union event_slot {
    int number;
    char *text;
    event_triple *triples;
} event_slot;

/* Entry of event_record_16; kind says which slots hold what:
 *   1, 4: value1.number
 *   2:    value1.text
 *   3:    value1.number = length, value2.text = data
 *   5:    value1.number, value2.number = length, value3.text = data
 *   6:    value1.number, value2.number, value3.number
 *   7:    value1.number = count, value2.triples = count triples */
typedef struct event_typed_value {
    int kind;
    event_slot value1;
    event_slot value2;
    event_slot value3;
} event_typed_value;

typedef struct event_record_1 {
    char *text1, *text2, *text3;
    int number1, number2;
    int triple1, triple2, triple3;
    char *data;
} event_record_1;

typedef struct event_record_2 {
    int number1;
    char *text1, *text2, *text3, *text4, *text5;
    int triple1, triple2, triple3;
    int length;
    char *data;
} event_record_2;

typedef struct event_record_3 {
    int number1, number2, number3, number4;
    char *text;
    int values[4];
    char *strings[4];
} event_record_3;

typedef struct event_record_5 {
    char *text1;
    int number1, number2, number3;
    char *text2;
} event_record_5;

typedef struct event_record_6 {
    char *text1;
    int number1;
    char *text2;
    int count;
    event_counted_value *values; /* count entries, or NULL */
} event_record_6;

typedef struct event_record_7 {
    char *text1;
    int number1;
    char *text2;
    char short_text[32];
    char long_text[128];
} event_record_7;

/* data is declared one byte long but holds length bytes and a NUL: the
 * record is allocated to fit them. Read the bytes in place; a copy of the
 * record (by assignment or sizeof) keeps only the first byte. The trailer pair
 * that may follow any event data has the same shape; it is checked and
 * discarded. */
typedef struct event_record_8 {
    int value;
    int length;
    char data[1];
} event_record_8;

typedef struct event_record_9 {
    char *text1;
    int number1, number2;
    char *text2;
} event_record_9;

typedef struct event_record_12 {
    int number1, number2, number3;
    int length;
    char *data;
    char *text1, *text2;
} event_record_12;

/* kind 5 and 2: value.number; kind 1: value.length and data; kind 3:
 * value.text; kind 0: nothing. */
typedef struct event_record_13 {
    int kind;
    char *text;
    union {
        int number;
        int length;
        char *text;
    } value;
    char *data;
} event_record_13;

typedef struct event_record_15 {
    int number1;
    char *text1, *text2, *text3, *text4, *text5, *text6;
} event_record_15;

typedef struct event_record_16 {
    int number1, number2;
    char *text1, *text2;
    int number3;
    int count;
    event_typed_value *values; /* count entries, or NULL */
} event_record_16;

typedef struct event_record_17 {
    event_prefix *prefix;
    int number1, number2;
    char *text1;
    int number3;
    char *text2;
    event_string_list list;
    int number4;
} event_record_17;

typedef struct event_record_18 {
    int number1, number2;
    char *text1;
} event_record_18;

typedef struct event_record_19 {
    event_prefix *prefix;
    int number1, number2;
    char *text1, *text2;
    int number3;
    char *text3;
    event_string_list list1, list2;
    int number4;
} event_record_19;

typedef struct event_record_20 {
    event_prefix *prefix;
    int number1, number2;
    char *text1, *text2;
    event_string_list list;
    int number3;
} event_record_20;

typedef struct event_record_21 {
    event_prefix *prefix;
    int number1, number2, number3;
    char *text1, *text2, *text3;
    event_string_list list;
    int number4;
} event_record_21;

typedef struct event_record_22 {
    event_prefix *prefix;
    int number1, number2;
    char *text1, *text2, *text3, *text4, *text5;
    int number3;
} event_record_22;

typedef struct event_record_23 {
    event_prefix *prefix;
    int number1, number2;
    char *text1, *text2, *text3, *text4;
    event_string_list list;
    int number3;
} event_record_23;

typedef struct event_record_24 {
    event_prefix *prefix;
    int number1, number2, number3;
    char *text1;
    int number4;
} event_record_24;

typedef struct event_record_25 {
    event_prefix *prefix;
    int number1, number2, number3;
    char *text1, *text2;
    int number4;
} event_record_25;

typedef struct event_record_26 {
    event_prefix *prefix;
    int number1, number2, number3;
    char *text1, *text2, *text3, *text4, *text5, *text6;
    int number4;
} event_record_26;

typedef struct event_record_27 {
    event_prefix *prefix;
    int number1, number2, number3, number4;
    char *text1;
    event_string_list list;
} event_record_27;

typedef struct event_record_28 {
    event_prefix *prefix;
    int number1, number2;
    char *text1, *text2;
    int number3;
    int number4;
} event_record_28;

typedef struct event_record_29 {
    int number1;
    char *text1;
} event_record_29;

/* An event record. Exactly one member is valid: the one of the data type the
 * event carries (r1 for data type 1, and so on). The record does not say
 * which; the event type does, by the server's protocol, which pairs each
 * event type with one data type. Only the valid member's memory exists:
 * reading another member may read past the record. */
typedef union event_record {
    event_record_1 r1;
    event_record_2 r2;
    event_record_3 r3;
    event_record_5 r5;
    event_record_6 r6;
    event_record_7 r7;
    event_record_8 r8;
    event_record_9 r9;
    event_record_12 r12;
    event_record_13 r13;
    event_record_15 r15;
    event_record_16 r16;
    event_record_17 r17;
    event_record_18 r18;
    event_record_19 r19;
    event_record_20 r20;
    event_record_21 r21;
    event_record_22 r22;
    event_record_23 r23;
    event_record_24 r24;
    event_record_25 r25;
    event_record_26 r26;
    event_record_27 r27;
    event_record_28 r28;
    event_record_29 r29;
} event_record;

/* Decodes one event notification (an intermediate response of a monitor
 * request). *event_type and *event_result (required) receive the event's
 * numbers; data (optional) receives its record, or NULL when the event
 * carries none (release: ldap_event_free). freeit: see above. Results
 * (recorded as the handle's error number): 0, 84 (missing, empty or wrong
 * name, bad data; also a notification without value), 89 (message,
 * event_type or event_result NULL; ld NULL: 89, not recorded), 90, or the
 * client library's code. After a failure *data is NULL and nothing stays
 * allocated. */
TERVANE_API int TERVANE_CALL ldap_parse_ds_event(LDAP *ld, LDAPMessage *message, int *event_type,
                                                 int *event_result, event_record **data, int freeit);

/* Releases an event record and everything it owns. NULL is ignored. */
TERVANE_API void TERVANE_CALL ldap_event_free(event_record *record);

/* ------------------------------------------------------------------------ */
/* Bulk update (LBURP)                                                      */
/* ------------------------------------------------------------------------ */

#define LBURP_OP_ADD 0x68
#define LBURP_OP_DELETE 0x4A
#define LBURP_OP_MODIFY 0x66
#define LBURP_OP_RENAME 0x6C
/* A rename that also says what becomes of the old RDN and where the entry
 * goes: specific points to an lburp_rename. Not a protocol tag; the operation
 * is sent as a rename (0x6C). */
#define LBURP_OP_RENAME_EXTENDED 0x16C

/* One update operation of a batch.
 *   type:      LBURP_OP_ADD, LBURP_OP_DELETE, LBURP_OP_MODIFY, LBURP_OP_RENAME
 *              or LBURP_OP_RENAME_EXTENDED
 *   dn:        the entry the operation applies to
 *   specific:  add and modify: NULL-terminated LDAPMod * array (LDAP_MOD_BVALUES
 *              selects mod_bvalues; an add ignores mod_op otherwise, a modify
 *              sends it without LDAP_MOD_BVALUES); delete: not read; rename:
 *              the new RDN (char *), sent with delete-old-RDN FALSE (the old
 *              RDN's values stay as ordinary values) and no new superior
 *              (the entry stays under its parent); extended rename: an
 *              lburp_rename *
 *   controls:  NULL-terminated control array for this operation, or NULL
 * Exactly these four fields are read, whatever the type. */
typedef struct lburp_operation {
    int type;
    char *dn;
    void *specific;
    LDAPControl **controls;
} lburp_operation;

/* What specific points to in an LBURP_OP_RENAME_EXTENDED operation.
 *   new_rdn:        the entry's new RDN (required)
 *   delete_old_rdn: non-zero removes the old RDN's values from the entry
 *                   (LDIF "deleteoldrdn: 1"; sent as BOOLEAN TRUE); zero
 *                   keeps them as ordinary values
 *   new_superior:   DN of the entry's new parent (LDIF "newsuperior:"), or
 *                   NULL to stay under the same parent */
typedef struct lburp_rename {
    char *new_rdn;
    int delete_old_rdn;
    char *new_superior;
} lburp_rename;

typedef struct lburp_operation_result {
    int operation_number; /* the number the server gives the operation */
    int result_code;
    char *error_message; /* release: ldap_memfree */
} lburp_operation_result;

/* The three requests are sent asynchronously; *msgid receives the message id
 * and the answer is collected with ldap_result(). Results (recorded as the
 * handle's error number, except 89 and a failure to allocate the encoder): 0,
 * 83, 89 (ld or msgid NULL; nothing sent), 90, or the client library's code;
 * the operation request also:
 *   89  operations NULL, or a pointer its encoding needs is NULL: dn; for add
 *       and modify specific and each mod_type (and a berval value without
 *       bytes but with a length); for rename specific; for the extended
 *       rename specific and its new_rdn; each control's ldctl_oid (not
 *       recorded; nothing sent)
 *   92  an operation type not listed above (recorded; nothing sent).
 * A control's criticality is sent only when TRUE and its value only when
 * ldctl_value.bv_val is not NULL; an empty control array sends an empty
 * control list. A NULL value array sends an attribute without values. */
TERVANE_API int TERVANE_CALL ldap_lburp_start_request(LDAP *ld, int *msgid);
/* operations: NULL-terminated array (an empty one sends a batch without
 * operations). */
TERVANE_API int TERVANE_CALL ldap_lburp_operation_request(LDAP *ld, int sequence_number,
                                                          lburp_operation **operations, int *msgid);
TERVANE_API int TERVANE_CALL ldap_lburp_end_request(LDAP *ld, int sequence_number, int *msgid);

/* The parse functions hand result_code and error_message (both optional) to
 * ldap_parse_result (error_message: release with ldap_memfree); freeit: see
 * the event-monitoring section. The server's result code is reported in
 * *result_code and does not stop the decoding. Results, each recorded as the
 * handle's error number:
 *   0   success
 *   84  the response value cannot be read
 *   89  result NULL (ld NULL: 89, not recorded)
 *   90  memory is short
 *   92  missing, empty or wrong response name (the value is not read)
 *   or the client library's code. */
/* start_value receives the server's integer when the response has a value
 * (89 when it is NULL then, given once the message has been read: freeit
 * still releases it); without a value it is not touched. */
TERVANE_API int TERVANE_CALL ldap_parse_lburp_start_response(LDAP *ld, LDAPMessage *result, int *result_code,
                                                             char **error_message, int *start_value, int freeit);
/* *results receives an array of *result_count results in the server's order
 * with room for one more, zeroed (release: tervane_memfree, each
 * error_message with ldap_memfree). A response without value gives *results
 * NULL and *result_count 0; one with a value always gives an array, empty
 * when the value holds no complete entry. The list ends where the value ends
 * or where no further element can be read; an entry that ends after its
 * operation number is not counted. A response with a value but results or
 * result_count NULL is not decoded (result 0). On any result but 0 *results
 * is NULL and *result_count 0. A result of 80 from the client library's
 * result-parsing calls is returned as 0. */
TERVANE_API int TERVANE_CALL ldap_parse_lburp_operation_response(LDAP *ld, LDAPMessage *result, int *result_code,
                                                                 char **error_message, int *result_count,
                                                                 lburp_operation_result **results, int freeit);
TERVANE_API int TERVANE_CALL ldap_parse_lburp_end_response(LDAP *ld, LDAPMessage *result, int *result_code,
                                                           char **error_message, int freeit);

#ifdef __cplusplus
}
#endif

#endif /* TERVANE_H */
