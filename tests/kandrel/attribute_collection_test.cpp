// Attribute collections: the line format, the collection operations, and the
// four host methods built on them.
#include <gtest/gtest.h>

#include "attribute_collection.h"
#include "kandrel_test_support.h"

namespace {

using kandrel::AttributeCollection;
using kandrel_test::fresh_instance;
using kandrel_test::HostTest;
using testhost::Arg;

AttributeCollection parsed(std::string_view text)
{
    AttributeCollection collection;
    collection.parse(text);
    return collection;
}

TEST(CollectionText, CarriageReturnLineFeedEndsOneLineAndEmptyLinesGiveNoItem)
{
    const AttributeCollection c = parsed("a: 1\r\nb: 2\r\n\r\n\n\rc: 3");
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(*c[0].name, "a");
    EXPECT_EQ(*c[1].value, "2");
    EXPECT_EQ(*c[2].value, "3");
}

TEST(CollectionText, OnlyTheFirstColonEndsTheName)
{
    const AttributeCollection c = parsed("url: ldap://host:389/o=x\rtime:12:30:00\r");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(*c[0].value, "ldap://host:389/o=x");
    EXPECT_EQ(*c[1].name, "time");
    EXPECT_EQ(*c[1].value, "12:30:00");
}

TEST(CollectionText, BlanksAreSkippedOnlyAfterLineEndsAndTheColon)
{
    const AttributeCollection c = parsed("  lead: x \r   next:\t\t y z  \rno colon here\r:only value");
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(*c[0].name, "  lead");
    EXPECT_EQ(*c[0].value, "x ");
    EXPECT_EQ(*c[1].name, "next");
    EXPECT_EQ(*c[1].value, "y z  ");
    EXPECT_EQ(*c[2].name, "no colon here");
    EXPECT_FALSE(c[2].value);
    EXPECT_FALSE(c[3].name);
    EXPECT_EQ(*c[3].value, "only value");
}

TEST(CollectionText, ALineEndingAtItsColonHasNoValueAndFormatsBackTheSame)
{
    const AttributeCollection c = parsed("description:\rcn: x");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_FALSE(c[0].value);
    EXPECT_EQ(*c[1].name, "cn");
    EXPECT_EQ(c.format(), "description: \rcn: x\r");
}

TEST(CollectionText, FormatThenParseGivesTheSameItems)
{
    AttributeCollection c;
    c.add("objectClass", "top");
    c.add("objectClass", "person");
    c.add("cn", "J\xC3\xBCrgen");
    c.add("empty", "");
    c.add_integer("count", -42);
    const std::string text = c.format();
    EXPECT_EQ(text, "objectClass: top\robjectClass: person\rcn: J\xC3\xBCrgen\rempty: \rcount: -42\r");
    const AttributeCollection back = parsed(text);
    ASSERT_EQ(back.size(), c.size());
    for (std::size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(back[i].name, c[i].name);
        EXPECT_EQ(back[i].value, c[i].value);
    }
}

TEST(CollectionText, LinesLongerThan4095BytesAreKeptWhole)
{
    // A long value (a certificate, a photo in text form) must reach the
    // directory intact, not cut at a line buffer.
    const std::string value(10000, 'v');
    const AttributeCollection c = parsed("userCertificate: " + value + "\rcn: after");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(*c[0].value, value);
    EXPECT_EQ(*c[1].value, "after");
    const std::string name(5000, 'n');
    const AttributeCollection d = parsed(name + ": x");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(*d[0].name, name);
    EXPECT_EQ(*d[0].value, "x");
}

TEST(CollectionOperations, FindGetAndSetWorkOnTheFirstItemOfAName)
{
    AttributeCollection c = parsed("mail: a\rmail: b\rMail: c\r");
    EXPECT_EQ(*c.get("mail"), "a");
    EXPECT_EQ(*c.get("Mail"), "c") << "names compare exactly";
    EXPECT_FALSE(c.get("MAIL"));
    EXPECT_FALSE(c.get(""));
    c.set_or_add("mail", "z");
    EXPECT_EQ(*c.get_nth("mail", 1), "z");
    EXPECT_EQ(*c.get_nth("mail", 2), "b");
    EXPECT_FALSE(c.get_nth("mail", 3));
    EXPECT_FALSE(c.get_nth("mail", 0));
    EXPECT_FALSE(c.get_nth("mail", -1));
    c.set_or_add("sn", "new");
    EXPECT_EQ(c.size(), 4u);
    c.set_or_add_integer("sn", 7);
    EXPECT_EQ(c.get_integer("sn"), 7);
    EXPECT_EQ(c.get_integer("absent"), 0);
    c.set_or_add("sn", "");
    EXPECT_FALSE(c.get("sn")) << "an empty value is stored as none";
}

TEST(CollectionOperations, AddEachStopsAtANullOrEmptyEntry)
{
    AttributeCollection c;
    const char* values[] = {"x", "y", "", "z", nullptr};
    c.add_each("ext", values);
    EXPECT_EQ(c.size(), 2u);
    c.add_each("ext", nullptr);
    EXPECT_EQ(c.size(), 2u);
}

TEST(CollectionOperations, TheArrayGrowsByTenItems)
{
    AttributeCollection c;
    for (int i = 0; i < 10; ++i) {
        c.add("n", "v");
    }
    EXPECT_EQ(c.capacity(), 10u);
    c.add("n", "v");
    EXPECT_EQ(c.capacity(), 20u);
    c.clear();
    EXPECT_EQ(c.size(), 0u);
    EXPECT_EQ(c.capacity(), 0u);
}

class CollectionMethods : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        instance_ = fresh_instance();
        ASSERT_EQ(host_.create(instance_), 1);
    }
    void TearDown() override
    {
        host_.destroy(instance_);
        HostTest::TearDown();
    }
    testhost::Reply run(std::int32_t method, const std::vector<Arg>& params)
    {
        testhost::Reply reply = host_.call(instance_, method, params);
        EXPECT_EQ(reply.left_after_release, 0u);
        return reply;
    }
    HostLParam instance_ = 0;
};

