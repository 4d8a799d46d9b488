// Event notifications: every record layout decoded from a value and released,
// the decoding failures, and notifications received from the peer as
// intermediate responses of a monitor request.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "event_records.h"
#include "peer_fixture.h"

namespace d = der;

namespace {

struct RecordFree {
    void operator()(event_record* record) const { ldap_event_free(record); }
};
using Record = std::unique_ptr<event_record, RecordFree>;

struct Decoded {
    int rc = -1;
    int type = -1;
    int result = -1;
    Record record;
};

// With EVENT_NOTIFICATION_SEEDS naming a folder, every value decoded here is
// also written there as a seed of the fuzz target (first byte: 0 decodes with
// a record, 1 without).
void write_seed(const std::string& value, bool with_record)
{
    const char* folder = std::getenv("EVENT_NOTIFICATION_SEEDS");
    if (folder == nullptr)
        return;
    std::string input = std::string(1, with_record ? '\0' : '\1') + value;
    std::size_t hash = std::hash<std::string>{}(input);
    char name[32];
    std::snprintf(name, sizeof name, "%016zx", hash);
    std::ofstream(std::filesystem::path(folder) / name, std::ios::binary) << input;
}

Decoded decode(const std::string& value, bool with_record = true)
{
    write_seed(value, with_record);
    Decoded out;
    berval bytes{value.size(), const_cast<char*>(value.data())};
    event_record placeholder{};
    event_record* record = &placeholder;
    out.rc = tervane::decode_event_notification(bytes, &out.type, &out.result, with_record ? &record : nullptr);
    if (with_record) {
        if (out.rc != 0) {
            EXPECT_EQ(record, nullptr) << "a failed decoding hands out no record";
        }
        out.record.reset(record == &placeholder ? nullptr : record);
    }
    return out;
}

std::string i(long long value, std::uint8_t tag = 0x02) { return d::integer(value, tag); }
std::string s(std::string_view text, std::uint8_t tag = 0x04) { return d::octets(text, tag); }
std::string seq(std::initializer_list<std::string> parts, std::uint8_t tag = 0x30) { return d::sequence(parts, tag); }

// Event 7, result 0, and the data of type n.
std::string event(int n, std::initializer_list<std::string> fields, const std::string& after = "")
{
    return seq({i(7), i(0), d::element(static_cast<std::uint8_t>(0x60 + n), d::concat(fields)), after});
}

const std::string kPrefix = seq({i(1), i(2), s("p")});
// A string list of "a" and "b"; the second element carries more than its
// string.
std::string list(std::uint8_t tag = 0x30) { return seq({seq({s("a")}), seq({s("b"), i(9)})}, tag); }
const std::string kTrailer = d::concat({i(5), s("tail")});

std::string str(const char* text) { return text == nullptr ? "<null>" : text; }

std::vector<std::string> strings(char** list)
{
    std::vector<std::string> out;
    for (; list != nullptr && *list != nullptr; ++list)
        out.push_back(*list);
    return out;
}

void expect_prefix(const event_prefix* prefix)
{
    ASSERT_NE(prefix, nullptr);
    EXPECT_EQ(prefix->number1, 1);
    EXPECT_EQ(prefix->number2, 2);
    EXPECT_EQ(str(prefix->text), "p");
}

const std::vector<std::string> kAB{"a", "b"};

}  // namespace

// ---- Full records of every layout ---------------------------------------------

