#include "event_layouts.h"

namespace tervane::layouts {

namespace {

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

}  // namespace

const Layout* find_layout(ber_tag_t tag)
{
    if (tag < 0x61 || tag > 0x7D || kLayoutIndex[tag - 0x61] < 0)
        return nullptr;
    return &kLayouts[static_cast<std::size_t>(kLayoutIndex[tag - 0x61])];
}

}  // namespace tervane::layouts
