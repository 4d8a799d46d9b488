// Object backup and restore in the server's own backup form. A backup may
// take several calls; the state text "n+m" carries the server's two numbers
// from one call to the next.
#include "backup.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "memory.h"
#include "operations.h"
#include "tervane.h"

namespace tervane {

namespace {

char kEmpty[] = "";

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The decimal integer at the start of [begin, end), as atoi reads one: blanks,
// a sign, digits up to the first other character; 0 when there are none.
// Saturates instead of overflowing.
int parse_decimal(const char* begin, const char* end)
{
    while (begin != end && is_space(*begin))
        ++begin;
    bool negative = false;
    if (begin != end && (*begin == '-' || *begin == '+'))
        negative = *begin++ == '-';
    long long value = 0;
    for (; begin != end && *begin >= '0' && *begin <= '9'; ++begin) {
        value = value * 10 + (*begin - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

// "n+m": the numbers before and after the first '+'. False unless both are
// non-zero.
bool parse_state(const char* text, int& first, int& second)
{
    const char* plus = std::strchr(text, '+');
    if (plus == nullptr)
        return false;
    first = parse_decimal(text, plus);
    second = parse_decimal(plus + 1, plus + std::strlen(plus));
    return first != 0 && second != 0;
}

// A NUL-terminated text in Tervane's allocator that grows geometrically.
class GrowingText {
public:
    bool append_number(int number)
    {
        char digits[16];
        int length = std::snprintf(digits, sizeof digits, "%d;", number);
        return append(digits, static_cast<std::size_t>(length));
    }

    bool append(const char* text, std::size_t length)
    {
        if (used_ + length + 1 > capacity_) {
            std::size_t wanted = capacity_ < 32 ? 32 : capacity_ * 2;
            while (wanted < used_ + length + 1)
                wanted *= 2;
            auto* grown = static_cast<char*>(reallocate(buffer_.get(), wanted, 1));
            if (grown == nullptr)
                return false;
            (void)buffer_.release();
            buffer_.reset(grown);
            capacity_ = wanted;
        }
        std::memcpy(buffer_.get() + used_, text, length);
        used_ += length;
        buffer_.get()[used_] = '\0';
        return true;
    }

    Owned<char> take() { return std::move(buffer_); }

private:
    Owned<char> buffer_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

// Calls visit(begin, end) for every non-empty item of a ';'-separated list.
template <class Visit>
int for_each_item(const char* list, Visit visit)
{
    while (*list != '\0') {
        const char* end = list;
        while (*end != '\0' && *end != ';')
            ++end;
        if (end != list)
            if (int rc = visit(list, end); rc != kSuccess)
                return rc;
        list = *end == ';' ? end + 1 : end;
    }
    return kSuccess;
}

// Request value: OCTET STRING dn, OCTET STRING extra, INTEGER data_length,
// OCTET STRING object data, SEQUENCE { INTEGER count, SET { SEQUENCE {
// INTEGER size } ... } } with the count and sizes from the size list as
// written (the count is not compared with the number of sizes).
int encode_restore_request(BerElement* ber, char* dn, char* extra, char* object_data, char* size_list,
                           int data_length)
{
    if (int rc = put(ber, "ssio", dn, extra, data_length, object_data, static_cast<ber_len_t>(data_length));
        rc != kSuccess)
        return rc;
    bool first = true;
    int rc = for_each_item(size_list, [&](const char* begin, const char* end) {
        int number = parse_decimal(begin, end);
        int result = put(ber, first ? "{i[" : "{i}", number);
        first = false;
        return result;
    });
    if (rc != kSuccess)
        return rc;
    if (first)
        return kParamError;  // no count at all
    return put(ber, "]}");
}

}  // namespace

int decode_backup_response(const berval& value, int* data_length, BackupResponse& response)
{
    // INTEGER data_length, INTEGER state1, INTEGER state2, OCTET STRING data,
    // SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER size } ... } }
    ValueDecoder decoder(value, kDecodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    if (!decoder.scan("i", data_length) || !decoder.scan("ii", &response.state1, &response.state2))
        return kDecodingError;
    BervalPtr data;
    if (decoder.peek() != kOctetString || !decoder.scan("O", out(data).get()))
        return kDecodingError;
    // Never read past the OCTET STRING, whatever length was announced.
    if (*data_length < 0 || static_cast<ber_len_t>(*data_length) > data->bv_len)
        return kDecodingError;
    ber_int_t count = 0;
    if (decoder.peek() != kSequence || !decoder.scan("{i[", &count))
        return kDecodingError;

    GrowingText sizes;
    if (!sizes.append_number(count))
        return kNoMemory;
    for (ber_int_t i = 0; i < count; ++i) {
        ber_int_t size = 0;
        if (!decoder.scan("{i}", &size))
            return kDecodingError;
        if (!sizes.append_number(size))
            return kNoMemory;
    }

    Owned<char> block(static_cast<char*>(allocate(static_cast<std::size_t>(*data_length))));
    if (!block)
        return kNoMemory;
    if (*data_length != 0)
        std::memcpy(block.get(), data->bv_val, static_cast<std::size_t>(*data_length));
    response.data = std::move(block);
    response.size_list = sizes.take();
    return kSuccess;
}

}  // namespace tervane

using namespace tervane;

// Request value: OCTET STRING dn, INTEGER state1, INTEGER state2, OCTET
// STRING extra ("" when NULL).
TERVANE_API int TERVANE_CALL ldap_backup_object(LDAP* ld, char* dn, char* extra, char** state, char** object_data,
                                                char** size_list, int* data_length)
{
    if (any_null(dn, state, object_data, size_list, data_length))
        return kParamError;
    int state1 = 0;
    int state2 = 0;
    return call_exop(
        ld, ops::backup_object,
        [&](BerElement* ber) -> Encoded {
            if (*state != nullptr && !parse_state(*state, state1, state2))
                return Encoded::refused(kEncodingError);
            return put(ber, "siis", dn, state1, state2, extra != nullptr ? extra : kEmpty);
        },
        [&](const berval& value) {
            BackupResponse response;
            if (int rc = decode_backup_response(value, data_length, response); rc != kSuccess)
                return rc;
            char digits[32];
            int length = std::snprintf(digits, sizeof digits, "%d+%d", response.state1, response.state2);
            Owned<char> next_state(copy_string(digits, static_cast<std::size_t>(length)));
            if (!next_state)
                return kNoMemory;
            // Everything is allocated: hand the outputs over together.
            *object_data = response.data.release();
            *size_list = response.size_list.release();
            release(*state);
            *state = next_state.release();
            return kSuccess;
        });
}

TERVANE_API int TERVANE_CALL ldap_restore_object(LDAP* ld, char* dn, char* extra, char* object_data,
                                                 char* size_list, int data_length)
{
    if (any_null(dn, object_data, size_list) || data_length < 0)
        return kParamError;
    return call_exop(
        ld, ops::restore_object,
        [&](BerElement* ber) {
            return encode_restore_request(ber, dn, extra != nullptr ? extra : kEmpty, object_data, size_list,
                                          data_length);
        },
        nullptr);
}