TEST(EventRecords, LayoutsWithTextsIntegersAndTriplesDecodeInWireOrder)
{
    auto r = decode(event(1, {s("t1"), s("t2"), s("t3"), seq({i(1), i(2), i(3)}), i(4), i(5), s("data")}, kTrailer));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.type, 7);
    const event_record_1& r1 = r.record->r1;
    EXPECT_EQ(str(r1.text1) + str(r1.text2) + str(r1.text3) + str(r1.data), "t1t2t3data");
    EXPECT_EQ(std::vector<int>({r1.triple1, r1.triple2, r1.triple3, r1.number1, r1.number2}),
              std::vector<int>({1, 2, 3, 4, 5}));

    r = decode(event(2, {s("a"), s("b"), s("c"), s("d"), s("e"), seq({i(1), i(2), i(3)}), s("xyz"), i(9)}));
    ASSERT_EQ(r.rc, 0);
    const event_record_2& r2 = r.record->r2;
    EXPECT_EQ(str(r2.text1) + str(r2.text5) + str(r2.data), "aexyz");
    EXPECT_EQ(std::vector<int>({r2.triple1, r2.triple3, r2.length, r2.number1}), std::vector<int>({1, 3, 3, 9}));

    r = decode(event(5, {s("a"), i(1), i(2), i(3), s("b")}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r5.text1) + str(r.record->r5.text2), "ab");
    EXPECT_EQ(r.record->r5.number3, 3);

    r = decode(event(9, {s("a"), i(1), i(2), s("b")}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r9.text2), "b");
    EXPECT_EQ(r.record->r9.number2, 2);

    r = decode(event(12, {i(1), i(2), i(3), s("dd"), s("a"), s("b")}));
    ASSERT_EQ(r.rc, 0);
    const event_record_12& r12 = r.record->r12;
    EXPECT_EQ(str(r12.data) + str(r12.text1) + str(r12.text2), "ddab");
    EXPECT_EQ(r12.length, 2);
    EXPECT_EQ(r12.number3, 3);

    r = decode(event(15, {i(1), s("1"), s("2"), s("3"), s("4"), s("5"), s("6")}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r15.text1) + str(r.record->r15.text6), "16");

    r = decode(event(18, {i(1), i(2), s("a")}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r18.text1), "a");

    r = decode(event(29, {i(4), s("a")}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r29.number1, 4);
    EXPECT_EQ(str(r.record->r29.text1), "a");
}

