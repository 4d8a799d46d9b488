// Searching, collecting results, walking chains, entries, attributes and
// values, parsing results and references, and the life of every reference
// handed to host programs, against slapd (also from the Windows build, under
// wine). What reaches the wire is in session_search_requests_test.cpp.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "directory_test_support.h"
namespace {

using namespace kandrel_test;
using testhost::Arg;

constexpr int kBase = 0;
constexpr int kOneLevel = 1;
constexpr int kSubtree = 2;
constexpr int kEntryType = 0x64;
constexpr int kReferenceType = 0x73;
constexpr int kResultType = 0x65;

class Search : public DirectoryTest {
protected:
    void SetUp() override
    {
        DirectoryTest::SetUp();
        session_.open();
    }
    std::string text(std::int32_t method, std::vector<Arg> params) { return session_.text(method, params); }
    std::int32_t integer(std::int32_t method, std::vector<Arg> params) { return session_.integer(method, params); }

    // Every entry DN of a chain, in order.
    std::vector<std::string> dns(const std::string& chain)
    {
        std::vector<std::string> found;
        for (std::string entry = text(kFirstEntry, {Arg::utf8(chain)}); !entry.empty();
             entry = text(kNextEntry, {Arg::utf8(entry)})) {
            found.push_back(text(kGetDn, {Arg::utf8(entry)}));
        }
        return found;
    }

    Session session_{host_};
};

TEST_F(Search, BaseAndScopeAloneFindEveryEntryWithEveryAttribute)
{
    const std::string chain = session_.search(kPeople, kOneLevel);
    ASSERT_EQ(chain.substr(0, 5), "MESS:");
    EXPECT_EQ(integer(kCountEntries, {Arg::utf8(chain)}), kPeopleCount + 1);
    EXPECT_EQ(integer(kCountMessages, {Arg::utf8(chain)}), kPeopleCount + 2);
    EXPECT_EQ(integer(kCountReferences, {Arg::utf8(chain)}), 0);
    EXPECT_EQ(integer(kMsgType, {Arg::utf8(chain)}), kEntryType);
    const std::vector<std::string> found = dns(chain);
    ASSERT_EQ(found.size(), static_cast<std::size_t>(kPeopleCount + 1));
    EXPECT_EQ(std::set<std::string>(found.begin(), found.end()).count("cn=Person 00042," + std::string(kPeople)), 1u);
    EXPECT_EQ(session_.free(chain), 0);
}

TEST_F(Search, AttributesAreWalkedWithABerElementTheHostFrees)
{
    const std::string chain = session_.search(kMultiValued, kBase, "(objectClass=*)", "cn,,mail,sn");
    const std::string entry = text(kFirstEntry, {Arg::utf8(chain)});
    std::vector<std::string> names;
    testhost::Reply first = session_.call(kFirstAttribute, {Arg::utf8(entry), Arg::utf8("")});
    ASSERT_TRUE(first.changed[2]);
    const std::string ber = first.params[2].utf8();
    ASSERT_EQ(ber.substr(0, 5), "BERE:");
    for (std::string name = first.result->utf8(); !name.empty();
         name = text(kNextAttribute, {Arg::utf8(entry), Arg::utf8(ber)})) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"cn", "sn", "mail"})) << "only the attributes asked for";
    EXPECT_EQ(text(kNextAttribute, {Arg::utf8(entry), Arg::utf8(ber)}), "") << "still past the last";
    testhost::Reply freed = session_.call(kFree, {Arg::utf8(ber)});
    EXPECT_EQ(freed.result->integer, 0);
    EXPECT_TRUE(freed.params[1].is_text("")) << "$free empties the reference";
    EXPECT_EQ(session_.free(ber), -102);
    // Without a place for the BER element it is released at once.
    EXPECT_EQ(session_.call(kFirstAttribute, {Arg::utf8(entry)}).answer, 0);
    EXPECT_EQ(session_.free(chain), 0);
}

