// Event records: decoding of event notifications and release of the records.
//
// Each layout is described once, as a list of field descriptions in wire
// order; one set of field readers decodes every layout. Decoding is
// sequential: nesting is not tracked beyond what a field says, and the first
// failing field ends the record.
//
// A record and everything it points to die together (callers release records
// only whole, with ldap_event_free), so they share one block: the record,
// then room for its strings, lists and arrays, sized from the bytes of the
// notification. What does not fit goes to further blocks chained from the
// record's hidden header, and the release frees the chain and the block.
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

#include "exop_frame.h"
#include "extended_result.h"
#include "memory.h"
#include "operations.h"

namespace tervane {
namespace {

static_assert(std::is_same_v<ber_int_t, int>, "record integers are filled by ber_scanf \"i\"");

constexpr ber_tag_t kInteger = 0x02;

// ---- Record blocks ---------------------------------------------------------

// A record block: a hidden header, the record, then room for what the record
// owns. The header starts with the chain of overflow blocks and ends with the
// data tag in its last four bytes; it is as long as the record's alignment
// asks, so the record's pointers stay aligned.
constexpr std::size_t round_up(std::size_t size, std::size_t alignment)
{
    return (size + alignment - 1) / alignment * alignment;
}
constexpr std::size_t kHeaderSize = round_up(sizeof(void*) + sizeof(std::int32_t), alignof(event_record));

// Room taken beyond the notification's own bytes, for the prefix and the
// list arrays that short strings leave no room for.
constexpr std::size_t kExtraRoom = 128;
// Smallest overflow block.
constexpr std::size_t kOverflowBlock = 256;

std::byte* block_of(event_record* record) { return reinterpret_cast<std::byte*>(record) - kHeaderSize; }

// The first overflow block of a record block; each overflow block starts
// with the next one.
void* overflow_of(std::byte* block)
{
    void* first = nullptr;
    std::memcpy(&first, block, sizeof first);
    return first;
}

// Room for what a record owns, taken from the end of its block and then from
// overflow blocks that the record's header chains.
class Room {
public:
    Room() = default;
    Room(std::byte* block, std::byte* free, std::byte* end) : block_(block), next_(free), end_(end) {}

    // size bytes at an address that is a multiple of alignment (a power of
    // two no larger than the allocator's); NULL when memory is short.
    void* take(std::size_t size, std::size_t alignment)
    {
        const std::size_t skip = (alignment - reinterpret_cast<std::uintptr_t>(next_) % alignment) % alignment;
        const auto free = static_cast<std::size_t>(end_ - next_);
        if (free < skip || free - skip < size)
            return overflow(size, alignment);
        std::byte* taken = next_ + skip;
        next_ = taken + size;
        return taken;
    }
    template <class T>
    T* take_zeroed(std::size_t count)
    {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
            return nullptr;
        void* taken = take(count * sizeof(T), alignof(T));
        if (taken != nullptr)
            std::memset(taken, 0, count * sizeof(T));
        return static_cast<T*>(taken);
    }
    // The bytes and a NUL; NULL when memory is short.
    char* copy(const berval& bytes)
    {
        if (bytes.bv_len == std::numeric_limits<ber_len_t>::max())
            return nullptr;
        auto* text = static_cast<char*>(take(bytes.bv_len + 1, 1));
        if (text == nullptr)
            return nullptr;
        std::memcpy(text, bytes.bv_val, bytes.bv_len);
        text[bytes.bv_len] = '\0';
        return text;
    }

private:
    // A new overflow block, chained from the record's header, becomes the
    // room; what was left of the old room stays unused.
    void* overflow(std::size_t size, std::size_t alignment)
    {
        const std::size_t link = round_up(sizeof(void*), alignment);
        if (block_ == nullptr || size > std::numeric_limits<std::size_t>::max() - link - kOverflowBlock)
            return nullptr;
        const std::size_t wanted = link + size < kOverflowBlock ? kOverflowBlock : link + size;
        auto* extra = static_cast<std::byte*>(allocate(wanted));
        if (extra == nullptr)
            return nullptr;
        void* chain = overflow_of(block_);
        std::memcpy(extra, &chain, sizeof chain);
        std::memcpy(block_, &extra, sizeof extra);
        next_ = extra + link + size;
        end_ = extra + wanted;
        return extra + link;
    }