TEST(EventRecords, LayoutsWithPrefixAndListsDecodeEveryField)
{
    auto r = decode(event(17, {kPrefix, i(11), i(12), s("t1"), i(13), s("t2"), i(14), list(0x80)}));
    ASSERT_EQ(r.rc, 0);
    const event_record_17& r17 = r.record->r17;
    expect_prefix(r17.prefix);
    EXPECT_EQ(std::vector<int>({r17.number1, r17.number2, r17.number3, r17.number4}),
              std::vector<int>({11, 12, 13, 14}));
    EXPECT_EQ(str(r17.text1) + str(r17.text2), "t1t2");
    EXPECT_EQ(strings(r17.list), kAB);

    r = decode(event(19, {kPrefix, i(11), i(12), s("t1"), s("t2"), i(13), s("t3"), i(14), seq({seq({s("x")})}),
                          list(0x80)}));
    ASSERT_EQ(r.rc, 0);
    const event_record_19& r19 = r.record->r19;
    expect_prefix(r19.prefix);
    EXPECT_EQ(str(r19.text1) + str(r19.text2) + str(r19.text3), "t1t2t3");
    EXPECT_EQ(r19.number3 * 100 + r19.number4, 1314);
    EXPECT_EQ(strings(r19.list1), std::vector<std::string>{"x"});
    EXPECT_EQ(strings(r19.list2), kAB);

    r = decode(event(20, {kPrefix, i(11), i(12), s("t1"), s("t2"), i(13), list()}));
    ASSERT_EQ(r.rc, 0);
    expect_prefix(r.record->r20.prefix);
    EXPECT_EQ(r.record->r20.number3, 13);
    EXPECT_EQ(strings(r.record->r20.list), kAB);

    r = decode(event(21, {kPrefix, i(11), i(12), i(13), s("t1"), s("t2"), s("t3"), i(14), list(0x80)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r21.text3), "t3");
    EXPECT_EQ(r.record->r21.number4, 14);
    EXPECT_EQ(strings(r.record->r21.list), kAB);

    r = decode(event(22, {kPrefix, i(11), i(12), s("1"), s("2"), s("3"), s("4"), s("5"), i(13)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r22.text5), "5");
    EXPECT_EQ(r.record->r22.number3, 13);

    r = decode(event(23, {kPrefix, i(11), i(12), s("1"), s("2"), s("3"), s("4"), i(13), list(0x80)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r23.text4), "4");
    EXPECT_EQ(strings(r.record->r23.list), kAB);

    r = decode(event(24, {kPrefix, i(11), i(12), i(13), s("t1"), i(14)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r24.number4, 14);

    r = decode(event(25, {kPrefix, i(11), i(12), i(13), s("t1"), s("t2"), i(14)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r25.text2), "t2");

    r = decode(event(26, {kPrefix, i(11), i(12), i(13), s("1"), s("2"), s("3"), s("4"), s("5"), s("6"), i(14)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r26.text6), "6");
    EXPECT_EQ(r.record->r26.number4, 14);

    r = decode(event(27, {kPrefix, i(11), i(12), i(13), i(14), s("t1"), list(0x81)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r27.number4, 14);
    EXPECT_EQ(strings(r.record->r27.list), kAB);

    r = decode(event(28, {kPrefix, i(11), i(12), s("t1"), s("t2"), i(13), i(14)}));
    ASSERT_EQ(r.rc, 0);
    expect_prefix(r.record->r28.prefix);
    EXPECT_EQ(r.record->r28.number4, 14);
}

TEST(EventRecords, ListsThatAreAbsentOrTaggedOtherwiseStayNull)
{
    auto r = decode(event(20, {kPrefix, i(11), i(12), s("t1"), s("t2"), i(13)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r20.list, nullptr);
    // A list that is not tagged as the layout wants is not read.
    r = decode(event(27, {kPrefix, i(11), i(12), i(13), i(14), s("t1"), list(0x80)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r27.list, nullptr);
}

TEST(EventRecords, ListsAreCopiedWhateverTheirSize)
{
    auto r = decode(event(20, {kPrefix, i(1), i(2), s("a"), s("b"), i(3), seq({})}));
    ASSERT_EQ(r.rc, 0);
    ASSERT_NE(r.record->r20.list, nullptr);  // an empty list is an empty array
    EXPECT_EQ(r.record->r20.list[0], nullptr);

    std::string many;
    for (int n = 0; n < 100; ++n)
        many += seq({s(std::to_string(n))});
    r = decode(event(20, {kPrefix, i(1), i(2), s("a"), s("b"), i(3), d::element(0x30, many)}));
    ASSERT_EQ(r.rc, 0);
    auto copied = strings(r.record->r20.list);
    ASSERT_EQ(copied.size(), 100u);
    EXPECT_EQ(copied[99], "99");
    // An element without a string ends the decoding, also once the record
    // has grown beyond its first block (the sanitizer build checks that
    // nothing stays allocated).
    r = decode(event(20, {kPrefix, i(1), i(2), s("a"), s("b"), i(3), seq({seq({s("a")}), seq({})})}));
    EXPECT_EQ(r.rc, 84);
    r = decode(event(20, {kPrefix, i(1), i(2), s("a"), s("b"), i(3), d::element(0x30, many + seq({}))}));
    EXPECT_EQ(r.rc, 84);
    // A last element that announces more bytes than the value holds is a
    // cut list, not the list's end.
    r = decode(event(20, {kPrefix, i(1), i(2), s("a"), s("b"), i(3),
                          d::element(0x30, many + std::string("\x30\x05\x04\x01" "b", 5))}));
    EXPECT_EQ(r.rc, 84);

    // Elements as short as they come (an empty string each) fill the list.
    std::string empties;
    for (int n = 0; n < 50; ++n)
        empties += seq({s("")});
    r = decode(event(20, {kPrefix, i(1), i(2), s("a"), s("b"), i(3), d::element(0x30, empties)}));
    ASSERT_EQ(r.rc, 0);
    copied = strings(r.record->r20.list);
    ASSERT_EQ(copied.size(), 50u);
    EXPECT_EQ(copied[49], "");
}

TEST(EventRecords, Layout3SwapsItsThirdAndFourthIntegersAndFillsAtMostFourOfEachGroup)
{
    std::string four_ints = d::element(0x86, d::concat({i(1), i(2), i(3), i(4)}));
    std::string four_texts = d::element(0xA7, d::concat({s("a"), s(""), s("c"), s("d")}));
    auto r = decode(event(3, {i(10), i(20), i(30), i(40), s("tx", 0x85), four_ints, four_texts}));
    ASSERT_EQ(r.rc, 0);
    const event_record_3& r3 = r.record->r3;
    EXPECT_EQ(std::vector<int>({r3.number1, r3.number2, r3.number3, r3.number4}), std::vector<int>({10, 20, 40, 30}));
    EXPECT_EQ(str(r3.text), "tx");
    EXPECT_EQ(std::vector<int>(r3.values, r3.values + 4), std::vector<int>({1, 2, 3, 4}));
    EXPECT_EQ(str(r3.strings[0]) + str(r3.strings[1]) + str(r3.strings[2]) + str(r3.strings[3]), "a<null>cd");

    EXPECT_EQ(decode(event(3, {i(1), i(2), i(3), i(4), s("tx", 0x85),
                               d::element(0x86, d::concat({i(1), i(2), i(3), i(4), i(5)}))}))
                  .rc,
              84);
    EXPECT_EQ(decode(event(3, {i(1), i(2), i(3), i(4), s("tx", 0x85), four_ints,
                               d::element(0xA7, d::concat({s("a"), s("b"), s("c"), s("d"), s("e")}))}))
                  .rc,
              84);
    // Its text must carry tag 0x85; the groups are optional.
    EXPECT_EQ(decode(event(3, {i(1), i(2), i(3), i(4), s("tx")})).rc, 84);
    EXPECT_EQ(decode(event(3, {i(1), i(2), i(3), i(4), s("tx", 0x85)})).rc, 0);
}

TEST(EventRecords, Layout6ReadsItsValueListAndLeavesItAbsentAtTheEnd)
{
    std::string values = seq({i(3), seq({seq({i(1), s("x")}), seq({i(2), s("")}), seq({i(3), s("zz")})})});
    auto r = decode(event(6, {s("a"), i(1), s("b"), values}));
    ASSERT_EQ(r.rc, 0);
    const event_record_6& r6 = r.record->r6;
    ASSERT_EQ(r6.count, 3);
    EXPECT_EQ(r6.values[0].type * 100 + r6.values[0].length, 101);
    EXPECT_EQ(str(r6.values[0].data), "x");
    EXPECT_EQ(r6.values[1].length, 0);
    EXPECT_EQ(r6.values[1].data, nullptr);
    EXPECT_EQ(str(r6.values[2].data), "zz");

    r = decode(event(6, {s("a"), i(1), s("b")}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r6.count, 0);
    EXPECT_EQ(r.record->r6.values, nullptr);
    // The third value breaks off: the two before it are released with the
    // record.
    EXPECT_EQ(decode(event(6, {s("a"), i(1), s("b"), seq({i(3), seq({seq({i(1), s("x")}), seq({i(2), s("y")})})})}))
                  .rc,
              84);
}

TEST(EventRecords, Layout7AcceptsOnlyTextsThatFitItsArrays)
{
    auto layout7 = [](std::string short_text, std::string long_text) {
        return decode(event(7, {s("a"), i(1), s(short_text), s(long_text), s("b")}));
    };
    auto r = layout7(std::string(31, 's'), std::string(127, 'l'));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(std::string(r.record->r7.short_text), std::string(31, 's'));
    EXPECT_EQ(std::string(r.record->r7.long_text), std::string(127, 'l'));
    EXPECT_EQ(str(r.record->r7.text2), "b");
    r = layout7("s", "");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(std::string(r.record->r7.long_text), "");
    EXPECT_EQ(layout7("", "l").rc, 84);
    EXPECT_EQ(layout7(std::string(32, 's'), "l").rc, 84);
    EXPECT_EQ(layout7("s", std::string(128, 'l')).rc, 84);
}

TEST(EventRecords, Layout8HoldsItsBytesInlineAndMayBeFollowedByATrailer)
{
    auto r = decode(event(8, {i(5), s("inline")}, kTrailer));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r8.value, 5);
    EXPECT_EQ(r.record->r8.length, 6);
    EXPECT_EQ(std::string(r.record->r8.data), "inline");

    r = decode(event(8, {i(5), s("")}, kTrailer));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r8.length, 0);
    EXPECT_EQ(std::string(r.record->r8.data), "");

    EXPECT_EQ(decode(event(8, {i(5), i(6)})).rc, 84);
}

TEST(EventRecords, TrailerMustPairItsIntegerWithAString)
{
    auto r = decode(event(29, {i(4), s("a")}, d::concat({i(5), i(6)})));
    EXPECT_EQ(r.rc, 84);
    EXPECT_EQ(r.record, nullptr);
    EXPECT_EQ(r.type, 7);  // the numbers stay as read
    EXPECT_EQ(decode(event(29, {i(4), s("a"), i(5)})).rc, 84);
    EXPECT_EQ(decode(event(29, {i(4), s("a")}, kTrailer)).rc, 0);
}

TEST(EventRecords, Layout13ReadsTheValueItsKindNames)
{
    auto r = decode(event(13, {i(3), s("t"), s("v", 0x84)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(str(r.record->r13.text) + str(r.record->r13.value.text), "tv");

    r = decode(event(13, {i(1), s("t"), s("data", 0x83)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r13.value.length, 4);
    EXPECT_EQ(str(r.record->r13.data), "data");

    for (auto [kind, tag] : {std::pair{5, 0x81}, std::pair{2, 0x82}}) {
        r = decode(event(13, {i(kind), s("t"), i(42, static_cast<std::uint8_t>(tag))}));
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(r.record->r13.value.number, 42);
    }
    r = decode(event(13, {i(0), s("t"), s("", 0x85)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r13.kind, 0);

    EXPECT_EQ(decode(event(13, {i(3), s("t"), i(1, 0x81)})).rc, 84);
    EXPECT_EQ(decode(event(13, {i(1), s("t"), s("x", 0x84)})).rc, 84);
    EXPECT_EQ(decode(event(13, {i(3), s("t"), s("x", 0x86)})).rc, 84);
}

TEST(EventRecords, Layout16ReadsEveryKindOfTypedValue)
{
    std::string values = seq({
        i(11, 0x81), s("two", 0x82), s("three", 0x83), i(44, 0x84), seq({i(5), s("five")}, 0x85),
        seq({i(6), i(66), i(666)}, 0x86), seq({i(2), seq({seq({i(1), i(2), i(3)}), seq({i(4), i(5), i(6)})})}, 0x87),
    });
    auto r = decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(7), values}));
    ASSERT_EQ(r.rc, 0);
    const event_record_16& r16 = r.record->r16;
    ASSERT_EQ(r16.count, 7);
    const event_typed_value* v = r16.values;
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(v[k].kind, k + 1);
    EXPECT_EQ(v[0].value1.number, 11);
    EXPECT_EQ(str(v[1].value1.text), "two");
    EXPECT_EQ(v[2].value1.number, 5);
    EXPECT_EQ(str(v[2].value2.text), "three");
    EXPECT_EQ(v[3].value1.number, 44);
    EXPECT_EQ(v[4].value1.number * 100 + v[4].value2.number, 504);
    EXPECT_EQ(str(v[4].value3.text), "five");
    EXPECT_EQ(v[5].value3.number, 666);
    EXPECT_EQ(v[6].value1.number, 2);
    EXPECT_EQ(v[6].value2.triples[1].triple3, 6);

    r = decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(0)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r16.values, nullptr);
    // An empty string of kind 5 leaves length 0 and no data.
    r = decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(1), seq({seq({i(5), s("")}, 0x85)})}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r16.values[0].value3.text, nullptr);
}

TEST(EventRecords, Layout16FailingAtItsSecondValueReleasesWhatTheFirstHolds)
{
    for (const std::string& first : {s("two", 0x82), s("three", 0x83), seq({i(5), s("five")}, 0x85),
                                     seq({i(1), seq({seq({i(1), i(2), i(3)})})}, 0x87)}) {
        EXPECT_EQ(decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(3), seq({first, s("x", 0x88)})})).rc, 84);
        EXPECT_EQ(decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(3), seq({first, i(1, 0x82)})})).rc, 84);
    }
}

TEST(EventRecords, Layout2ReadsItsOptionalStringAndInteger)
{
    auto r = decode(event(2, {s("a"), s("b"), s("c"), s("d"), s("e"), seq({i(1), i(2), i(3)}), s(""), i(5)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r2.length, 0);
    EXPECT_EQ(r.record->r2.data, nullptr);
    EXPECT_EQ(r.record->r2.number1, 5);
    r = decode(event(2, {s("a"), s("b"), s("c"), s("d"), s("e"), seq({i(1), i(2), i(3)})}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r2.number1, 0);
}

TEST(EventRecords, Layout1SkipsWhateverStandsInItsDataPositionWhole)
{
    // Only the element's header skipped would leave its content to be read
    // as a trailer.
    auto r = decode(event(1, {s("a"), s("b"), s("c"), seq({i(1), i(2), i(3)}), i(4), i(5), s("\x02\x01\x07", 0x80)},
                          kTrailer));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r1.data, nullptr);
}

// ---- Failures ---------------------------------------------------------------

TEST(EventRecords, MissingOrMistaggedFieldsGive84)
{
    EXPECT_EQ(decode(event(5, {s("a"), i(1), i(2), i(3)})).rc, 84);       // text2 missing
    EXPECT_EQ(decode(event(5, {i(9), i(1), i(2), i(3), s("b")})).rc, 84);  // INTEGER where text1 stands
    EXPECT_EQ(decode(event(12, {i(1), i(2), i(3), i(4), s("a"), s("b")})).rc, 84);
    EXPECT_EQ(decode(event(9, {s("a"), i(1)})).rc, 84);
    EXPECT_EQ(decode(event(18, {i(1), i(2), s("a", 0x80)})).rc, 84);
    // A string that claims more bytes than the value holds.
    EXPECT_EQ(decode(event(29, {i(4), std::string("\x04\x7f" "abc", 5)})).rc, 84);
}

TEST(EventRecords, ServerCountsBeyondTheRemainingBytesGive84BeforeAnyAllocation)
{
    EXPECT_EQ(decode(event(6, {s("a"), i(1), s("b"), seq({i(2000000000), seq({seq({i(1), s("x")})})})})).rc, 84);
    EXPECT_EQ(decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(2000000000), seq({i(1, 0x81)})})).rc, 84);
    EXPECT_EQ(decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(1),
                                seq({seq({i(2000000000), seq({seq({i(1), i(2), i(3)})})}, 0x87)})}))
                  .rc,
              84);
}

TEST(EventRecords, NegativeServerCountsStandForNoElements)
{
    auto r = decode(event(6, {s("a"), i(1), s("b"), seq({i(-5), seq({})})}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r6.count, 0);
    r = decode(event(16, {i(1), i(2), s("a"), s("b"), i(3), i(-1)}));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record->r16.count, 0);
    EXPECT_EQ(r.record->r16.values, nullptr);
}

TEST(EventRecords, NotificationsWithoutARecordGiveOnlyTheNumbers)
{
    for (int n : {4, 10, 11, 14, 30}) {
        auto r = decode(event(n, {i(1), s("x")}));
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.record, nullptr);
    }
    auto r = decode(seq({i(7), i(3)}));
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.record, nullptr);
    // Without a record asked for, the data is not looked at.
    r = decode(event(5, {s("a")}), false);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.type, 7);
}