TEST_F(CollectionMethods, AddAttAppendsAndTheLookupsSeeBothItems)
{
    testhost::Reply added = run(kandrel_test::kAddAtt, {Arg::utf8("cn: first\r"), Arg::utf8("cn"), Arg::utf8("second")});
    EXPECT_EQ(added.answer, 0);
    ASSERT_TRUE(added.result);
    EXPECT_EQ(added.result->utf8(), "cn: first\rcn: second\r");
    const Arg collection = Arg::text(added.result->text);
    testhost::Reply first = run(kandrel_test::kGetAtt, {collection, Arg::utf8("cn")});
    EXPECT_EQ(first.answer, 1);
    EXPECT_EQ(first.result->utf8(), "first");
    testhost::Reply second = run(kandrel_test::kGetAttArrayItem, {collection, Arg::utf8("cn"), Arg::integer(2)});
    EXPECT_EQ(second.result->utf8(), "second");
    testhost::Reply text_index = run(kandrel_test::kGetAttArrayItem, {collection, Arg::utf8("cn"), Arg::utf8("2")});
    EXPECT_EQ(text_index.result->utf8(), "second");
}

TEST_F(CollectionMethods, SetAttChangesOnlyTheFirstItemOrAppends)
{
    testhost::Reply set = run(kandrel_test::kSetAtt, {Arg::utf8("a: 1\ra: 2\r"), Arg::utf8("a"), Arg::utf8("9")});
    EXPECT_EQ(set.answer, 0);
    EXPECT_EQ(set.result->utf8(), "a: 9\ra: 2\r");
    testhost::Reply appended = run(kandrel_test::kSetAtt, {Arg::absent(), Arg::utf8("b"), Arg::utf8("x")});
    EXPECT_EQ(appended.result->utf8(), "b: x\r");
}

