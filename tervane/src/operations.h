// Request and response names of every extended operation Tervane sends, with
// the way each one's exchange differs from the common frame. The response
// name is the request name with its last arc increased by one, except where a
// comment says otherwise.
#ifndef TERVANE_OPERATIONS_H
#define TERVANE_OPERATIONS_H

#include "exop_frame.h"
#include "operation_names.h"

#define TERVANE_ADMIN_OID(arc) LDAPEXT_ADMIN_OID(arc)
#define TERVANE_LBURP_OID(arc) LDAPEXT_BULK_OID(arc)

namespace tervane::ops {

// Identity, privileges and name conversion.
inline constexpr ExopSpec vorn_to_ldap{TERVANE_ADMIN_OID(1), TERVANE_ADMIN_OID(2)};
inline constexpr ExopSpec refresh_server{TERVANE_ADMIN_OID(9), TERVANE_ADMIN_OID(10)};
inline constexpr ExopSpec get_bind_dn{TERVANE_ADMIN_OID(31), TERVANE_ADMIN_OID(32)};
inline constexpr ExopSpec get_effective_privileges{TERVANE_ADMIN_OID(33), TERVANE_ADMIN_OID(34)};
inline constexpr ExopSpec dns_to_x500_dn{TERVANE_ADMIN_OID(101), TERVANE_ADMIN_OID(102)};
inline constexpr ExopSpec get_effective_privileges_list{TERVANE_ADMIN_OID(103), TERVANE_ADMIN_OID(104)};

// Partitions.
inline constexpr ExopSpec split_partition{TERVANE_ADMIN_OID(3), TERVANE_ADMIN_OID(4)};
inline constexpr ExopSpec merge_partitions{TERVANE_ADMIN_OID(5), TERVANE_ADMIN_OID(6)};
inline constexpr ExopSpec partition_entry_count{TERVANE_ADMIN_OID(13), TERVANE_ADMIN_OID(14)};
inline constexpr ExopSpec abort_partition_operation{TERVANE_ADMIN_OID(29), TERVANE_ADMIN_OID(30)};
inline constexpr ExopSpec split_orphan_partition{TERVANE_ADMIN_OID(39), TERVANE_ADMIN_OID(40)};
inline constexpr ExopSpec remove_orphan_partition{TERVANE_ADMIN_OID(41), TERVANE_ADMIN_OID(42)};

// Replicas.
inline constexpr ExopSpec add_replica{TERVANE_ADMIN_OID(7), TERVANE_ADMIN_OID(8)};
inline constexpr ExopSpec remove_replica{TERVANE_ADMIN_OID(11), TERVANE_ADMIN_OID(12)};
inline constexpr ExopSpec change_replica_type{TERVANE_ADMIN_OID(15), TERVANE_ADMIN_OID(16)};
inline constexpr ExopSpec get_replica_info{TERVANE_ADMIN_OID(17), TERVANE_ADMIN_OID(18)};
inline constexpr ExopSpec list_replicas{TERVANE_ADMIN_OID(19), TERVANE_ADMIN_OID(20)};

// Synchronisation and background processes.
inline constexpr ExopSpec receive_all_updates{TERVANE_ADMIN_OID(21), TERVANE_ADMIN_OID(22)};
inline constexpr ExopSpec send_all_updates{TERVANE_ADMIN_OID(23), TERVANE_ADMIN_OID(24)};
inline constexpr ExopSpec request_partition_sync{TERVANE_ADMIN_OID(25), TERVANE_ADMIN_OID(26)};
inline constexpr ExopSpec request_schema_sync{TERVANE_ADMIN_OID(27), TERVANE_ADMIN_OID(28)};
// Background processes 1 to 6; the arcs skip 45 and 46.
inline constexpr ExopSpec trigger_back_process[6] = {
    {TERVANE_ADMIN_OID(43), TERVANE_ADMIN_OID(44)}, {TERVANE_ADMIN_OID(47), TERVANE_ADMIN_OID(48)},
    {TERVANE_ADMIN_OID(49), TERVANE_ADMIN_OID(50)}, {TERVANE_ADMIN_OID(51), TERVANE_ADMIN_OID(52)},
    {TERVANE_ADMIN_OID(53), TERVANE_ADMIN_OID(54)}, {TERVANE_ADMIN_OID(55), TERVANE_ADMIN_OID(56)},
};

// Replication filter. The read accepts any response name, as long as one is
// present.
inline constexpr ExopSpec set_replication_filter{TERVANE_ADMIN_OID(35), TERVANE_ADMIN_OID(36)};
inline constexpr ExopSpec get_replication_filter{TERVANE_ADMIN_OID(37), nullptr};

// Object backup and restore: the response name is checked first and every
// result is recorded on the handle.
inline constexpr ExopSpec backup_object{.request_name = TERVANE_ADMIN_OID(96),
                                        .response_name = TERVANE_ADMIN_OID(97),
                                        .name_before_result = true,
                                        .record_on_handle = true};
inline constexpr ExopSpec restore_object{.request_name = TERVANE_ADMIN_OID(98),
                                         .response_name = TERVANE_ADMIN_OID(99),
                                         .name_before_result = true,
                                         .record_on_handle = true};

// Event monitoring: both requests are answered by .80; notifications arrive
// as intermediate responses named .81.
inline constexpr ExopSpec monitor_events{.request_name = TERVANE_ADMIN_OID(79),
                                         .response_name = TERVANE_ADMIN_OID(80),
                                         .record_on_handle = true};
inline constexpr ExopSpec monitor_events_filtered{.request_name = TERVANE_ADMIN_OID(84),
                                                  .response_name = TERVANE_ADMIN_OID(80),
                                                  .record_on_handle = true};
inline constexpr const char* event_notification = LDAPEXT_EVENT_NOTIFICATION;

// Bulk update. The end request is encoded with minimal (DER) lengths.
inline constexpr ExopSpec lburp_start{.request_name = TERVANE_LBURP_OID(1),
                                      .response_name = TERVANE_LBURP_OID(2),
                                      .record_on_handle = true};
inline constexpr ExopSpec lburp_end{.request_name = TERVANE_LBURP_OID(4),
                                    .response_name = TERVANE_LBURP_OID(5),
                                    .record_on_handle = true,
                                    .encoder_options = LBER_USE_DER};
inline constexpr ExopSpec lburp_operation{.request_name = TERVANE_LBURP_OID(6),
                                          .response_name = TERVANE_LBURP_OID(7),
                                          .record_on_handle = true};
inline constexpr const char* lburp_protocol = LDAPEXT_BULK_UPDATE_STYLE;

// Every operation whose response name pairs with its request name.
inline constexpr const ExopSpec* paired[] = {
    &vorn_to_ldap, &refresh_server, &get_bind_dn, &get_effective_privileges, &dns_to_x500_dn,
    &get_effective_privileges_list, &split_partition, &merge_partitions, &partition_entry_count,
    &abort_partition_operation, &split_orphan_partition, &remove_orphan_partition, &add_replica,
    &remove_replica, &change_replica_type, &get_replica_info, &list_replicas, &receive_all_updates,
    &send_all_updates, &request_partition_sync, &request_schema_sync, &trigger_back_process[0],
    &trigger_back_process[1], &trigger_back_process[2], &trigger_back_process[3], &trigger_back_process[4],
    &trigger_back_process[5], &set_replication_filter, &backup_object, &restore_object, &lburp_start,
    &lburp_end, &lburp_operation,
};

}  // namespace tervane::ops

#endif