TEST(EventRecords, ValuesWithoutTheTwoNumbersGive84)
{
    EXPECT_EQ(decode("").rc, 84);
    EXPECT_EQ(decode(seq({i(7)})).rc, 84);
    EXPECT_EQ(decode(std::string("\x30\x05\x02\x01\x07", 5)).rc, 84);
}

TEST(EventRecords, ReleasingNullDoesNothing) { ldap_event_free(nullptr); }

// ---- Over the wire ------------------------------------------------------------

class EventNotifications : public PeerTest {
protected:
    event_record placeholder{};

    // Sends a monitor request that the peer answers with these intermediate
    // responses, then the final answer.
    int monitor(std::vector<testpeer::Intermediate> notifications)
    {
        auto reply = testpeer::Reply::success_named(ADMIN_OID(80), seq({i(0), d::set({})}));
        reply.intermediates = std::move(notifications);
        peer.reply(reply);
        std::string request = seq({i(1), d::set({seq({i(7), d::enumerated(0)})})});
        berval value{request.size(), request.data()};
        int msgid = -1;
        EXPECT_EQ(ldap_extended_operation(ld, ADMIN_OID(79), &value, nullptr, nullptr, &msgid), 0);
        return msgid;
    }
    LDAPMessage* next(int msgid, int expected_type = LDAP_RES_INTERMEDIATE)
    {
        LDAPMessage* message = nullptr;
        timeval timeout{5, 0};
        EXPECT_EQ(ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message), expected_type);
        return message;
    }
    static testpeer::Intermediate notification(std::optional<std::string> value,
                                               std::optional<std::string> name = ADMIN_OID(81))
    {
        return {std::move(name), std::move(value)};
    }
};

