// What host programs' searches put on the wire, against the loopback peer,
// which records the requests it receives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "directory_test_support.h"
#include "test_peer.h"

namespace {

using namespace kandrel_test;
using testhost::Arg;

constexpr int kBase = 0;
constexpr int kSubtree = 2;

class SearchRequests : public DirectoryTest {
protected:
    struct Seen {
        std::string base;
        int scope = -1;
        int time_limit = -1;
        std::string filter;  // the raw filter element
        std::vector<std::string> attributes;
        std::string controls;  // the raw controls element, if any
    };

    // The last search request the peer received.
    Seen last_search()
    {
        Seen seen;
        for (const auto& op : peer_.operations()) {
            if (op.tag != 0x63) {
                continue;
            }
            berval bytes{static_cast<ber_len_t>(op.message.size()), const_cast<char*>(op.message.data())};
            BerElement* ber = ber_init(&bytes);
            ber_int_t id = 0, scope = 0, deref = 0, size = 0, time = 0, types_only = 0;
            berval base{};
            ber_len_t length = 0;
            EXPECT_NE(ber_scanf(ber, "{i{meeiib", &id, &base, &scope, &deref, &size, &time, &types_only),
                      LBER_ERROR);
            seen.base.assign(base.bv_val, base.bv_len);
            seen.scope = scope;
            seen.time_limit = time;
            berval filter{};
            EXPECT_NE(ber_scanf(ber, "m", &filter), LBER_ERROR);
            seen.filter.assign(filter.bv_val, filter.bv_len);
            // "v" reads the SEQUENCE OF itself.
            char** attributes = nullptr;
            EXPECT_NE(ber_scanf(ber, "v", &attributes), LBER_ERROR);
            for (char** a = attributes; a != nullptr && *a != nullptr; ++a) {
                seen.attributes.emplace_back(*a);
            }
            ber_memvfree(reinterpret_cast<void**>(attributes));
            berval controls{};
            if (ber_peek_tag(ber, &length) == 0xA0 && ber_scanf(ber, "m", &controls) != LBER_ERROR) {
                seen.controls.assign(controls.bv_val, controls.bv_len);
            }
            ber_free(ber, 1);
        }
        return seen;
    }

