// Bulk update (LBURP): the start, operation and end requests of a stream,
// sent asynchronously, and the decoding of the server's answers to them.
// Tervane keeps no stream state: the order of the calls and the sequence
// numbers are the application's.
#include <algorithm>
#include <cstring>
#include <limits>

#include "exop_frame.h"
#include "extended_result.h"
#include "memory.h"
#include "operations.h"
#include "tervane.h"

using namespace tervane;

namespace {

constexpr ber_tag_t kControlsTag = 0xA0;     // [0] controls of one operation
constexpr ber_tag_t kNewSuperiorTag = 0x80;  // [0] newSuperior of a rename

bool values_complete(const LDAPMod& mod)
{
    if ((mod.mod_op & LDAP_MOD_BVALUES) == 0 || mod.mod_bvalues == nullptr)
        return true;  // a NULL value array sends an empty SET
    for (berval** value = mod.mod_bvalues; *value != nullptr; ++value)
        if ((*value)->bv_val == nullptr && (*value)->bv_len != 0)
            return false;
    return true;
}

bool mods_complete(LDAPMod** mods)
{
    if (mods == nullptr)
        return false;
    for (LDAPMod** mod = mods; *mod != nullptr; ++mod)
        if ((*mod)->mod_type == nullptr || !values_complete(**mod))
            return false;
    return true;
}

// True when every pointer that the encoding of the operation follows is
// there; liblber would read a missing string or array through NULL. An
// operation of an unknown type is refused by the encoding itself.
bool operation_complete(const lburp_operation& operation)
{
    if (operation.controls != nullptr)
        for (LDAPControl** control = operation.controls; *control != nullptr; ++control)
            if ((*control)->ldctl_oid == nullptr)
                return false;
    switch (operation.type) {
    case LBURP_OP_ADD:
    case LBURP_OP_MODIFY:
        return operation.dn != nullptr && mods_complete(static_cast<LDAPMod**>(operation.specific));
    case LBURP_OP_RENAME:
        return operation.dn != nullptr && operation.specific != nullptr;
    case LBURP_OP_RENAME_EXTENDED: {
        const auto* rename = static_cast<const lburp_rename*>(operation.specific);
        return operation.dn != nullptr && rename != nullptr && rename->new_rdn != nullptr;
    }
    case LBURP_OP_DELETE:
        return operation.dn != nullptr;
    default:
        return true;
    }
}

// [0] { SEQUENCE { OCTET STRING oid, BOOLEAN TRUE (only when critical),
// OCTET STRING value (only when there is one) } ... }: "t{", per control "{s"
// ["b"] ["O"] "}", then "}". An empty array still gives an empty [0].
int put_controls(BerElement* ber, LDAPControl** controls)
{
    if (controls == nullptr)
        return kSuccess;
    if (int rc = put(ber, "t{", kControlsTag); rc != kSuccess)
        return rc;
    for (LDAPControl** entry = controls; *entry != nullptr; ++entry) {
        LDAPControl& control = **entry;
        int rc = put(ber, "{s", control.ldctl_oid);
        if (rc == kSuccess && control.ldctl_iscritical != 0)
            rc = put(ber, "b", static_cast<ber_int_t>(control.ldctl_iscritical));
        if (rc == kSuccess && control.ldctl_value.bv_val != nullptr)
            rc = put(ber, "O", &control.ldctl_value);
        if (rc == kSuccess)
            rc = put(ber, "}");
        if (rc != kSuccess)
            return rc;
    }
    return put(ber, "}");
}

// SEQUENCE { OCTET STRING type, SET OF OCTET STRING values }: "{s[V]}" with
// the berval values when LDAP_MOD_BVALUES is set, else "{s[v]}".
int put_attribute(BerElement* ber, const LDAPMod& mod)
{
    if ((mod.mod_op & LDAP_MOD_BVALUES) != 0)
        return put(ber, "{s[V]}", mod.mod_type, mod.mod_bvalues);
    return put(ber, "{s[v]}", mod.mod_type, mod.mod_values);
}

// add:    [APPLICATION 8] { OCTET STRING dn, SEQUENCE { attribute ... } },
//         "{t{s{" then per modification the attribute alone, "}}";
// modify: [APPLICATION 6] { OCTET STRING dn, SEQUENCE { SEQUENCE {
//         ENUMERATED operation, attribute } ... } }, "{t{s{" then per
//         modification "{e" (mod_op without LDAP_MOD_BVALUES), the attribute,
//         "}", then "}}". Both open the operation's SEQUENCE.
int put_changes(BerElement* ber, const lburp_operation& operation, bool with_operation_codes)
{
    if (int rc = put(ber, "{t{s{", static_cast<ber_tag_t>(operation.type), operation.dn); rc != kSuccess)
        return rc;
    for (LDAPMod** entry = static_cast<LDAPMod**>(operation.specific); *entry != nullptr; ++entry) {
        const LDAPMod& mod = **entry;
        int rc = kSuccess;
        if (with_operation_codes)
            rc = put(ber, "{e", static_cast<ber_int_t>(mod.mod_op & ~LDAP_MOD_BVALUES));
        if (rc == kSuccess)
            rc = put_attribute(ber, mod);
        if (rc == kSuccess && with_operation_codes)
            rc = put(ber, "}");
        if (rc != kSuccess)
            return rc;
    }
    return put(ber, "}}");
}

// [APPLICATION 12] { OCTET STRING dn, OCTET STRING newrdn, BOOLEAN
// deleteoldrdn, [0] newSuperior OPTIONAL }: "{t{ssb", then "ts" with [0]
// when a new superior is given, "}". Opens the operation's SEQUENCE.
int put_rename(BerElement* ber, const char* dn, const lburp_rename& rename)
{
    int rc = put(ber, "{t{ssb", static_cast<ber_tag_t>(LBURP_OP_RENAME), dn, rename.new_rdn,
                 static_cast<ber_int_t>(rename.delete_old_rdn != 0));
    if (rc == kSuccess && rename.new_superior != nullptr)
        rc = put(ber, "ts", kNewSuperiorTag, rename.new_superior);
    if (rc == kSuccess)
        rc = put(ber, "}");
    return rc;
}

// One operation: SEQUENCE { protocol operation, [0] controls OPTIONAL }.
// The delete is "{ts": [APPLICATION 10] holds the dn as a primitive string.
// Nothing follows the controls but the SEQUENCE's end.
int put_operation(BerElement* ber, const lburp_operation& operation)
{
    int rc = kSuccess;
    switch (operation.type) {
    case LBURP_OP_ADD:
        rc = put_changes(ber, operation, false);
        break;
    case LBURP_OP_MODIFY:
        rc = put_changes(ber, operation, true);
        break;
    case LBURP_OP_DELETE:
        rc = put(ber, "{ts", static_cast<ber_tag_t>(operation.type), operation.dn);
        break;
    case LBURP_OP_RENAME: {
        // The plain rename keeps the old RDN's values and the parent.
        const lburp_rename plain{static_cast<char*>(operation.specific), 0, nullptr};
        rc = put_rename(ber, operation.dn, plain);
        break;
    }
    case LBURP_OP_RENAME_EXTENDED:
        rc = put_rename(ber, operation.dn, *static_cast<const lburp_rename*>(operation.specific));
        break;
    default:
        return kNotSupported;
    }
    if (rc == kSuccess)
        rc = put_controls(ber, operation.controls);
    if (rc == kSuccess)
        rc = put(ber, "}");
    return rc;
}

// SEQUENCE { INTEGER sequence_number, operation ... }: "{i", the operations
// in array order, "}".
int encode_batch(BerElement* ber, int sequence_number, lburp_operation** operations)
{
    if (int rc = put(ber, "{i", sequence_number); rc != kSuccess)
        return rc;
    for (lburp_operation** operation = operations; *operation != nullptr; ++operation)
        if (int rc = put_operation(ber, **operation); rc != kSuccess)
            return rc;
    return put(ber, "}");
}

// Start response value: SEQUENCE { INTEGER start_value }, "{i}".
int decode_start_value(const berval& value, int* start_value)
{
    ber_int_t number = 0;
    if (int rc = scan_value(value, kDecodingError, "{i}", &number); rc != kSuccess)
        return rc;
    *start_value = number;
    return kSuccess;
}

// Reads the final response and checks its name; decode (optional) gets the
// value, NULL when the response carries none.
int parse_lburp_response(LDAP* ld, LDAPMessage* result, int* result_code, char** error_message, int freeit,
                         const char* expected_name, FunctionRef<int(const berval*)> decode)
{
    ExtendedResponse response;
    if (int rc = read_extended_response(ld, result, result_code, error_message, freeit, response); rc != kSuccess)
        return rc;
    if (!response.name || !same_name(response.name.get(), expected_name))
        return kNotSupported;
    return decode ? decode(response.value.get()) : kSuccess;
}

// The results of an operation response while they are read: always room for
// one entry more than it holds, the spare one zeroed; what it still holds is
// released when it goes.
class ResultArray {
public:
    ResultArray(const ResultArray&) = delete;
    ResultArray& operator=(const ResultArray&) = delete;
    ResultArray() = default;
    ~ResultArray() { release_operation_results(entries_, count_); }

