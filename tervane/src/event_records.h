// Event notifications: the value of each intermediate response that a monitor
// request brings, decoded into one of the event record layouts of tervane.h.
#ifndef TERVANE_EVENT_RECORDS_H
#define TERVANE_EVENT_RECORDS_H

#include "ldap_client.h"
#include "tervane.h"

namespace tervane {

// Notification value: SEQUENCE { INTEGER event_type, INTEGER event_result,
// [APPLICATION n] data OPTIONAL, trailer OPTIONAL } ("{ii" then the fields of
// layout n). *event_type and *event_result receive the numbers; data
// (optional) receives the record or NULL (release: ldap_event_free). Answers
// 0, 84 (malformed, also a value of zero bytes) or 90; after a failure *data
// is NULL and nothing stays allocated.
int decode_event_notification(const berval& value, int* event_type, int* event_result, event_record** data);

}  // namespace tervane

#endif