TEST_F(CollectionMethods, MissingItemsAndIndexZeroGiveTheEmptyValue)
{
    const Arg collection = Arg::utf8("a: 1\rb:\r");
    for (const auto& params : std::vector<std::vector<Arg>>{
             {collection, Arg::utf8("zz")}, {collection, Arg::utf8("b")}, {collection}, {}}) {
        testhost::Reply reply = run(kandrel_test::kGetAtt, params);
        EXPECT_EQ(reply.answer, 1);
        EXPECT_TRUE(reply.result->is_text(""));
    }
    testhost::Reply zero = run(kandrel_test::kGetAttArrayItem, {collection, Arg::utf8("a"), Arg::integer(0)});
    EXPECT_TRUE(zero.result->is_text(""));
    testhost::Reply omitted = run(kandrel_test::kGetAttArrayItem, {collection, Arg::utf8("a")});
    EXPECT_TRUE(omitted.result->is_text(""));
}

TEST_F(CollectionMethods, NonAsciiTextSurvivesInBothEncodings)
{
    testhost::Reply utf8 = run(kandrel_test::kGetAtt, {Arg::text(U"sn: \u00C9mile\u20AC\r"), Arg::utf8("sn")});
    EXPECT_EQ(utf8.result->text, U"\u00C9mile\u20AC");
    host_.set_property(instance_, kandrel_test::kPropUtf8, Arg::boolean(false));
    testhost::Reply code_page = run(kandrel_test::kAddAtt, {Arg::text(U"sn: \u00C9mile\r"), Arg::utf8("x"), Arg::text(U"\u20AC")});
    EXPECT_EQ(code_page.result->text, U"sn: \u00C9mile\rx: \u20AC\r");
    // Characters the code page lacks become blanks.
    testhost::Reply lossy = run(kandrel_test::kGetAtt, {Arg::text(U"k: a\u4E2Db"), Arg::utf8("k")});
    EXPECT_EQ(lossy.result->text, U"a b");
}

TEST_F(CollectionMethods, TextsThatCannotBeConvertedAreRefusedAndNeverLoseTheCollection)
{
    const HostLParam instance = fresh_instance();
    host_.create(instance);
    struct Case {
        const char* what;
        Arg collection;
        Arg name;
        Arg value;
    };
    const Case cases[] = {
        {"a lone surrogate in the collection", Arg::text(U"a: 1\rb: \xD800\r"), Arg::utf8("c"), Arg::utf8("2")},
        {"a character above U+10FFFF in the collection", Arg::text(U"a: 1\r\x110000: x\r"), Arg::utf8("c"), Arg::utf8("2")},
        {"a lone surrogate in the name", Arg::utf8("a: 1\r"), Arg::text(U"c\xDFFF"), Arg::utf8("2")},
        {"a lone surrogate in the value", Arg::utf8("a: 1\r"), Arg::utf8("c"), Arg::text(U"\xDBFF")},
    };
    for (const Case& c : cases) {
        for (const std::int32_t method : {kandrel_test::kAddAtt, kandrel_test::kSetAtt}) {
            testhost::Reply reply = host_.call(instance, method, {c.collection, c.name, c.value});
            EXPECT_EQ(reply.answer, -102) << c.what << " " << method;
            ASSERT_TRUE(reply.result) << c.what;
            EXPECT_EQ(reply.result->integer, -102) << c.what;
            EXPECT_FALSE(reply.changed[1]) << "the collection stays as it was";
        }
    }
    // With $utf8 false every character converts, as a space where the code
    // page has none.
    host_.set_property(instance, kandrel_test::kPropUtf8, Arg::boolean(false));
    testhost::Reply reply = host_.call(instance, kandrel_test::kAddAtt, {cases[0].collection, Arg::utf8("c"), Arg::utf8("2")});
    EXPECT_EQ(reply.answer, 0);
    EXPECT_EQ(reply.result->utf8(), "a: 1\rb: \rc: 2\r") << "the space is a blank after the colon";
    host_.destroy(instance);
}

TEST_F(CollectionMethods, LongValuesCrossTheHostUnchanged)
{
    const std::string value(6000, 'q');
    testhost::Reply reply = run(kandrel_test::kGetAtt, {Arg::utf8("jpegPhoto: " + value + "\r"), Arg::utf8("jpegPhoto")});
    EXPECT_EQ(reply.result->utf8(), value);
}

}  // namespace