    // Makes room for the first entry; false when memory is short.
    bool start() { return reserve(1); }
    // Counts the entry in the spare place and makes room for the next one;
    // false when memory is short (the entry is counted, and so released).
    bool append(int operation_number, int result_code, char* error_message)
    {
        entries_[count_] = {operation_number, result_code, error_message};
        ++count_;
        return count_ < std::numeric_limits<int>::max() && reserve(static_cast<std::size_t>(count_) + 1);
    }
    void hand_out(int* result_count, lburp_operation_result** results)
    {
        *results = entries_;
        *result_count = count_;
        entries_ = nullptr;
        count_ = 0;
    }

private:
    // Capacity grows geometrically: reading n entries costs O(n), not O(n^2).
    bool reserve(std::size_t needed)
    {
        if (needed <= capacity_)
            return true;
        std::size_t grown = std::max(needed, capacity_ * 2);
        void* block = reallocate(entries_, grown, sizeof(lburp_operation_result));
        if (block == nullptr)
            return false;
        entries_ = static_cast<lburp_operation_result*>(block);
        std::memset(entries_ + capacity_, 0, (grown - capacity_) * sizeof(lburp_operation_result));
        capacity_ = grown;
        return true;
    }

    lburp_operation_result* entries_ = nullptr;
    int count_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace

namespace tervane {

void release_operation_results(lburp_operation_result* results, int result_count)
{
    if (results == nullptr)
        return;
    for (int i = 0; i < result_count; ++i)
        ldap_memfree(results[i].error_message);
    release(results);
}

// Entries follow one another until the value ends, each read as "{i" (the
// operation number) then "{i" (the result code) and two strings, whose tags
// are checked (matched name, error message):
// SEQUENCE { INTEGER operation, SEQUENCE { INTEGER result, OCTET STRING
// matched, OCTET STRING message } }. An entry that ends after its number is
// not counted. The matched names are not kept.
int decode_operation_response(const berval& value, int* result_count, lburp_operation_result** results)
{
    *results = nullptr;
    *result_count = 0;
    ResultArray entries;
    // Zero bytes hold no entry (and liblber must never see them).
    if (value.bv_len == 0 || value.bv_val == nullptr) {
        if (!entries.start())
            return kNoMemory;
        entries.hand_out(result_count, results);
        return kSuccess;
    }
    ValueDecoder decoder(value, kDecodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    if (!entries.start())
        return kNoMemory;
    while (decoder.peek() != LBER_DEFAULT) {
        ber_int_t operation_number = 0;
        if (!decoder.scan("{i", &operation_number))
            return kDecodingError;
        if (decoder.peek() == LBER_DEFAULT) {
            if (decoder.cut())
                return kDecodingError;
            break;
        }
        ber_int_t result_code = 0;
        LdapString matched;
        LdapString message;
        if (!decoder.scan("{i", &result_code) || !decoder.scan_string(matched) || !decoder.scan_string(message))
            return kDecodingError;
        if (!entries.append(operation_number, result_code, message.release()))
            return kNoMemory;
    }
    if (decoder.cut())
        return kDecodingError;
    entries.hand_out(result_count, results);
    return kSuccess;
}

}  // namespace tervane

// Request value: SEQUENCE { OCTET STRING protocol name }, "{s}".
TERVANE_API int TERVANE_CALL ldap_lburp_start_request(LDAP* ld, int* msgid)
{
    return send_exop(
        ld, ops::lburp_start, [](BerElement* ber) { return put(ber, "{s}", ops::lburp_protocol); }, msgid);
}

TERVANE_API int TERVANE_CALL ldap_lburp_operation_request(LDAP* ld, int sequence_number,
                                                          lburp_operation** operations, int* msgid)
{
    if (operations == nullptr)
        return kParamError;
    for (lburp_operation** operation = operations; *operation != nullptr; ++operation)
        if (!operation_complete(**operation))
            return kParamError;
    return send_exop(
        ld, ops::lburp_operation,
        [&](BerElement* ber) { return encode_batch(ber, sequence_number, operations); }, msgid);
}

// Request value: SEQUENCE { INTEGER sequence_number }, "{i}", in DER.
TERVANE_API int TERVANE_CALL ldap_lburp_end_request(LDAP* ld, int sequence_number, int* msgid)
{
    return send_exop(
        ld, ops::lburp_end, [&](BerElement* ber) { return put(ber, "{i}", sequence_number); }, msgid);
}

TERVANE_API int TERVANE_CALL ldap_parse_lburp_start_response(LDAP* ld, LDAPMessage* result, int* result_code,
                                                             char** error_message, int* start_value, int freeit)
{
    if (ld == nullptr)
        return kParamError;
    if (result == nullptr)
        return record_result(ld, kParamError);
    int rc = parse_lburp_response(ld, result, result_code, error_message, freeit, ops::lburp_start.response_name,
                                  [&](const berval* value) {
                                      if (value == nullptr)
                                          return kSuccess;
                                      if (start_value == nullptr)
                                          return kParamError;
                                      return decode_start_value(*value, start_value);
                                  });
    return record_result(ld, rc);
}

TERVANE_API int TERVANE_CALL ldap_parse_lburp_operation_response(LDAP* ld, LDAPMessage* result, int* result_code,
                                                                 char** error_message, int* result_count,
                                                                 lburp_operation_result** results, int freeit)
{
    if (results != nullptr)
        *results = nullptr;
    if (result_count != nullptr)
        *result_count = 0;
    if (ld == nullptr)
        return kParamError;
    if (result == nullptr)
        return record_result(ld, kParamError);
    int rc = parse_lburp_response(ld, result, result_code, error_message, freeit,
                                  ops::lburp_operation.response_name, [&](const berval* value) {
                                      if (value == nullptr || results == nullptr || result_count == nullptr)
                                          return kSuccess;
                                      return decode_operation_response(*value, result_count, results);
                                  });
    // 80 ("other") from the result-parsing calls does not fail the batch: it
    // reads as 0.
    if (rc == kOther)
        rc = kSuccess;
    return record_result(ld, rc);
}

TERVANE_API int TERVANE_CALL ldap_parse_lburp_end_response(LDAP* ld, LDAPMessage* result, int* result_code,
                                                           char** error_message, int freeit)
{
    if (ld == nullptr)
        return kParamError;
    if (result == nullptr)
        return record_result(ld, kParamError);
    return record_result(ld, parse_lburp_response(ld, result, result_code, error_message, freeit,
                                                  ops::lburp_end.response_name, nullptr));
}