    std::byte* block_ = nullptr;
    std::byte* next_ = nullptr;
    std::byte* end_ = nullptr;
};

// A record of `size` bytes, zeroed, behind a header holding tag and no
// overflow, followed by `room` bytes for what it will own.
event_record* new_record(ber_tag_t tag, std::size_t size, std::size_t room, Room* out)
{
    size = round_up(size, alignof(event_record));
    if (size > std::numeric_limits<std::size_t>::max() - kHeaderSize - room)
        return nullptr;
    auto* block = static_cast<std::byte*>(allocate(kHeaderSize + size + room));
    if (block == nullptr)
        return nullptr;
    std::memset(block, 0, kHeaderSize + size);
    auto stored = static_cast<std::int32_t>(tag);
    std::memcpy(block + kHeaderSize - sizeof stored, &stored, sizeof stored);
    if (out != nullptr)
        *out = Room(block, block + kHeaderSize + size, block + kHeaderSize + size + room);
    return reinterpret_cast<event_record*>(block + kHeaderSize);
}

struct RecordFree {
    void operator()(event_record* record) const noexcept { ldap_event_free(record); }
};
using RecordPtr = std::unique_ptr<event_record, RecordFree>;

// ---- Layout descriptions ---------------------------------------------------

enum class Kind : std::uint8_t {
    integer,        // "i" into at[0]
    integers,       // one "ii", "iii" or "iiii" into at[0] .. at[count-1]
    text,           // string field with `tag`, at[0]
    counted,        // counted string with `tag`: at[0] length, at[1] data
    triple,         // "{iii}" into at[0], at[1], at[2]
    prefix,         // event_prefix pointer at[0]
    list,           // event_string_list at[0]
    data_position,  // layout 1: a non-empty OCTET STRING copied to at[0]; anything else skipped
    value_list,     // layout 6: at[0] count, at[1] event_counted_value array
    fixed_text,     // layout 7: char[count] at at[0], `minimum` to count-1 bytes
    integer_group,  // layout 3: the group's header, then up to `count` INTEGERs into int[] at[0]
    text_group,     // layout 3: the group's header, then up to `count` OCTET STRINGs into char*[] at[0]
    kind_union,     // layout 13: the value and data that its kind selects
    typed_values,   // layout 16: at[0] count, at[1] event_typed_value array
    inline_bytes,   // layout 8: the whole block, sized by the bytes it holds
};

struct Field {
    Kind kind;
    std::array<std::uint16_t, 4> at{};
    std::uint16_t count = 0;
    ber_tag_t tag = kOctetString;
    // Read only when the next tag is this one (0: always read).
    ber_tag_t only_if = 0;
    std::uint16_t minimum = 0;
    // Every failure of this field, an allocation failure included, gives 84.
    bool failure_is_decoding_error = false;
};

constexpr std::uint16_t at(std::size_t offset) { return static_cast<std::uint16_t>(offset); }

constexpr Field integer(std::size_t a) { return {Kind::integer, {at(a)}}; }
constexpr Field integers(std::size_t a, std::size_t b) { return {Kind::integers, {at(a), at(b)}, 2}; }
constexpr Field integers(std::size_t a, std::size_t b, std::size_t c)
{
    return {Kind::integers, {at(a), at(b), at(c)}, 3};
}
constexpr Field integers(std::size_t a, std::size_t b, std::size_t c, std::size_t d)
{
    return {Kind::integers, {at(a), at(b), at(c), at(d)}, 4};
}
constexpr Field text(std::size_t a, ber_tag_t tag = kOctetString) { return {Kind::text, {at(a)}, 0, tag}; }
constexpr Field counted(std::size_t length, std::size_t data, ber_tag_t tag = kOctetString)
{
    return {Kind::counted, {at(length), at(data)}, 0, tag};
}
constexpr Field triple(std::size_t a, std::size_t b, std::size_t c) { return {Kind::triple, {at(a), at(b), at(c)}}; }
constexpr Field prefix(std::size_t a) { return {Kind::prefix, {at(a)}}; }
constexpr Field list(std::size_t a) { return {Kind::list, {at(a)}}; }
constexpr Field data_position(std::size_t a) { return {Kind::data_position, {at(a)}}; }
constexpr Field value_list(std::size_t count, std::size_t values)
{
    return {Kind::value_list, {at(count), at(values)}};
}
constexpr Field fixed_text(std::size_t a, std::size_t size, std::uint16_t minimum)
{
    return {Kind::fixed_text, {at(a)}, static_cast<std::uint16_t>(size), kOctetString, 0, minimum};
}
constexpr Field integer_group(ber_tag_t tag, std::size_t array, std::size_t capacity)
{
    return {Kind::integer_group, {at(array)}, static_cast<std::uint16_t>(capacity), kInteger, tag};
}
constexpr Field text_group(ber_tag_t tag, std::size_t array, std::size_t capacity)
{
    return {Kind::text_group, {at(array)}, static_cast<std::uint16_t>(capacity), kOctetString, tag};
}
constexpr Field kind_union() { return {Kind::kind_union}; }
constexpr Field typed_values(std::size_t count, std::size_t values)
{
    return {Kind::typed_values, {at(count), at(values)}};
}
constexpr Field inline_bytes() { return {Kind::inline_bytes}; }

constexpr Field only_if(ber_tag_t tag, Field field)
{
    field.only_if = tag;
    return field;
}
constexpr Field reported_as_decoding_error(Field field)
{
    field.failure_is_decoding_error = true;
    return field;
}

// The fields of each layout in wire order. M(member) is the member's offset
// in the layout's record type R.
#define M(member) offsetof(R, member)

namespace l1 {
using R = event_record_1;
// text1 text2 text3 "{iii}ii" data
constexpr Field fields[] = {text(M(text1)), text(M(text2)), text(M(text3)),
                            triple(M(triple1), M(triple2), M(triple3)), integers(M(number1), M(number2)),
                            data_position(M(data))};
}  // namespace l1
namespace l2 {
using R = event_record_2;
// text1..text5 "{iii}" [OCTET STRING] [INTEGER number1]
constexpr Field fields[] = {text(M(text1)), text(M(text2)), text(M(text3)), text(M(text4)), text(M(text5)),
                            triple(M(triple1), M(triple2), M(triple3)),
                            only_if(kOctetString, counted(M(length), M(data))), only_if(kInteger, integer(M(number1)))};
}  // namespace l2
namespace l3 {
using R = event_record_3;
// "iiii" (third and fourth swapped) [0x85]text [0x86]{INTEGER x4} [0xA7]{OCTET STRING x4}
constexpr Field fields[] = {integers(M(number1), M(number2), M(number4), M(number3)), text(M(text), 0x85),
                            integer_group(0x86, M(values), 4), text_group(0xA7, M(strings), 4)};
}  // namespace l3
namespace l5 {
using R = event_record_5;
constexpr Field fields[] = {text(M(text1)), integers(M(number1), M(number2), M(number3)), text(M(text2))};
}  // namespace l5
namespace l6 {
using R = event_record_6;
constexpr Field fields[] = {text(M(text1)), integer(M(number1)), text(M(text2)), value_list(M(count), M(values))};
}  // namespace l6
namespace l7 {
using R = event_record_7;
constexpr Field fields[] = {text(M(text1)), integer(M(number1)),
                            fixed_text(M(short_text), sizeof(R::short_text), 1),
                            fixed_text(M(long_text), sizeof(R::long_text), 0), text(M(text2))};
}  // namespace l7
namespace l8 {
constexpr Field fields[] = {inline_bytes()};
}  // namespace l8
namespace l9 {
using R = event_record_9;
constexpr Field fields[] = {text(M(text1)), integers(M(number1), M(number2)), text(M(text2))};
}  // namespace l9
namespace l12 {
using R = event_record_12;
constexpr Field fields[] = {integers(M(number1), M(number2), M(number3)), counted(M(length), M(data)),
                            text(M(text1)), text(M(text2))};
}  // namespace l12
namespace l13 {
using R = event_record_13;
constexpr Field fields[] = {integer(M(kind)), text(M(text)), kind_union()};
}  // namespace l13
namespace l15 {
using R = event_record_15;
constexpr Field fields[] = {integer(M(number1)), text(M(text1)), text(M(text2)), text(M(text3)),
                            text(M(text4)), text(M(text5)), text(M(text6))};
}  // namespace l15
namespace l16 {
using R = event_record_16;
constexpr Field fields[] = {integers(M(number1), M(number2)), text(M(text1)), text(M(text2)),
                            integers(M(number3), M(count)), typed_values(M(count), M(values))};
}  // namespace l16
namespace l17 {
using R = event_record_17;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2)), text(M(text1)),
                            integer(M(number3)), text(M(text2)), integer(M(number4)), only_if(0x80, list(M(list)))};
}  // namespace l17
namespace l18 {
using R = event_record_18;
constexpr Field fields[] = {integers(M(number1), M(number2)), text(M(text1))};
}  // namespace l18
namespace l19 {
using R = event_record_19;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2)), text(M(text1)), text(M(text2)),
                            integer(M(number3)), reported_as_decoding_error(text(M(text3))), integer(M(number4)),
                            list(M(list1)), only_if(0x80, list(M(list2)))};
}  // namespace l19
namespace l20 {
using R = event_record_20;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2)), text(M(text1)), text(M(text2)),
                            integer(M(number3)), list(M(list))};
}  // namespace l20
namespace l21 {
using R = event_record_21;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2), M(number3)), text(M(text1)),
                            text(M(text2)), text(M(text3)), integer(M(number4)), only_if(0x80, list(M(list)))};
}  // namespace l21
namespace l22 {
using R = event_record_22;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2)), text(M(text1)), text(M(text2)),
                            text(M(text3)), text(M(text4)), text(M(text5)), integer(M(number3))};
}  // namespace l22
namespace l23 {
using R = event_record_23;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2)), text(M(text1)), text(M(text2)),
                            text(M(text3)), text(M(text4)), integer(M(number3)), only_if(0x80, list(M(list)))};
}  // namespace l23
namespace l24 {
using R = event_record_24;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2), M(number3)), text(M(text1)),
                            integer(M(number4))};
}  // namespace l24
namespace l25 {
using R = event_record_25;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2), M(number3)), text(M(text1)),
                            text(M(text2)), integer(M(number4))};
}  // namespace l25
namespace l26 {
using R = event_record_26;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2), M(number3)), text(M(text1)),
                            text(M(text2)), text(M(text3)), text(M(text4)), text(M(text5)), text(M(text6)),
                            integer(M(number4))};
}  // namespace l26
namespace l27 {
using R = event_record_27;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2), M(number3), M(number4)),
                            text(M(text1)), only_if(0x81, list(M(list)))};
}  // namespace l27
namespace l28 {
using R = event_record_28;
constexpr Field fields[] = {prefix(M(prefix)), integers(M(number1), M(number2)), text(M(text1)), text(M(text2)),
                            integer(M(number3)), integer(M(number4))};
}  // namespace l28
namespace l29 {
using R = event_record_29;
constexpr Field fields[] = {integer(M(number1)), text(M(text1))};
}  // namespace l29

