// Event records: decoding of event notifications and release of the records.
// Each layout is described once, as a list of field descriptions in wire
// order (event_layouts.*); one set of field readers, here, decodes every
// layout into a record block (event_record_blocks.*). Decoding is
// sequential: nesting is not tracked beyond what a field says, and the first
// failing field ends the record.
#include "event_records.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <type_traits>

#include "event_layouts.h"
#include "event_record_blocks.h"
#include "exop_frame.h"
#include "extended_result.h"
#include "memory.h"
#include "operations.h"

namespace tervane {
namespace {

using namespace layouts;
using namespace records;

static_assert(std::is_same_v<ber_int_t, int>, "record integers are filled by ber_scanf \"i\"");

// ---- Field readers -----------------------------------------------------------

// What every reader works with: the decoder, and the room of the record
// being filled, from which every string, list and array of it is taken.
struct Reader {
    ValueDecoder& decoder;
    Room& room;
};

// The smallest number of bytes that one element of each server-counted array
// takes on the wire ("{i" and an OCTET STRING; a tag and an INTEGER; "{iii}";
// an element of a string list: a header and an OCTET STRING's). A count that
// the remaining bytes cannot hold is refused before anything is taken for it.
constexpr ber_len_t kMinimumCountedValueBytes = 6;
constexpr ber_len_t kMinimumTypedValueBytes = 2;
constexpr ber_len_t kMinimumTripleBytes = 8;
constexpr ber_len_t kMinimumListElementBytes = 4;

bool fits(const ValueDecoder& decoder, int count, ber_len_t minimum_bytes)
{
    return static_cast<ber_len_t>(count) <= decoder.remaining() / minimum_bytes;
}

// Server counts below zero stand for no elements.
int element_count(int count) { return count < 0 ? 0 : count; }

int read_integer(ValueDecoder& decoder, int* out)
{
    return decoder.scan("i", out) ? kSuccess : kDecodingError;
}

// OCTET STRING with `tag`, copied into the record's room: *data is the copy
// (NULL for an empty string, which is consumed), *length its size. One call
// finds the element's tag and bytes in place and moves past it; an element
// of another tag ends the decoding, so consuming it changes nothing.
int read_octets(Reader& in, ber_tag_t tag, char** data, ber_len_t* length)
{
    berval bytes{};
    if (ber_skip_element(in.decoder.ber(), &bytes) != tag)
        return kDecodingError;
    *length = bytes.bv_len;
    if (bytes.bv_len == 0)
        return kSuccess;
    char* copy = in.room.copy(bytes);
    if (copy == nullptr)
        return kNoMemory;
    *data = copy;
    return kSuccess;
}

int read_text(Reader& in, ber_tag_t tag, char** text)
{
    ber_len_t ignored = 0;
    return read_octets(in, tag, text, &ignored);
}

int read_counted(Reader& in, ber_tag_t tag, int* length, char** data)
{
    ber_len_t delivered = 0;
    int result = read_octets(in, tag, data, &delivered);
    if (result == kSuccess && delivered > static_cast<ber_len_t>(INT_MAX))
        result = kDecodingError;
    if (result == kSuccess)
        *length = static_cast<int>(delivered);
    return result;
}

// "{iii}"
int read_triple(ValueDecoder& decoder, int* first, int* second, int* third)
{
    return decoder.scan("{iii}", first, second, third) ? kSuccess : kDecodingError;
}

// SEQUENCE { INTEGER number1, INTEGER number2, OCTET STRING text }; absent
// when the data has ended. Closing braces are never read here: liblber's "}"
// does nothing.
int read_prefix(Reader& in, event_prefix** field)
{
    if (!in.decoder.scan("{"))
        return kSuccess;
    auto* prefix = in.room.take_zeroed<event_prefix>(1);
    if (prefix == nullptr)
        return kNoMemory;
    *field = prefix;
    if (!in.decoder.scan("ii", &prefix->number1, &prefix->number2))
        return kDecodingError;
    return read_text(in, kOctetString, &prefix->text);
}

// "{" then the first element of the SEQUENCE, which must be an OCTET STRING;
// the rest of the element is skipped, so the next element of the list is
// found whatever else an element carries.
bool read_first_string(ValueDecoder& decoder, berval* text)
{
    ber_len_t length = 0;
    if (ber_skip_tag(decoder.ber(), &length) == LBER_DEFAULT || length == 0)
        return false;
    ber_len_t left = decoder.remaining();
    if (length > left)
        return false;
    ber_len_t end = left - length;  // what remains once the element is read
    if (ber_skip_element(decoder.ber(), text) != kOctetString || decoder.remaining() < end)
        return false;
    while (decoder.remaining() > end)
        if (!decoder.scan("x") || decoder.remaining() < end)
            return false;
    return true;
}

// SEQUENCE OF SEQUENCE { OCTET STRING, ... }: the first string of every
// element, copied, in a NULL-terminated array. No bytes left: no list. The
// array is taken once, for as many elements as the list's bytes can start.
int read_list(Reader& in, event_string_list* field)
{
    ber_len_t bytes = 0;
    if (in.decoder.remaining() == 0)
        return kSuccess;
    if (in.decoder.peek(&bytes) == LBER_DEFAULT)
        return kDecodingError;
    // Elements start kMinimumListElementBytes apart at least, all before the
    // list's end; the last of them may reach beyond it. Then the terminator.
    const ber_len_t capacity = std::min(bytes, in.decoder.remaining()) / kMinimumListElementBytes + 2;
    auto* items = static_cast<char**>(in.room.take(capacity * sizeof(char*), alignof(char*)));
    if (items == nullptr)
        return kNoMemory;
    std::size_t count = 0;
    ElementWalk walk(in.decoder);
    for (ber_tag_t tag = walk.next(); tag != LBER_DEFAULT; tag = walk.next()) {
        berval text{};
        if (count + 1 == capacity || !read_first_string(in.decoder, &text))
            return kDecodingError;
        items[count] = in.room.copy(text);
        if (items[count] == nullptr)
            return kNoMemory;
        ++count;
    }
    if (walk.cut())
        return kDecodingError;
    items[count] = nullptr;
    *field = items;
    return kSuccess;
}

// Layout 1's data position: a non-empty OCTET STRING is copied; whatever else
// stands there (an empty string, another element, nothing) is skipped whole.
int read_data_position(Reader& in, char** data)
{
    ber_len_t length = 0;
    if (in.decoder.peek(&length) == kOctetString && length != 0)
        return read_text(in, kOctetString, data);
    in.decoder.scan("x");
    return kSuccess;
}

// SEQUENCE { INTEGER count, SEQUENCE { SEQUENCE { INTEGER type, OCTET STRING
// value } ... } }; absent when the data has ended. The closing braces are not
// read.
int read_value_list(Reader& in, int* count_field, event_counted_value** field)
{
    if (!in.decoder.scan("{"))
        return kSuccess;
    int count = 0;
    if (!in.decoder.scan("i{", &count))
        return kDecodingError;
    count = element_count(count);
    if (!fits(in.decoder, count, kMinimumCountedValueBytes))
        return kDecodingError;
    auto* values = in.room.take_zeroed<event_counted_value>(static_cast<std::size_t>(count));
    if (values == nullptr)
        return kNoMemory;
    *field = values;
    *count_field = count;
    for (int i = 0; i < count; ++i) {
        event_counted_value& entry = values[i];
        int result = in.decoder.scan("{i", &entry.type) ? read_counted(in, kOctetString, &entry.length, &entry.data)
                                                       : kDecodingError;
        if (result != kSuccess) {
            entry.length = 0;
            return result;
        }
    }
    return kSuccess;
}

// OCTET STRING of size - 1 bytes at most (and `minimum` at least) into a
// fixed array of the record.
int read_fixed_text(ValueDecoder& decoder, char* array, std::size_t size, std::size_t minimum)
{
    ber_len_t length = 0;
    if (decoder.peek(&length) != kOctetString || length < minimum || length >= size)
        return kDecodingError;
    ber_len_t room = size;
    return decoder.scan("s", array, &room) ? kSuccess : kDecodingError;
}

// [tag] header, then the INTEGERs (or OCTET STRINGs) that follow it, into the
// record's array of `capacity`; one more than that is refused.
int read_group(Reader& in, const Field& field, std::byte* record)
{
    ber_len_t length = 0;
    if (ber_skip_tag(in.decoder.ber(), &length) == LBER_DEFAULT)
        return kDecodingError;
    for (std::uint16_t filled = 0; in.decoder.peek() == field.tag; ++filled) {
        if (filled == field.count)
            return kDecodingError;
        int result = field.kind == Kind::integer_group
                         ? read_integer(in.decoder, &member<int>(record, field.at[0] + filled * sizeof(int)))
                         : read_text(in, kOctetString, &member<char*>(record, field.at[0] + filled * sizeof(char*)));
        if (result != kSuccess)
            return result;
    }
    return kSuccess;
}

// Layout 13's value: the element's tag says what it holds and must agree
// with the kind read before it. [0x81] and [0x82] INTEGER, [0x83] counted
// string, [0x84] string; [0x85] is left unread.
int read_kind_union(Reader& in, event_record_13& record)
{
    static constexpr struct {
        ber_tag_t tag;
        int kind;
    } kinds[] = {{0x81, 5}, {0x82, 2}, {0x83, 1}, {0x84, 3}, {0x85, 0}};
    ber_tag_t tag = in.decoder.peek();
    for (const auto& entry : kinds) {
        if (entry.tag != tag)
            continue;
        if (entry.kind != record.kind)
            return kDecodingError;
        switch (entry.kind) {
        case 5:
        case 2:
            return read_integer(in.decoder, &record.value.number);
        case 1:
            return read_counted(in, tag, &record.value.length, &record.data);
        case 3:
            return read_text(in, tag, &record.value.text);
        default:
            return kSuccess;
        }
    }
    return kDecodingError;
}

// One typed value, chosen by its tag (tervane.h lists what each kind fills):
// [0x81] INTEGER, [0x82] string, [0x83] counted string, [0x84] INTEGER,
// [0x85] { INTEGER, OCTET STRING }, [0x86] { INTEGER x3 },
// [0x87] { INTEGER count, { { INTEGER x3 } ... } }.
int read_typed_value(Reader& in, event_typed_value& value)
{
    ber_tag_t tag = in.decoder.peek();
    if (tag < 0x81 || tag > 0x87)
        return kDecodingError;
    value.kind = static_cast<int>(tag - 0x80);
    switch (value.kind) {
    case 1:
    case 4:
        return read_integer(in.decoder, &value.value1.number);
    case 2:
        return read_text(in, tag, &value.value1.text);
    case 3:
        return read_counted(in, tag, &value.value1.number, &value.value2.text);
    case 5:
        if (!in.decoder.scan("{i", &value.value1.number))
            return kDecodingError;
        return read_counted(in, kOctetString, &value.value2.number, &value.value3.text);
    case 6:
        return read_triple(in.decoder, &value.value1.number, &value.value2.number, &value.value3.number);
    default: {
        int count = 0;
        if (!in.decoder.scan("{i{", &count))
            return kDecodingError;
        count = element_count(count);
        value.value1.number = count;
        if (!fits(in.decoder, count, kMinimumTripleBytes))
            return kDecodingError;
        auto* triples = in.room.take_zeroed<event_triple>(static_cast<std::size_t>(count));
        if (triples == nullptr)
            return kNoMemory;
        value.value2.triples = triples;
        for (int i = 0; i < count; ++i)
            if (int result = read_triple(in.decoder, &triples[i].triple1, &triples[i].triple2, &triples[i].triple3);
                result != kSuccess)
                return result;
        return kSuccess;
    }
    }
}

// `count` typed values (the count was read with the numbers before it) in a
// SEQUENCE; nothing is read when the count is not positive.
int read_typed_values(Reader& in, int* count_field, event_typed_value** field)
{
    int count = element_count(*count_field);
    *count_field = count;
    if (count == 0)
        return kSuccess;
    if (!fits(in.decoder, count, kMinimumTypedValueBytes))
        return kDecodingError;
    auto* values = in.room.take_zeroed<event_typed_value>(static_cast<std::size_t>(count));
    if (values == nullptr)
        return kNoMemory;
    *field = values;
    if (!in.decoder.scan("{"))
        return kDecodingError;
    for (int i = 0; i < count; ++i)
        if (int result = read_typed_value(in, values[i]); result != kSuccess)
            return result;
    return kSuccess;
}

// INTEGER value, OCTET STRING bytes (layout 8, and the trailer): the value
// and the bytes in place, which a record must be able to hold.
int read_inline_pair(ValueDecoder& decoder, int* value, berval* bytes)
{
    if (!decoder.scan("i", value) || ber_skip_element(decoder.ber(), bytes) != kOctetString ||
        bytes->bv_len > static_cast<ber_len_t>(INT_MAX))
        return kDecodingError;
    return kSuccess;
}

// Layout 8: one block holding value, length and the bytes themselves,
// NUL-terminated.
int read_inline_bytes(ValueDecoder& decoder, ber_tag_t tag, RecordPtr& out)
{
    int value = 0;
    berval bytes{};
    if (int result = read_inline_pair(decoder, &value, &bytes); result != kSuccess)
        return result;
    std::size_t size = offsetof(event_record_8, data) + bytes.bv_len + 1;
    out.reset(new_record(tag, size < sizeof(event_record_8) ? sizeof(event_record_8) : size, 0, nullptr));
    if (!out)
        return kNoMemory;
    event_record_8& record = out->r8;
    record.value = value;
    record.length = static_cast<int>(bytes.bv_len);
    if (bytes.bv_len != 0)
        std::memcpy(record.data, bytes.bv_val, bytes.bv_len);
    record.data[bytes.bv_len] = '\0';
    return kSuccess;
}

int read_integers(ValueDecoder& decoder, const Field& field, std::byte* record)
{
    int values[4] = {};
    bool read = false;
    switch (field.count) {
    case 2:
        read = decoder.scan("ii", &values[0], &values[1]);
        break;
    case 3:
        read = decoder.scan("iii", &values[0], &values[1], &values[2]);
        break;
    default:
        read = decoder.scan("iiii", &values[0], &values[1], &values[2], &values[3]);
        break;
    }
    if (!read)
        return kDecodingError;
    for (std::uint16_t i = 0; i < field.count; ++i)
        member<int>(record, field.at[i]) = values[i];
    return kSuccess;
}

int read_field(Reader& in, const Field& field, std::byte* record)
{
    switch (field.kind) {
    case Kind::integer:
        return read_integer(in.decoder, &member<int>(record, field.at[0]));
    case Kind::integers:
        return read_integers(in.decoder, field, record);
    case Kind::text:
        return read_text(in, field.tag, &member<char*>(record, field.at[0]));
    case Kind::counted:
        return read_counted(in, field.tag, &member<int>(record, field.at[0]), &member<char*>(record, field.at[1]));
    case Kind::triple:
        return read_triple(in.decoder, &member<int>(record, field.at[0]), &member<int>(record, field.at[1]),
                           &member<int>(record, field.at[2]));
    case Kind::prefix:
        return read_prefix(in, &member<event_prefix*>(record, field.at[0]));
    case Kind::list:
        return read_list(in, &member<event_string_list>(record, field.at[0]));
    case Kind::data_position:
        return read_data_position(in, &member<char*>(record, field.at[0]));
    case Kind::value_list:
        return read_value_list(in, &member<int>(record, field.at[0]),
                               &member<event_counted_value*>(record, field.at[1]));
    case Kind::fixed_text:
        return read_fixed_text(in.decoder, &member<char>(record, field.at[0]), field.count, field.minimum);
    case Kind::integer_group:
    case Kind::text_group:
        return read_group(in, field, record);
    case Kind::kind_union:
        return read_kind_union(in, *reinterpret_cast<event_record_13*>(record));
    case Kind::typed_values:
        return read_typed_values(in, &member<int>(record, field.at[0]),
                                 &member<event_typed_value*>(record, field.at[1]));
    case Kind::inline_bytes:
        break;  // the block itself: see decode_record
    }
    return kDecodingError;
}

// The fields of `layout` in wire order into a new record in out; out holds
// the record (possibly half-filled) whatever the result. The record's room
// is as large as the bytes left plus kExtraRoom: the copies of its strings
// never need more than the bytes they come from.
int decode_record(ValueDecoder& decoder, const Layout& layout, RecordPtr& out)
{
    if (layout.fields.front().kind == Kind::inline_bytes)
        return read_inline_bytes(decoder, layout.tag, out);
    Room room;
    out.reset(new_record(layout.tag, layout.size, decoder.remaining() + kExtraRoom, &room));
    if (!out)
        return kNoMemory;
    Reader in{decoder, room};
    auto* record = reinterpret_cast<std::byte*>(out.get());
    for (const Field& field : layout.fields) {
        if (field.only_if != 0 && decoder.peek() != field.only_if)
            continue;
        if (int result = read_field(in, field, record); result != kSuccess)
            return field.failure_is_decoding_error ? kDecodingError : result;
    }
    return kSuccess;
}

}  // namespace

int decode_event_notification(const berval& value, int* event_type, int* event_result, event_record** data)
{
    if (data != nullptr)
        *data = nullptr;
    ValueDecoder decoder(value, kDecodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    if (!decoder.scan("{ii", event_type, event_result))
        return kDecodingError;
    if (data == nullptr)
        return kSuccess;

    ber_len_t length = 0;
    const Layout* layout = find_layout(ber_skip_tag(decoder.ber(), &length));
    if (layout == nullptr)
        return kSuccess;
    RecordPtr record;
    if (int result = decode_record(decoder, *layout, record); result != kSuccess)
        return result;
    // An INTEGER after the last field starts the trailer pair, which has
    // layout 8's shape: it is checked, read in place and discarded.
    if (decoder.peek() == kInteger) {
        int value = 0;
        berval bytes{};
        if (int result = read_inline_pair(decoder, &value, &bytes); result != kSuccess)
            return result;
    }
    *data = record.release();
    return kSuccess;
}

}  // namespace tervane

using namespace tervane;

TERVANE_API int TERVANE_CALL ldap_parse_ds_event(LDAP* ld, LDAPMessage* message, int* event_type,
                                                 int* event_result, event_record** data, int freeit)
{
    // Cleared before the checks, so that after any failure *data is NULL.
    if (data != nullptr)
        *data = nullptr;
    if (ld == nullptr)
        return kParamError;
    if (any_null(message, event_type, event_result))
        return record_result(ld, kParamError);
    ExtendedResponse response;
    int result = parse_intermediate_response(ld, message, freeit, response);
    if (result == kSuccess) {
        const char* name = response.name.get();
        if (name == nullptr || !same_name(name, ops::event_notification) || !response.value)
            result = kDecodingError;
        else
            result = decode_event_notification(*response.value, event_type, event_result, data);
    }
    return record_result(ld, result);
}

TERVANE_API void TERVANE_CALL ldap_event_free(event_record* record)
{
    if (record == nullptr)
        return;
    records::free_record(record);
}
