// Opening, binding, sharing and closing sessions: against slapd where the
// server's answer matters, against the loopback peer where the test must see
// what reached the wire (binds and unbinds).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "directory_test_support.h"
#include "test_peer.h"

namespace {

using namespace kandrel_test;
using testhost::Arg;

// Every method that needs a session, with no parameters at all.
constexpr std::int32_t kNeedSession[] = {
    kUnbindS, kSetOption, kGetOption, kSimpleBindS, kAddExtS, kModifyExtS, kCompareS,
    kCountEntries, kCountReferences, kCountMessages, kFirstMessage, kNextMessage, kParseResult,
    kParseReference, kSearchExt, kSearchExtS, kFirstEntry, kNextEntry, kFirstAttribute,
    kNextAttribute, kGetValuesLen, kGetValues, kDeleteExtS, kGetDn, kResult,
    kCreatePersistentSearch};

std::size_t count_of(const std::vector<testpeer::Operation>& operations, ber_tag_t tag)
{
    return static_cast<std::size_t>(std::count_if(operations.begin(), operations.end(),
                                                  [tag](const auto& op) { return op.tag == tag; }));
}
constexpr ber_tag_t kBind = 0x60;
constexpr ber_tag_t kUnbind = 0x42;

class Connection : public DirectoryTest {};

TEST_F(Connection, InitGivesASessionReferenceAndBindsAtVersion3WithoutBeingAsked)
{
    Session session(host_);
    EXPECT_EQ(host_.get_property(session.instance(), kPropSession).result->integer, 0);
    const std::string handle =
        session.text(kInit, {Arg::utf8("127.0.0.1"), Arg::integer(directory_port())});
    ASSERT_EQ(handle.size(), 13u);
    EXPECT_EQ(handle.substr(0, 5), "LDAP:");
    EXPECT_EQ(handle.find_first_not_of("0123456789abcdef", 5), std::string::npos);
    EXPECT_EQ(host_.get_property(session.instance(), kPropSession).result->integer, 1);
    // slapd refuses version-2 binds: this bind works only because $init chose 3.
    EXPECT_EQ(session.integer(kSimpleBindS, {Arg::utf8(kAdmin), Arg::utf8(kPassword)}), 0);
    testhost::Reply version = session.call(kGetOption, {Arg::integer(17), Arg::integer(0)});
    EXPECT_EQ(version.params[2].integer, 3);
    EXPECT_EQ(session.integer(kUnbindS), 0);
    EXPECT_EQ(host_.get_property(session.instance(), kPropSession).result->integer, 0);
}

TEST_F(Connection, WithoutASessionEveryMethodThatNeedsOneAnswersMinus2)
{
    Session session(host_);
    for (const std::int32_t method : kNeedSession) {
        testhost::Reply reply = session.call(method);
        EXPECT_EQ(reply.answer, -2) << method;
        ASSERT_TRUE(reply.result) << method;
        EXPECT_EQ(reply.result->integer, -2) << method;
    }
    session.open();
    EXPECT_EQ(session.integer(kUnbindS), 0);
    EXPECT_EQ(session.call(kSearchExtS, {Arg::utf8(kSuffix), Arg::integer(0)}).answer, -2)
        << "after $unbind_s";
}

TEST_F(Connection, TooFewParametersAreRefusedAndKeepTheSession)
{
    Session session(host_);
    session.open();
    EXPECT_EQ(session.integer(kInit, {Arg::utf8("127.0.0.1")}), -102);
    EXPECT_EQ(host_.get_property(session.instance(), kPropSession).result->integer, 1);
    EXPECT_EQ(session.integer(kSimpleBindS), -102);
    EXPECT_EQ(session.integer(kSimpleBindS, {Arg::utf8(kAdmin)}), -102);
    EXPECT_EQ(session.integer(kSetOption, {Arg::integer(17)}), -102);
    EXPECT_EQ(session.integer(kGetOption, {Arg::integer(17)}), -102);
    // Two empty texts are an anonymous bind.
    EXPECT_EQ(session.integer(kSimpleBindS, {Arg::utf8(""), Arg::utf8("")}), 0);
}

TEST_F(Connection, AFailedBindAnswersTheServersCodeAndLogsItsText)
{
    ScopedDirectory folder;
    set_debug(true);
    Session session(host_);
    ASSERT_TRUE(session.init());
    EXPECT_EQ(session.integer(kSimpleBindS, {Arg::utf8(kAdmin), Arg::utf8("wrong")}), 49);
    set_debug(false);
    EXPECT_EQ(folder.log_text(),
              "    LDAP session initialized\n"
              "    Binding to the directory...\n"
              "ldap_simple_bind_s: Invalid credentials\n");
}

TEST_F(Connection, AClosedPortGivesTheClientSideCodeInTheHostsNumbering)
{
    // A port that nothing listens on: the one a stopped server had.
    int closed_port = 0;
    {
        testpeer::TestPeer peer;
        closed_port = peer.port();
    }
    Session session(host_);
    ASSERT_FALSE(session.text(kInit, {Arg::utf8("127.0.0.1"), Arg::integer(closed_port)}).empty());
    EXPECT_EQ(session.integer(kSimpleBindS, {Arg::utf8(kAdmin), Arg::utf8(kPassword)}), 81);
}

TEST_F(Connection, InitOnASessionUnbindsItFirstAndCopiesUnbindTheSharedSessionOnce)
{
    testpeer::TestPeer peer;
    const std::vector<Arg> where = {Arg::utf8("127.0.0.1"), Arg::integer(peer.port())};
    {
        Session first(host_);
        ASSERT_FALSE(first.text(kInit, where).empty());
        ASSERT_EQ(first.integer(kSimpleBindS, {Arg::utf8("cn=one"), Arg::utf8("x")}), 0);
        ASSERT_FALSE(first.text(kInit, where).empty());
        ASSERT_TRUE(peer.wait_for_closed_connections(1));
        EXPECT_EQ(count_of(peer.operations(), kUnbind), 1u) << "the first session was unbound";

        ASSERT_EQ(first.integer(kSimpleBindS, {Arg::utf8("cn=two"), Arg::utf8("x")}), 0);
        const HostLParam copy = fresh_instance();
        host_.copy(first.instance(), copy);
        EXPECT_EQ(host_.get_property(copy, kPropSession).result->integer, 1);
        EXPECT_EQ(first.integer(kUnbindS), 0) << "the copy still holds the session";
        EXPECT_EQ(count_of(peer.operations(), kUnbind), 1u);
        EXPECT_EQ(host_.call(copy, kSimpleBindS, {Arg::utf8("cn=three"), Arg::utf8("x")}).result->integer, 0)
            << "the copy's session still works";
        host_.destroy(copy);
        ASSERT_TRUE(peer.wait_for_closed_connections(2));
    }
    const auto operations = peer.operations();
    EXPECT_EQ(count_of(operations, kBind), 3u);
    EXPECT_EQ(count_of(operations, kUnbind), 2u);
}

// Unloading the component leaves objects that are still alive as they are:
// no unbind during unload, no crash. Run in a child process, which ends
// without the exit-time leak check (the objects are left on purpose).
TEST(Unload, ABoundSessionAliveAtUnloadIsNeitherUnboundNorACrash)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            testpeer::TestPeer peer;
            {
                testhost::Component component(testhost::default_component_path());
                testhost::TestHost host(component);
                host.connect();
                const HostLParam instance = fresh_instance();
                host.create(instance);
                host.call(instance, kInit, {Arg::utf8("127.0.0.1"), Arg::integer(peer.port())});
                host.call(instance, kSimpleBindS, {Arg::utf8("cn=kept"), Arg::utf8("x")});
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const auto operations = peer.operations();
            std::_Exit(count_of(operations, kBind) == 1 && count_of(operations, kUnbind) == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
