#include "extended_result.h"

#include "result_codes.h"

// Exported by libldap, declared only in its private headers: the decoder of a
// received message, positioned at the message's protocol operation.
extern "C" {
LDAP_F(BerElement*) ldap_get_message_ber LDAP_P((LDAPMessage * message));
}

namespace tervane {

namespace {

constexpr ber_tag_t kReferral = 0xA3;                  // [3] referral of a result
constexpr ber_tag_t kExtendedResponseName = 0x8A;      // [10] of an ExtendedResponse
constexpr ber_tag_t kIntermediateResponseName = 0x80;  // [0] of an IntermediateResponse

// A second decoder over a message's bytes, which stay the message's.
using MessageReader = BorrowingBerPtr;

enum class Name { readable, empty, no_memory };

// Walks a response of `type` to where libldap reads its name, skipping each
// element with the call that libldap's own reading of it starts with, so the
// walk gets there whenever libldap would:
//   ExtendedResponse ::= [APPLICATION 24] { resultCode, matchedDN,
//       diagnosticMessage, [3] referral OPTIONAL, [10] responseName OPTIONAL,
//       ... }
//   IntermediateResponse ::= [APPLICATION 25] { [0] responseName OPTIONAL,
//       ... }
// (libldap takes a [10] name in an intermediate response too). A message of
// another type is refused by libldap before it reads a name.
Name look_at_name(LDAPMessage* message, int type)
{
    if (ldap_msgtype(message) != type)
        return Name::readable;
    MessageReader reader(ber_dup(ldap_get_message_ber(message)));
    if (!reader)
        return Name::no_memory;
    BerElement* ber = reader.get();
    ber_len_t length = 0;
    berval element{};
    if (ber_skip_tag(ber, &length) == LBER_DEFAULT)
        return Name::readable;
    if (type == LDAP_RES_EXTENDED) {
        for (int field = 0; field < 3; ++field)
            if (ber_skip_element(ber, &element) == LBER_DEFAULT)
                return Name::readable;
        if (ber_peek_tag(ber, &length) == kReferral && ber_skip_element(ber, &element) == LBER_DEFAULT)
            return Name::readable;
    }
    ber_tag_t tag = ber_peek_tag(ber, &length);
    bool is_name = tag == kExtendedResponseName || (type == LDAP_RES_INTERMEDIATE && tag == kIntermediateResponseName);
    if (!is_name || ber_skip_element(ber, &element) == LBER_DEFAULT)
        return Name::readable;
    // libldap reads the name as a NUL-terminated string: a leading NUL
    // empties it too.
    return element.bv_len == 0 || element.bv_val[0] == '\0' ? Name::empty : Name::readable;
}

template <class Parse>
int parse_guarded(LDAPMessage* message, int type, int freeit, ExtendedResponse& response, Parse parse)
{
    Name name = look_at_name(message, type);
    if (name == Name::readable)
        return parse();
    if (freeit != 0)
        ldap_msgfree(message);
    response.empty_name = name == Name::empty;
    return response.empty_name ? kSuccess : kNoMemory;
}

}  // namespace

int parse_extended_response(LDAP* ld, LDAPMessage* message, int freeit, ExtendedResponse& response)
{
    return parse_guarded(message, LDAP_RES_EXTENDED, freeit, response, [&] {
        return ldap_parse_extended_result(ld, message, out(response.name), out(response.value), freeit);
    });
}

int parse_intermediate_response(LDAP* ld, LDAPMessage* message, int freeit, ExtendedResponse& response)
{
    return parse_guarded(message, LDAP_RES_INTERMEDIATE, freeit, response, [&] {
        return ldap_parse_intermediate(ld, message, out(response.name), out(response.value), nullptr, freeit);
    });
}

int read_extended_response(LDAP* ld, LDAPMessage* message, int* result_code, char** error_message, int freeit,
                           ExtendedResponse& response)
{
    // The message is never released here: freeit belongs to the second step.
    int rc = ldap_parse_result(ld, message, result_code, nullptr, error_message, nullptr, nullptr, 0);
    if (rc != LDAP_SUCCESS)
        return rc;
    return parse_extended_response(ld, message, freeit, response);
}

}  // namespace tervane
