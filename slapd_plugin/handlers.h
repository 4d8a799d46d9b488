// The handlers of the extended operations, by family. Each answers one
// request; the dispatcher has already checked who may call it.
#ifndef SLAPD_PLUGIN_HANDLERS_H
#define SLAPD_PLUGIN_HANDLERS_H

#include "request.h"

namespace adminext {

// Identity, privileges and name conversion (identity.cpp).
Reply get_bind_dn(Request& request);
Reply vorn_to_ldap(Request& request);
Reply dns_to_x500_dn(Request& request);
Reply effective_privileges(Request& request);
Reply effective_privileges_list(Request& request);

// Partitions (partitions.cpp).
Reply partition_entry_count(Request& request);
Reply split_partition(Request& request);
Reply merge_partitions(Request& request);
Reply abort_partition_operation(Request& request);
Reply split_orphan_partition(Request& request);
Reply remove_orphan_partition(Request& request);
// Requests this server accepts and has nothing to do for: they carry no
// value and succeed.
Reply accept_without_value(Request& request);

// Replicas (replicas.cpp).
Reply add_replica(Request& request);
Reply remove_replica(Request& request);
Reply change_replica_type(Request& request);
Reply list_replicas(Request& request);
Reply replica_info(Request& request);

// Synchronisation (synchronisation.cpp).
Reply request_partition_sync(Request& request);
Reply receive_all_updates(Request& request);
Reply send_all_updates(Request& request);
Reply request_schema_sync(Request& request);

// Replication filter (replication_filter.cpp).
Reply set_replication_filter(Request& request);
Reply get_replication_filter(Request& request);

// Object backup and restore (backup.cpp).
Reply backup_object(Request& request);
Reply restore_object(Request& request);

// Event monitoring (event_monitor.cpp).
Reply monitor_events(Request& request);
Reply monitor_events_filtered(Request& request);

// Bulk-update stream (bulk_update.cpp).
Reply start_bulk_update(Request& request);
Reply bulk_update_batch(Request& request);
Reply end_bulk_update(Request& request);
// Registers the per-connection state of the streams; false on failure.
bool register_bulk_update_streams();

}  // namespace adminext

#endif
