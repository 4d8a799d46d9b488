// $add_ext_s, $modify_ext_s, $delete_ext_s and $compare_s against slapd.
// What the server then holds is read back with $search_ext_s and the walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "directory_test_support.h"

namespace {

using namespace kandrel_test;
using testhost::Arg;

class Updates : public DirectoryTest {
protected:
    void SetUp() override
    {
        DirectoryTest::SetUp();
        session_.open();
    }

    std::int32_t add(const std::string& dn, const std::string& attributes)
    {
        return session_.integer(kAddExtS, {Arg::utf8(dn), Arg::utf8(attributes), Arg::utf8(""), Arg::utf8("")});
    }
    std::int32_t modify(const std::string& dn, const std::string& mods)
    {
        return session_.integer(kModifyExtS, {Arg::utf8(dn), Arg::utf8(mods), Arg::utf8(""), Arg::utf8("")});
    }
    std::int32_t remove(const std::string& dn) { return session_.integer(kDeleteExtS, {Arg::utf8(dn)}); }
    std::int32_t compare(const std::string& dn, const std::string& attribute, const std::string& value)
    {
        return session_.integer(kCompareS, {Arg::utf8(dn), Arg::utf8(attribute), Arg::utf8(value)});
    }
    // The values of one attribute of dn, joined with ",".
    std::string values(const std::string& dn, const std::string& attribute)
    {
        const std::string chain = session_.search(dn, 0, "", attribute);
        const std::string entry = session_.text(kFirstEntry, {Arg::utf8(chain)});
        std::string joined = session_.text(kGetValues, {Arg::utf8(entry), Arg::utf8(attribute)});
        EXPECT_EQ(session_.free(chain), 0);
        return joined;
    }
    std::string person(const std::string& dn, const std::string& extra = "")
    {
        const std::string cn = dn.substr(3, dn.find(',') - 3);
        return collection({{"objectClass", "top"}, {"objectClass", "inetOrgPerson"}, {"cn", cn}, {"sn", "Test"}}) +
               extra;
    }