TEST_F(EventNotifications, DecodesEachNotificationBeforeTheFinalAnswer)
{
    int msgid = monitor({notification(event(29, {i(4), s("first")})),
                         notification(seq({i(8), i(1), d::element(0x65, d::concat({s("a"), i(1), i(2), i(3), s("b")}))}))});
    int type = 0, result = 0;
    event_record* record = nullptr;
    ASSERT_EQ(ldap_parse_ds_event(ld, next(msgid), &type, &result, &record, 1), 0);
    EXPECT_EQ(str(record->r29.text1), "first");
    ldap_event_free(record);
    ASSERT_EQ(ldap_parse_ds_event(ld, next(msgid), &type, &result, &record, 1), 0);
    EXPECT_EQ(type * 10 + result, 81);
    EXPECT_EQ(str(record->r5.text2), "b");
    ldap_event_free(record);
    EXPECT_EQ(testpeer::handle_error(ld), 0);

    // The final answer is no notification: the client library refuses it.
    LDAPMessage* final_answer = next(msgid, LDAP_RES_EXTENDED);
    testpeer::set_handle_error(ld, 5);
    record = &placeholder;
    int rc = ldap_parse_ds_event(ld, final_answer, &type, &result, &record, 0);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(testpeer::handle_error(ld), rc);
    EXPECT_EQ(record, nullptr);
    ldap_msgfree(final_answer);
}