TEST_F(Search, ValuesAreJoinedWithCommasAndBinaryValuesGiveTheFirstOnly)
{
    const std::string chain = session_.search(kMultiValued, kBase);
    const std::string entry = text(kFirstEntry, {Arg::utf8(chain)});
    EXPECT_EQ(text(kGetValues, {Arg::utf8(entry), Arg::utf8("mail")}),
              "first@example.com,second@example.com,third@example.com");
    // A comma inside a value cannot be told from the separators.
    EXPECT_EQ(text(kGetValues, {Arg::utf8(entry), Arg::utf8("description")}), "Smith, John");
    EXPECT_EQ(text(kGetValues, {Arg::utf8(entry), Arg::utf8("noSuchAttribute")}), "");
    testhost::Reply audio = session_.call(kGetValuesLen, {Arg::utf8(entry), Arg::utf8("audio")});
    EXPECT_EQ(audio.answer, 1);
    EXPECT_EQ(audio.result->type, HOST_TYPE_BINARY);
    EXPECT_EQ(audio.result->binary, (std::vector<std::uint8_t>{0x00, 0x01, 0x02, 0xFF}));
    testhost::Reply mail = session_.call(kGetValuesLen, {Arg::utf8(entry), Arg::utf8("mail")});
    EXPECT_EQ(std::string(mail.result->binary.begin(), mail.result->binary.end()), "first@example.com");
    EXPECT_TRUE(session_.call(kGetValuesLen, {Arg::utf8(entry), Arg::utf8("nothing")}).result->is_text(""));
    EXPECT_TRUE(session_.call(kGetValuesLen, {Arg::utf8(""), Arg::utf8("mail")}).result->is_text(""));
    EXPECT_EQ(session_.free(chain), 0);
}

TEST_F(Search, GetDnTakesAMessageOrAnEntry)
{
    ScopedDirectory folder;
    const std::string chain = session_.search(kMultiValued, kBase);
    const std::string entry = text(kFirstEntry, {Arg::utf8(chain)});
    EXPECT_EQ(text(kGetDn, {Arg::utf8(chain)}), kMultiValued);
    set_debug(true);
    EXPECT_EQ(text(kGetDn, {Arg::utf8(entry)}), kMultiValued);
    set_debug(false);
    EXPECT_EQ(folder.log_text(), "Bad pointer type. Required MESS: but passed " + entry + ".\n");
    EXPECT_EQ(text(kGetDn, {Arg::utf8("")}), "");
    EXPECT_EQ(session_.free(chain), 0);
}

TEST_F(Search, ASubtreeSearchGivesAReferenceMessageAmongTheEntries)
{
    const std::string chain = session_.search(kSuffix, kSubtree, "(|(ou=*)(cn=Multi*))");
    EXPECT_EQ(integer(kCountReferences, {Arg::utf8(chain)}), 1);
    std::vector<int> types;
    std::string reference;
    for (std::string message = text(kFirstMessage, {Arg::utf8(chain)}); !message.empty();
         message = text(kNextMessage, {Arg::utf8(message)})) {
        types.push_back(integer(kMsgType, {Arg::utf8(message)}));
        if (types.back() == kReferenceType) {
            reference = message;
        }
    }
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(types.back(), kResultType);
    EXPECT_EQ(std::count(types.begin(), types.end(), kEntryType), 3) << "people, scratch, Multi Valued";
    testhost::Reply parsed = session_.call(
        kParseReference, {Arg::utf8(reference), Arg::utf8("unread"), Arg::utf8("x"), Arg::boolean(true)});
    EXPECT_EQ(parsed.result->integer, 0);
    EXPECT_TRUE(parsed.params[3].is_text("")) << "no controls";
    EXPECT_TRUE(parsed.params[2].is_text("unread")) << "Referrals is not written";
    // FreeRes on a message inside the chain leaves the chain whole.
    EXPECT_EQ(integer(kCountMessages, {Arg::utf8(chain)}), static_cast<std::int32_t>(types.size()));
    EXPECT_EQ(session_.free(reference), -102) << "it belongs to its chain";
    EXPECT_EQ(session_.free(chain), 0);
    EXPECT_EQ(integer(kMsgType, {Arg::utf8(reference)}), -1) << "gone with its chain";
}

TEST_F(Search, ParseResultWritesEveryPartAndFreeResFreesTheChain)
{
    const std::string chain = session_.search(kPeople, kBase);
    testhost::Reply parsed = session_.call(
        kParseResult, {Arg::utf8(chain), Arg::integer(-7), Arg::utf8("m"), Arg::utf8("e"), Arg::utf8("r"),
                       Arg::utf8("c"), Arg::boolean(true)});
    EXPECT_EQ(parsed.result->integer, 0);
    EXPECT_EQ(parsed.params[2].integer, 0);
    for (int n = 3; n <= 6; ++n) {
        EXPECT_TRUE(parsed.params[n].is_text("")) << n;
        EXPECT_TRUE(parsed.changed[n]) << n;
    }
    EXPECT_EQ(integer(kCountEntries, {Arg::utf8(chain)}), -1) << "freed by FreeRes";
    EXPECT_EQ(session_.free(chain), -102);
}