    Session session_{host_};
};

TEST_F(Updates, AdjacentItemsOfOneNameAreOneAttributeAndARepeatedNameIsAnother)
{
    const std::string dn = scratch_dn("Grouped");
    EXPECT_EQ(add(dn, person(dn, collection({{"mail", "a@example.com"}, {"mail", "b@example.com"}}))), 0);
    EXPECT_EQ(values(dn, "objectClass"), "top,inetOrgPerson");
    EXPECT_EQ(values(dn, "mail"), "a@example.com,b@example.com");
    EXPECT_EQ(remove(dn), 0);
    // mail comes back after sn: a second attribute of type mail, which the
    // server refuses as an attribute given twice.
    EXPECT_EQ(add(dn, person(dn, collection({{"mail", "a@example.com"}, {"sn", "Second"},
                                              {"mail", "b@example.com"}}))),
              20);
}

TEST_F(Updates, AnItemWithoutAValueKeepsTheValuesAfterIt)
{
    const std::string dn = scratch_dn("Gap");
    EXPECT_EQ(add(dn, person(dn, "mail: a@example.com\rmail:\rmail: c@example.com\r")), 0);
    EXPECT_EQ(values(dn, "mail"), "a@example.com,c@example.com");
    EXPECT_EQ(remove(dn), 0);
}

TEST_F(Updates, MalformedCollectionsNeverReachTheServer)
{
    const std::string dn = scratch_dn("Malformed");
    ASSERT_EQ(add(dn, person(dn)), 0);
    struct Case {
        const char* mods;
        const char* why;
    };
    const Case cases[] = {
        {"rename: cn\rcn: x\r", "an operation that does not exist"},
        {"replace: sn\r", "a replace without its value item"},
        {"add: mail\rcn: x\r", "a value item naming another attribute"},
        {"replace: sn\rsn: New\radd: mail\r", "a last item that is an add"},
        {"delete:\r", "a delete without an attribute"},
        {": sn\rsn: x\r", "an item without a name"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(modify(dn, c.mods), 21) << c.why;
    }
    EXPECT_EQ(values(dn, "sn"), "Test") << "nothing changed, not even the valid first half";
    EXPECT_EQ(add(scratch_dn("Nameless"), "objectClass: inetOrgPerson\r: no name\r"), 21);
    // A collection that cannot be converted is never taken as an empty one.
    EXPECT_EQ(session_.integer(kModifyExtS, {Arg::utf8(dn), Arg::text(U"delete: sn\r\xDFFF"),
                                             Arg::utf8(""), Arg::utf8("")}),
              -102);
    EXPECT_EQ(values(dn, "sn"), "Test");
    EXPECT_EQ(remove(dn), 0);
}

TEST_F(Updates, ModsReplaceDeleteAndAddInOneCall)
{
    const std::string dn = scratch_dn("Modified");
    ASSERT_EQ(add(dn, person(dn, collection({{"mail", "old@example.com"}, {"description", "to go"}}))), 0);
    EXPECT_EQ(modify(dn, collection({{"replace", "mail"}, {"mail", "new@example.com"},
                                     {"delete", "description"},
                                     {"add", "cn"}, {"cn", "Another Name"},
                                     {"add", "cn"}, {"cn", "Third, Name"}})),
              0);
    EXPECT_EQ(values(dn, "mail"), "new@example.com");
    EXPECT_EQ(values(dn, "description"), "");
    const std::string names = values(dn, "cn");
    EXPECT_NE(names.find("Another Name"), std::string::npos) << names;
    EXPECT_NE(names.find("Third, Name"), std::string::npos) << names;
    EXPECT_EQ(modify(dn, "delete: mail\r"), 0) << "a lone delete removes the attribute";
    EXPECT_EQ(values(dn, "mail"), "");
    EXPECT_EQ(modify(dn, collection({{"delete", "mail"}})), 16) << "the server's own answer";
    EXPECT_EQ(remove(dn), 0);
}

TEST_F(Updates, AGroupWithThousandsOfMembersIsAddedAndModifiedWhole)
{
    constexpr int kMembers = 3000;
    const std::string dn = scratch_dn("Big Group");
    std::string members;
    for (int i = 1; i <= kMembers; ++i) {
        members += "member: cn=Member " + std::to_string(i) + "," + kPeople + "\r";
    }
    EXPECT_EQ(add(dn, "objectClass: groupOfNames\rcn: " + dn.substr(3, dn.find(',') - 3) + "\r" + members), 0);
    std::string mods;
    for (int i = kMembers + 1; i <= kMembers + 600; ++i) {
        mods += "add: member\rmember: cn=Member " + std::to_string(i) + "," + kPeople + "\r";
    }
    EXPECT_EQ(modify(dn, mods), 0);
    EXPECT_EQ(compare(dn, "member", "cn=Member " + std::to_string(kMembers + 600) + "," + kPeople), 0);
    const std::string all = values(dn, "member");
    EXPECT_EQ(std::count(all.begin(), all.end(), ','), 4 * (kMembers + 600) - 1) << "three commas in each DN, one between";
    EXPECT_EQ(remove(dn), 0);
}

TEST_F(Updates, CompareAnswersItsFourOutcomesAndLogsThem)
{
    ScopedDirectory folder;
    set_debug(true);
    const std::string dn = scratch_dn("Compared");
    ASSERT_EQ(add(dn, person(dn, "mail: x@example.com\r")), 0);
    EXPECT_EQ(compare(dn, "mail", "x@example.com"), 0);
    EXPECT_EQ(compare(dn, "mail", "y@example.com"), 1);
    EXPECT_EQ(compare(dn, "description", "anything"), 2);
    EXPECT_EQ(compare("cn=Nobody," + std::string(kScratch), "mail", "x"), 3);
    EXPECT_EQ(compare(dn, "noSuchType", "x"), 17) << "other codes pass unchanged";
    EXPECT_EQ(remove(dn), 0);
    set_debug(false);
    EXPECT_EQ(folder.log_text(),
              "Compare:OK.\nCompare:False.\nCompare:No such attribute.\nCompare:No such object.\n");
}

TEST_F(Updates, DeleteWithOnlyADnDeletesAndAMissingEntryGivesTheServersCode)
{
    const std::string dn = scratch_dn("Deleted");
    ASSERT_EQ(add(dn, person(dn)), 0);
    EXPECT_EQ(remove(dn), 0);
    EXPECT_EQ(remove(dn), 32);
    EXPECT_EQ(add(dn, person(dn)), 0);
    EXPECT_EQ(add(dn, person(dn)), 68);
    EXPECT_EQ(session_.integer(kDeleteExtS, {Arg::utf8(dn), Arg::utf8("CTRL:00abcdef")}), -102)
        << "controls that are not alive are refused, not dropped";
    EXPECT_EQ(remove(dn), 0);
}

TEST_F(Updates, NonAsciiTextRoundTripsInUtf8AndReadsByteForByteInTheCodePage)
{
    const std::string dn = scratch_dn("Zo\xC3\xAB");
    ASSERT_EQ(add(dn, person(dn, "description: caf\xC3\xA9 \xE2\x82\xAC\r")), 0);
    EXPECT_EQ(values(dn, "description"), "caf\xC3\xA9 \xE2\x82\xAC");
    const std::string chain = session_.search(dn, 0, "", "description");
    const std::string entry = session_.text(kFirstEntry, {Arg::utf8(chain)});
    host_.set_property(session_.instance(), kPropUtf8, Arg::boolean(false));
    // Each byte of the server's UTF-8 is one Windows-1252 character.
    EXPECT_EQ(session_.call(kGetValues, {Arg::utf8(entry), Arg::utf8("description")}).result->text,
              U"caf\u00C3\u00A9 \u00E2\u201A\u00AC");
    host_.set_property(session_.instance(), kPropUtf8, Arg::boolean(true));
    EXPECT_EQ(session_.free(chain), 0);
    EXPECT_EQ(remove(dn), 0);
}

}  // namespace
