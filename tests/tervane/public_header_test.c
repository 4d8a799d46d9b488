/* The public header compiles as strict C on its own, and the records keep
 * their documented layout. */
#include <stddef.h>

#include "tervane.h"

_Static_assert(offsetof(ReplicaInfo, head) == 0, "ReplicaInfo.head");
_Static_assert(offsetof(ReplicaInfo, name) == 20, "ReplicaInfo.name");
_Static_assert(offsetof(ReplicaInfo, tail) == 792, "ReplicaInfo.tail");
_Static_assert(sizeof(ReplicaInfo) == 800, "ReplicaInfo size");
_Static_assert(offsetof(event_spec, status) == 4, "event_spec.status");
_Static_assert(offsetof(event_record_7, short_text) + 32 == offsetof(event_record_7, long_text),
               "event_record_7 arrays");
_Static_assert(offsetof(event_record_8, data) == 2 * sizeof(int), "event_record_8 inline bytes");
_Static_assert(sizeof(lburp_operation) == offsetof(lburp_operation, controls) + sizeof(LDAPControl **),
               "lburp_operation is the classic record of four fields");

int tervane_public_header_compiles(void) { return TERVANE_ORD_ldap_get_effective_privileges_list; }