TEST_F(Search, ServerSideFailuresReachTheHostThroughResultAndParseResult)
{
    const std::int32_t id = integer(kSearchExt, {Arg::utf8("ou=nowhere,dc=example,dc=com"), Arg::integer(kBase)});
    ASSERT_GT(id, 0);
    const std::string result = text(kResult, {Arg::integer(id), Arg::integer(1)});
    ASSERT_EQ(result.substr(0, 5), "MESS:");
    EXPECT_EQ(integer(kMsgId, {Arg::utf8(result)}), id);
    testhost::Reply parsed = session_.call(
        kParseResult, {Arg::utf8(result), Arg::integer(0), Arg::utf8(""), Arg::utf8(""), Arg::utf8(""),
                       Arg::utf8(""), Arg::boolean(false)});
    EXPECT_EQ(parsed.result->integer, 0);
    EXPECT_EQ(parsed.params[2].integer, 32);
    EXPECT_EQ(parsed.params[3].utf8(), kSuffix);
    EXPECT_EQ(session_.free(result), 0);
    // A failing synchronous search hands back nothing (and leaves nothing
    // allocated).
    EXPECT_EQ(session_.search("ou=nowhere,dc=example,dc=com", kBase), "");

    // The server gives anonymous searches 5 entries, then code 4.
    Session anonymous(host_);
    ASSERT_TRUE(anonymous.init());
    const std::int32_t limited = anonymous.integer(kSearchExt, {Arg::utf8(kPeople), Arg::integer(kOneLevel)});
    const std::string all = anonymous.text(kResult, {Arg::integer(limited), Arg::integer(1), Arg::integer(5)});
    EXPECT_EQ(anonymous.integer(kCountEntries, {Arg::utf8(all)}), kAnonymousSizeLimit);
    parsed = anonymous.call(kParseResult, {Arg::utf8(all), Arg::integer(0), Arg::utf8(""), Arg::utf8(""),
                                           Arg::utf8(""), Arg::utf8(""), Arg::boolean(true)});
    EXPECT_EQ(parsed.params[2].integer, 4);
    EXPECT_EQ(anonymous.search(kPeople, kOneLevel), "") << "size limit exceeded is not 0";
}

TEST_F(Search, ABrokenFilterFailsInTheClientLibraryWithItsCodeInTheHostsNumbering)
{
    EXPECT_EQ(integer(kSearchExt, {Arg::utf8(kPeople), Arg::integer(kOneLevel), Arg::utf8("(cn=")}), -1)
        << "no message id";
    testhost::Reply code = session_.call(kGetOption, {Arg::integer(49), Arg::integer(0)});
    EXPECT_EQ(code.params[2].integer, 87) << "FILTER_ERROR";
    EXPECT_EQ(session_.search(kPeople, kOneLevel, "(cn="), "");
}

TEST_F(Search, ResultsArriveOneAtATimeOrAllAtOnce)
{
    const std::int32_t one_by_one = integer(kSearchExt, {Arg::utf8(kPeople), Arg::integer(kOneLevel)});
    int entries = 0;
    for (;;) {
        const std::string message = text(kResult, {Arg::integer(one_by_one), Arg::integer(0), Arg::integer(5)});
        ASSERT_EQ(message.substr(0, 5), "MESS:");
        const std::int32_t type = integer(kMsgType, {Arg::utf8(message)});
        EXPECT_EQ(integer(kCountMessages, {Arg::utf8(message)}), 1);
        EXPECT_EQ(session_.free(message), 0);
        if (type != kEntryType) {
            EXPECT_EQ(type, kResultType);
            break;
        }
        ++entries;
    }
    EXPECT_EQ(entries, kPeopleCount + 1);

    const std::int32_t at_once = integer(kSearchExt, {Arg::utf8(kPeople), Arg::integer(kOneLevel), Arg::utf8(""),
                                                      Arg::utf8("cn"), Arg::boolean(true)});
    const std::string chain = text(kResult, {Arg::integer(at_once), Arg::integer(1)});
    EXPECT_EQ(integer(kCountEntries, {Arg::utf8(chain)}), kPeopleCount + 1);
    // AttrsOnly: the attribute is there without its values.
    const std::string entry = text(kFirstEntry, {Arg::utf8(chain)});
    EXPECT_EQ(text(kFirstAttribute, {Arg::utf8(entry)}), "cn");
    EXPECT_EQ(text(kGetValues, {Arg::utf8(entry), Arg::utf8("cn")}), "");
    EXPECT_EQ(session_.free(chain), 0);
}

