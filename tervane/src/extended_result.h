// Reading the responses that a server sends, and decoding the final answers
// to the asynchronous extended requests (event monitoring and bulk update).
//
// libldap 2.5 aborts the process (a failed assertion) when
// ldap_parse_extended_result or ldap_parse_intermediate reads a response name
// that is empty text. What a server sends is not ours to trust, so every
// response is looked at before it is handed to either call, and one with an
// empty name is answered here instead.
#ifndef TERVANE_EXTENDED_RESULT_H
#define TERVANE_EXTENDED_RESULT_H

#include "ldap_client.h"
#include "owners.h"
#include "tervane.h"

namespace tervane {

// The response name and value of an extended or intermediate response;
// either may be absent.
struct ExtendedResponse {
    LdapString name;
    BervalPtr value;
    // The response carried a name that reads as empty text. Neither name nor
    // value was read; callers treat it as a name that does not match.
    bool empty_name = false;
};

// ldap_parse_extended_result(ld, message, &name, &value, freeit), for any
// message a server sent: one whose name is empty gives 0 with
// response.empty_name set and is released when freeit is non-zero. 90 (the
// message likewise released) when there is no memory to look at it.
int parse_extended_response(LDAP* ld, LDAPMessage* message, int freeit, ExtendedResponse& response);

// ldap_parse_intermediate(ld, message, &name, &value, NULL, freeit), guarded
// the same way.
int parse_intermediate_response(LDAP* ld, LDAPMessage* message, int freeit, ExtendedResponse& response);

// ldap_parse_result(ld, message, result_code, NULL, error_message, NULL, NULL,
// 0), then parse_extended_response(ld, message, freeit, response). Answers
// the first non-zero return of the two, else 0 with the name and value in
// response. result_code and error_message go to the library unchanged (either
// may be NULL); the message is released only by the second step, so it stays
// the caller's whenever the library refuses it.
int read_extended_response(LDAP* ld, LDAPMessage* message, int* result_code, char** error_message, int freeit,
                           ExtendedResponse& response);

// Monitor response value: SEQUENCE { INTEGER count, SET { SEQUENCE {
// INTEGER event_type, ENUMERATED status } ... } }. On 0, *specs holds count
// entries from Tervane's allocator (or stays NULL when the value carries no
// list) and *spec_count the count; on any other result nothing is allocated,
// *specs is NULL and *spec_count 0.
int decode_monitor_response(const berval& value, int* spec_count, event_spec** specs);

// Operation response value: entries { INTEGER operation, { INTEGER result,
// OCTET STRING matched, OCTET STRING message } } until the value ends. On 0,
// *results holds *result_count entries and room for one more (Tervane's
// allocator; each error_message from the client library); on any other result
// nothing is allocated, *results is NULL and *result_count 0.
int decode_operation_response(const berval& value, int* result_count, lburp_operation_result** results);

// Releases what decode_operation_response handed out.
void release_operation_results(lburp_operation_result* results, int result_count);

}  // namespace tervane

#endif