#undef M

struct Layout {
    ber_tag_t tag;  // [APPLICATION n]: 0x60 + n
    std::size_t size;
    std::span<const Field> fields;
};

// Data types 4, 10, 11 and 14 carry no record.
constexpr Layout kLayouts[] = {
    {0x61, sizeof(event_record_1), l1::fields},
    {0x62, sizeof(event_record_2), l2::fields},
    {0x63, sizeof(event_record_3), l3::fields},
    {0x65, sizeof(event_record_5), l5::fields},
    {0x66, sizeof(event_record_6), l6::fields},
    {0x67, sizeof(event_record_7), l7::fields},
    {0x68, sizeof(event_record_8), l8::fields},
    {0x69, sizeof(event_record_9), l9::fields},
    {0x6C, sizeof(event_record_12), l12::fields},
    {0x6D, sizeof(event_record_13), l13::fields},
    {0x6F, sizeof(event_record_15), l15::fields},
    {0x70, sizeof(event_record_16), l16::fields},
    {0x71, sizeof(event_record_17), l17::fields},
    {0x72, sizeof(event_record_18), l18::fields},
    {0x73, sizeof(event_record_19), l19::fields},
    {0x74, sizeof(event_record_20), l20::fields},
    {0x75, sizeof(event_record_21), l21::fields},
    {0x76, sizeof(event_record_22), l22::fields},
    {0x77, sizeof(event_record_23), l23::fields},
    {0x78, sizeof(event_record_24), l24::fields},
    {0x79, sizeof(event_record_25), l25::fields},
    {0x7A, sizeof(event_record_26), l26::fields},
    {0x7B, sizeof(event_record_27), l27::fields},
    {0x7C, sizeof(event_record_28), l28::fields},
    {0x7D, sizeof(event_record_29), l29::fields},
};
static_assert(std::size(kLayouts) == 25);