    testpeer::TestPeer peer_;
    Session session_{host_};
};

TEST_F(SearchRequests, AnEmptyFilterAsksForEveryEntryAndAttrsDropEmptyPieces)
{
    ASSERT_FALSE(session_.text(kInit, {Arg::utf8("127.0.0.1"), Arg::integer(peer_.port())}).empty());
    const std::string done = session_.search("o=peer", kSubtree, "", "cn,,mail");
    EXPECT_EQ(session_.integer(kCountMessages, {Arg::utf8(done)}), 1) << "the peer's empty result";
    EXPECT_EQ(session_.free(done), 0);
    Seen seen = last_search();
    EXPECT_EQ(seen.base, "o=peer");
    EXPECT_EQ(seen.scope, kSubtree);
    EXPECT_EQ(seen.filter, "objectClass") << "(objectClass=*) is a presence filter";
    EXPECT_EQ(seen.attributes, (std::vector<std::string>{"cn", "mail"}));
    EXPECT_EQ(seen.time_limit, 10) << "the synchronous search waits 10 seconds by default";
    EXPECT_EQ(seen.controls, "");
}

TEST_F(SearchRequests, AnAsynchronousSearchWithoutTimeoutSetsNoLimitAndOtherwiseKeepsIt)
{
    ASSERT_FALSE(session_.text(kInit, {Arg::utf8("127.0.0.1"), Arg::integer(peer_.port())}).empty());
    const std::int32_t id = session_.integer(kSearchExt, {Arg::utf8("o=peer"), Arg::integer(kBase)});
    EXPECT_GT(id, 0);
    const std::string done = session_.text(kResult, {Arg::integer(id), Arg::integer(1)});
    EXPECT_EQ(session_.free(done), 0);
    EXPECT_EQ(last_search().time_limit, 0);
    const std::int32_t limited = session_.integer(
        kSearchExt, {Arg::utf8("o=peer"), Arg::integer(kBase), Arg::utf8("(cn=x)"), Arg::utf8(""),
                     Arg::boolean(false), Arg::utf8(""), Arg::utf8(""), Arg::integer(7)});
    EXPECT_EQ(session_.free(session_.text(kResult, {Arg::integer(limited), Arg::integer(1)})), 0);
    EXPECT_EQ(last_search().time_limit, 7);
}

TEST_F(SearchRequests, TextsReachTheWireInUtf8OrInTheCodePage)
{
    ASSERT_FALSE(session_.text(kInit, {Arg::utf8("127.0.0.1"), Arg::integer(peer_.port())}).empty());
    EXPECT_EQ(session_.free(session_.search("cn=Zo\xC3\xAB \xE2\x82\xAC", kBase)), 0);
    EXPECT_EQ(last_search().base, "cn=Zo\xC3\xAB \xE2\x82\xAC");
    host_.set_property(session_.instance(), kPropUtf8, Arg::boolean(false));
    EXPECT_EQ(session_.free(session_.search("cn=Zo\xC3\xAB \xE2\x82\xAC \xC4\x80", kBase)), 0);
    EXPECT_EQ(last_search().base, "cn=Zo\xEB \x80  ") << "U+0100 has no byte in the code page";
}

TEST_F(SearchRequests, NoAnswerWithinTheTimeoutIsZeroAndTheWaitCanBeCutShort)
{
    ASSERT_FALSE(session_.text(kInit, {Arg::utf8("127.0.0.1"), Arg::integer(peer_.port())}).empty());
    peer_.answer_searches(false);
    const std::int32_t id = session_.integer(kSearchExt, {Arg::utf8("o=peer"), Arg::integer(kBase)});
    ASSERT_GT(id, 0);
    testhost::Reply waited = session_.call(kResult, {Arg::integer(id), Arg::integer(1), Arg::integer(1)});
    EXPECT_EQ(waited.answer, 0);
    EXPECT_EQ(waited.result->type, HOST_TYPE_INTEGER);
    EXPECT_EQ(waited.result->integer, 0);
}

TEST_F(SearchRequests, APersistentSearchControlTravelsAsAOneControlListWithItsValue)
{
    ASSERT_FALSE(session_.text(kInit, {Arg::utf8("127.0.0.1"), Arg::integer(peer_.port())}).empty());
    testhost::Reply made = session_.call(
        kCreatePersistentSearch,
        {Arg::integer(1 + 4), Arg::boolean(true), Arg::boolean(false), Arg::boolean(true), Arg::utf8("")});
    ASSERT_EQ(made.result->integer, 0);
    const std::string control = made.params[5].utf8();
    ASSERT_EQ(control.substr(0, 5), "CTRL:");
    const std::string done =
        session_.text(kSearchExtS, {Arg::utf8("o=peer"), Arg::integer(kSubtree), Arg::utf8("(cn=*)"), Arg::utf8(""),
                                    Arg::boolean(false), Arg::utf8(control)});
    EXPECT_EQ(session_.free(done), 0);
    // Control ::= SEQUENCE { controlType, criticality TRUE, controlValue
    // OCTET STRING { SEQUENCE { changeTypes 5, changesOnly TRUE, returnECs FALSE } } }
    const std::string oid = "2.16.840.1.113730.3.4.3";
    const std::string value = std::string("\x30\x09\x02\x01\x05\x01\x01\xff\x01\x01\x00", 11);
    const std::string expected = std::string("\x30") + char(2 + oid.size() + 3 + 2 + value.size()) + "\x04" +
                                 char(oid.size()) + oid + std::string("\x01\x01\xff", 3) + "\x04" +
                                 char(value.size()) + value;
    EXPECT_EQ(last_search().controls, expected);
    EXPECT_EQ(session_.free(control), 0);
}

}  // namespace