TEST_F(Search, StaleForgedAndMistypedReferencesNeverReachTheLibrary)
{
    const std::string chain = session_.search(kPeople, kOneLevel);
    const std::string entry = text(kFirstEntry, {Arg::utf8(chain)});
    const std::string inner = text(kNextMessage, {Arg::utf8(chain)});
    testhost::Reply first = session_.call(kFirstAttribute, {Arg::utf8(entry), Arg::utf8("")});
    const std::string ber = first.params[2].utf8();
    EXPECT_EQ(session_.free(entry), -102) << "entries go with their chain";
    EXPECT_EQ(session_.free(inner), -102) << "so do messages inside it";
    EXPECT_EQ(session_.free("LDAP:00000001"), -102);
    EXPECT_EQ(session_.free("MESS"), -102);
    EXPECT_EQ(integer(kCountEntries, {Arg::utf8(entry)}), -1) << "an entry is not a message";
    EXPECT_EQ(integer(kCountEntries, {Arg::utf8("MESS:7fffffff")}), -1) << "forged";
    ASSERT_EQ(session_.free(chain), 0);
    for (const std::string& stale : {chain, inner}) {
        EXPECT_EQ(integer(kCountEntries, {Arg::utf8(stale)}), -1);
        EXPECT_EQ(integer(kMsgId, {Arg::utf8(stale)}), -1);
        EXPECT_EQ(text(kFirstEntry, {Arg::utf8(stale)}), "");
        EXPECT_EQ(session_.call(kParseResult, {Arg::utf8(stale)}).answer, -1);
    }
    EXPECT_EQ(text(kNextEntry, {Arg::utf8(entry)}), "");
    EXPECT_EQ(text(kGetValues, {Arg::utf8(entry), Arg::utf8("cn")}), "");
    EXPECT_EQ(text(kGetDn, {Arg::utf8(entry)}), "");
    // The BER element read the freed message: never used again, still freed.
    EXPECT_EQ(text(kNextAttribute, {Arg::utf8(entry), Arg::utf8(ber)}), "");
    EXPECT_EQ(session_.free(ber), 0);
}

TEST_F(Search, MessageFactsNeedNoSession)
{
    const std::string chain = session_.search(kPeople, kBase);
    const std::int32_t id = integer(kMsgId, {Arg::utf8(chain)});
    ASSERT_EQ(integer(kUnbindS, {}), 0);
    EXPECT_EQ(integer(kMsgId, {Arg::utf8(chain)}), id);
    EXPECT_EQ(integer(kMsgType, {Arg::utf8(chain)}), kEntryType);
    EXPECT_EQ(session_.free(chain), 0);
}

TEST_F(Search, SlapdRefusesACriticalPersistentSearchAndIgnoresAnOptionalOne)
{
    for (const bool critical : {true, false}) {
        testhost::Reply made = session_.call(
            kCreatePersistentSearch,
            {Arg::integer(15), Arg::boolean(true), Arg::boolean(true), Arg::boolean(critical), Arg::utf8("")});
        const std::string control = made.params[5].utf8();
        const std::int32_t id = integer(kSearchExt, {Arg::utf8(kPeople), Arg::integer(kBase), Arg::utf8(""),
                                                     Arg::utf8(""), Arg::boolean(false), Arg::utf8(control)});
        const std::string chain = text(kResult, {Arg::integer(id), Arg::integer(1)});
        testhost::Reply parsed = session_.call(kParseResult, {Arg::utf8(chain), Arg::integer(0), Arg::utf8(""),
                                                              Arg::utf8(""), Arg::utf8(""), Arg::utf8(""),
                                                              Arg::boolean(true)});
        EXPECT_EQ(parsed.params[2].integer, critical ? 12 : 0) << critical;
        EXPECT_EQ(session_.free(control), 0);
    }
}

}  // namespace