// The layout of each data tag 0x61 to 0x7D, by index from 0x61; -1: none.
constexpr std::array<std::int8_t, 29> make_layout_index()
{
    std::array<std::int8_t, 29> index{};
    for (auto& entry : index)
        entry = -1;
    for (std::size_t n = 0; n < std::size(kLayouts); ++n)
        index[kLayouts[n].tag - 0x61] = static_cast<std::int8_t>(n);
    return index;
}
constexpr std::array<std::int8_t, 29> kLayoutIndex = make_layout_index();

const Layout* find_layout(ber_tag_t tag)
{
    if (tag < 0x61 || tag > 0x7D || kLayoutIndex[tag - 0x61] < 0)
        return nullptr;
    return &kLayouts[static_cast<std::size_t>(kLayoutIndex[tag - 0x61])];
}

// A member of a record, by offset.
template <class T>
T& member(std::byte* record, std::size_t offset)
{
    return *reinterpret_cast<T*>(record + offset);
}

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
    // Everything the record owns lies in its block or in the overflow blocks
    // chained from its header.
    std::byte* block = block_of(record);
    for (void* extra = overflow_of(block); extra != nullptr;) {
        void* next = overflow_of(static_cast<std::byte*>(extra));
        release(extra);
        extra = next;
    }
    release(block);
}
