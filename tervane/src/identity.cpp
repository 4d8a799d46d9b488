// Who the connection is bound as, effective privileges, and name conversion.
#include <cstring>
#include <limits>

#include "exop_frame.h"
#include "memory.h"
#include "operations.h"
#include "tervane.h"

using namespace tervane;

namespace {

// A bound DN longer than this is cut to this many bytes.
constexpr std::size_t kBindDnLimit = 771;

// Response value: OCTET STRING, copied into a new string of Tervane's.
int decode_string(const berval& value, std::size_t limit, char** result)
{
    ValueDecoder decoder(value, kEncodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    BervalPtr text;
    if (decoder.peek() != kOctetString || !decoder.scan("O", out(text).get()))
        return kEncodingError;
    return copy_out_string(*text, limit, result);
}

std::size_t count_strings(char** strings)
{
    std::size_t count = 0;
    while (strings[count] != nullptr)
        ++count;
    return count;
}

// Response value: SEQUENCE { SEQUENCE { INTEGER count }, SET { SEQUENCE {
// INTEGER privileges } ... } }. At most `capacity` entries may be written; a
// server announcing more is refused before anything is written.
int decode_privileges_list(const berval& value, std::size_t capacity, int* privileges)
{
    ValueDecoder decoder(value, kEncodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    ber_int_t count = 0;
    if (!decoder.scan("{{i}[", &count))
        return kEncodingError;
    if (count > 0 && static_cast<std::size_t>(count) > capacity)
        return kDecodingError;
    for (ber_int_t i = 0; i < count; ++i) {
        privileges[i] = 0;
        ber_int_t entry = 0;
        if (!decoder.scan("{i}", &entry))
            return kEncodingError;
        privileges[i] = entry;
    }
    return kSuccess;
}

// The vorn name as big-endian 16-bit units including a zero terminator unit.
int encode_vorn_name(BerElement* ber, const unsigned short* name)
{
    std::size_t units = 0;
    while (name[units] != 0)
        ++units;
    if (units >= std::numeric_limits<std::size_t>::max() / 2 - 1)
        return kNoMemory;
    std::size_t bytes = 2 * units + 2;
    Owned<unsigned char> buffer(static_cast<unsigned char*>(allocate(bytes)));
    if (!buffer)
        return kNoMemory;
    for (std::size_t i = 0; i <= units; ++i) {
        buffer.get()[2 * i] = static_cast<unsigned char>(name[i] >> 8);
        buffer.get()[2 * i + 1] = static_cast<unsigned char>(name[i] & 0xFF);
    }
    return put(ber, "o", reinterpret_cast<const char*>(buffer.get()), static_cast<ber_len_t>(bytes));
}

}  // namespace

TERVANE_API int TERVANE_CALL ldap_get_bind_dn(LDAP* ld, char** dn)
{
    if (any_null(dn))
        return kParamError;
    return call_exop(ld, ops::get_bind_dn, nullptr,
                     [&](const berval& value) { return decode_string(value, kBindDnLimit, dn); });
}

TERVANE_API int TERVANE_CALL ldap_get_context_identity_name(LDAP* ld, char** dn) { return ldap_get_bind_dn(ld, dn); }

TERVANE_API int TERVANE_CALL ldap_get_effective_privileges(LDAP* ld, char* dn, char* subject_dn, char* attribute,
                                                           int* privileges)
{
    if (any_null(dn, subject_dn, attribute, privileges))
        return kParamError;
    return call_exop(
        ld, ops::get_effective_privileges,
        [&](BerElement* ber) { return put(ber, "sss", dn, subject_dn, attribute); },
        [&](const berval& value) { return scan_value(value, kEncodingError, "i", privileges); });
}

TERVANE_API int TERVANE_CALL ldap_get_effective_privileges_list(LDAP* ld, char* dn, char* subject_dn,
                                                                char** attributes, int* privileges)
{
    if (any_null(dn, subject_dn, attributes, privileges))
        return kParamError;
    std::size_t capacity = count_strings(attributes);
    return call_exop(
        ld, ops::get_effective_privileges_list,
        [&](BerElement* ber) { return put(ber, "ss{v}", dn, subject_dn, attributes); },
        [&](const berval& value) { return decode_privileges_list(value, capacity, privileges); });
}

TERVANE_API int TERVANE_CALL ldap_vorn_to_ldap(LDAP* ld, const unsigned short* vorn_name, char** ldap_dn)
{
    if (any_null(vorn_name, ldap_dn))
        return kParamError;
    return call_exop(
        ld, ops::vorn_to_ldap, [&](BerElement* ber) { return encode_vorn_name(ber, vorn_name); },
        [&](const berval& value) { return decode_string(value, std::numeric_limits<std::size_t>::max(), ldap_dn); });
}

TERVANE_API int TERVANE_CALL ldap_dns_to_x500_dn(LDAP* ld, char* dns_name, char** dn)
{
    if (any_null(dns_name, dn))
        return kParamError;
    return call_exop(
        ld, ops::dns_to_x500_dn, [&](BerElement* ber) { return put(ber, "s", dns_name); },
        [&](const berval& value) { return decode_string(value, std::numeric_limits<std::size_t>::max(), dn); });
}

TERVANE_API int TERVANE_CALL ldap_refresh_server(LDAP* ld) { return call_exop(ld, ops::refresh_server, nullptr, nullptr); }