TEST_F(EventNotifications, WrongNameMissingNameOrMissingValueGive84)
{
    int msgid = monitor({notification(seq({i(7), i(0)}), ADMIN_OID(80)), notification(seq({i(7), i(0)}), std::nullopt),
                         notification(std::nullopt), notification(""), notification(event(5, {s("a")}))});
    for (int n = 0; n < 5; ++n) {
        int type = -1, result = -1;
        event_record* record = &placeholder;
        EXPECT_EQ(ldap_parse_ds_event(ld, next(msgid), &type, &result, &record, 1), 84) << n;
        EXPECT_EQ(record, nullptr);
        EXPECT_EQ(testpeer::handle_error(ld), 84);
        if (n < 4) {
            EXPECT_EQ(type, -1);  // nothing decoded
        }
    }
}

TEST_F(EventNotifications, WithoutRecordOnlyTheNumbersAreReturned)
{
    int msgid = monitor({notification(event(5, {s("a")}))});
    int type = 0, result = 0;
    EXPECT_EQ(ldap_parse_ds_event(ld, next(msgid), &type, &result, nullptr, 1), 0);
    EXPECT_EQ(type, 7);
}

TEST_F(EventNotifications, NullArgumentsGive89AndAreRecorded)
{
    int msgid = monitor({notification(event(29, {i(4), s("a")}))});
    LDAPMessage* message = next(msgid);
    int number = 0;
    event_record* record = &placeholder;
    EXPECT_EQ(ldap_parse_ds_event(ld, message, nullptr, &number, &record, 0), 89);
    EXPECT_EQ(ldap_parse_ds_event(ld, message, &number, nullptr, &record, 0), 89);
    EXPECT_EQ(ldap_parse_ds_event(ld, nullptr, &number, &number, &record, 0), 89);
    EXPECT_EQ(ldap_parse_ds_event(nullptr, message, &number, &number, &record, 0), 89);
    EXPECT_EQ(testpeer::handle_error(ld), 89);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(ldap_parse_ds_event(ld, message, &number, &number, &record, 1), 0);
    ldap_event_free(record);
}
