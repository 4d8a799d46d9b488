// Object backup and restore.
#include <cstring>

#include "backup.h"
#include "library_leaks.h"
#include "peer_fixture.h"

namespace d = der;
using testpeer::handle_error;
using testpeer::set_handle_error;

namespace {

std::string backup_value(int length, int state1, int state2, const std::string& data, int count,
                         std::initializer_list<int> sizes)
{
    std::string set;
    for (int size : sizes)
        set += d::sequence({d::integer(size)});
    return d::concat({d::integer(length), d::integer(state1), d::integer(state2), d::octets(data),
                      d::sequence({d::integer(count), d::element(0x31, set)})});
}

}  // namespace

class Backup : public PeerTest {
protected:
    char dn[16] = "cn=object";
    char* state = nullptr;
    char* data = nullptr;
    char* sizes = nullptr;
    int length = -1;

    ~Backup() override
    {
        tervane_memfree(state);
        tervane_memfree(data);
        tervane_memfree(sizes);
    }

    int backup(char* extra = nullptr) { return ldap_backup_object(ld, dn, extra, &state, &data, &sizes, &length); }
    void release_outputs()
    {
        tervane_memfree(data);
        tervane_memfree(sizes);
        data = sizes = nullptr;
    }
};

TEST_F(Backup, FirstCallSendsZeroStateAndStoresTheServersNumbers)
{
    reply_value(backup_value(5, 12, 7, std::string("ab\0cd", 5), 2, {3, 2}));
    ASSERT_EQ(backup(), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(96));
    EXPECT_EQ(sent_value(), "'cn=object', int 0, int 0, ''");
    EXPECT_STREQ(state, "12+7");
    EXPECT_EQ(length, 5);
    EXPECT_EQ(std::string(data, 5), std::string("ab\0cd", 5));
    EXPECT_STREQ(sizes, "2;3;2;");
    EXPECT_EQ(handle_error(ld), 0);
}

TEST_F(Backup, StateTextIsSentBackAndReplacedOnEveryCall)
{
    char extra[] = "x";
    reply_value(backup_value(1, 12, 7, "a", 1, {1}));
    reply_value(backup_value(1, 13, 9, "b", 1, {1}));
    reply_value(backup_value(0, -1, 1, "", 0, {}));
    ASSERT_EQ(backup(extra), 0);
    release_outputs();
    ASSERT_EQ(backup(extra), 0);
    EXPECT_EQ(sent_value(), "'cn=object', int 12, int 7, 'x'");
    EXPECT_STREQ(state, "13+9");
    release_outputs();
    ASSERT_EQ(backup(extra), 0);
    EXPECT_EQ(sent_value(), "'cn=object', int 13, int 9, 'x'");
    EXPECT_STREQ(state, "-1+1");
    EXPECT_STREQ(sizes, "0;");
    EXPECT_EQ(length, 0);
}

TEST_F(Backup, StateWithoutTwoNonZeroNumbersGives83AndSendsNothing)
{
    set_handle_error(ld, 77);
    for (const char* text : {"0+5", "5+0", "12", "x+y", "+5", "5+", ""}) {
        state = tervane::copy_string(text, std::strlen(text));
        EXPECT_EQ(backup(), 83) << text;
        EXPECT_STREQ(state, text);
        tervane_memfree(state);
        state = nullptr;
    }
    EXPECT_EQ(request_count(), 0u);
    EXPECT_EQ(handle_error(ld), 77);
}

TEST_F(Backup, ServerErrorWithoutResponseNameGives92AndRecordsIt)
{
    reply_error(32);
    EXPECT_EQ(backup(), 92);
    EXPECT_EQ(handle_error(ld), 92);
    EXPECT_EQ(data, nullptr);
}

TEST_F(Backup, WithoutAnyResponseTheClientLibrarysReasonIsReturnedAndRecorded)
{
    // The name is checked first only when a response arrived.
    auto raw = [](std::string bytes) {
        testpeer::Reply reply;
        reply.raw_message = std::move(bytes);
        return reply;
    };
    testpeer::Reply closed;
    closed.close_connection = true;
    const std::string notice = d::sequence(
        {d::integer(0), d::element(0x78, d::concat({d::enumerated(52), d::octets(""), d::octets("going down"),
                                                    d::octets(LDAP_NOTICE_OF_DISCONNECTION, 0x8A)}))});
    struct Case {
        const char* label;
        testpeer::Reply reply;
        int expected;
        timeval time_limit;
    } cases[] = {
        {"connection lost", closed, LDAP_SERVER_DOWN, {5, 0}},
        {"no answer in time", raw(""), LDAP_TIMEOUT, {0, 200000}},
        {"notice of disconnection", raw(notice), LDAP_UNAVAILABLE, {5, 0}},
    };
    for (Case& c : cases) {
        peer.reply(c.reply);
        testpeer::LdapHandle fresh(peer.connect());
        ldap_set_option(fresh, LDAP_OPT_TIMEOUT, &c.time_limit);
        std::optional<LibraryLeaksIgnored> library_leaks;
        if (c.expected == LDAP_UNAVAILABLE)
            library_leaks.emplace();
        int rc = ldap_backup_object(fresh, dn, nullptr, &state, &data, &sizes, &length);
        library_leaks.reset();
        EXPECT_EQ(rc, c.expected) << c.label;
        EXPECT_EQ(handle_error(fresh), c.expected) << c.label;
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(state, nullptr);
    }
    // A response of another kind: the client library refuses it.
    peer.set_responder([](const testpeer::Request& request) {
        testpeer::Reply reply;
        reply.raw_message = d::sequence(
            {d::integer(request.message_id), d::element(0x61, d::concat({d::enumerated(0), d::octets(""), d::octets("")}))});
        return reply;
    });
    EXPECT_EQ(backup(), LDAP_PARAM_ERROR);
    EXPECT_EQ(handle_error(ld), LDAP_PARAM_ERROR);
}

TEST_F(Backup, ServerErrorWithTheRightNameIsReturnedAndRecorded)
{
    reply_error(50, ADMIN_OID(97));
    EXPECT_EQ(backup(), 50);
    EXPECT_EQ(handle_error(ld), 50);
}

TEST_F(Backup, DecodingFailuresGive84AndKeepTheCallersState)
{
    char original[] = "3+4";
    struct Case {
        std::string value;
        int expected;
    } cases[] = {
        {std::string(), 84},
        {d::integer(1), 84},
        {backup_value(6, 1, 2, "short", 1, {5}), 84},  // announced length beyond the data
        {backup_value(-1, 1, 2, "x", 1, {1}), 84},
        {backup_value(1, 1, 2, "x", 3, {1, 2}), 84},   // fewer sizes than counted
        {d::concat({d::integer(1), d::integer(1), d::integer(2), d::integer(5)}), 84},  // data of wrong kind
    };
    for (const Case& c : cases) {
        state = tervane::copy_string(original, 3);
        reply_value(c.value);
        EXPECT_EQ(backup(), c.expected) << bertext::hex(c.value);
        EXPECT_EQ(handle_error(ld), c.expected);
        EXPECT_STREQ(state, original);
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(sizes, nullptr);
        tervane_memfree(state);
        state = nullptr;
    }
}

TEST_F(Backup, LongerDataThanAnnouncedIsCutToTheAnnouncedLength)
{
    reply_value(backup_value(2, 1, 1, "abcdef", 0, {}));
    ASSERT_EQ(backup(), 0);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(std::string(data, 2), "ab");
}

TEST_F(Backup, NoValueGives1AndMissingDnGives89)
{
    reply_named(ADMIN_OID(97));
    EXPECT_EQ(backup(), 1);
    EXPECT_EQ(handle_error(ld), 1);
    EXPECT_EQ(ldap_backup_object(ld, nullptr, nullptr, &state, &data, &sizes, &length), 89);
    EXPECT_EQ(ldap_backup_object(ld, dn, nullptr, nullptr, &data, &sizes, &length), 89);
}

class Restore : public PeerTest {
protected:
    char dn[16] = "cn=object";
    char block[8] = "abcdefg";

    int restore(const char* sizes, char* extra = nullptr, int length = 3)
    {
        std::string list(sizes);
        int rc = ldap_restore_object(ld, dn, extra, block, list.data(), length);
        EXPECT_EQ(list, sizes) << "the caller's size list must stay intact";
        return rc;
    }
};

TEST_F(Restore, SendsDataAndSizeListAndRecordsTheResult)
{
    set_handle_error(ld, 77);
    char extra[] = "more";
    EXPECT_EQ(restore("2;10;20;", extra), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(98));
    EXPECT_EQ(sent_value(),
              "'cn=object', 'more', int 3, 'abc', {int 2, set{{int 10}, {int 20}}}");
    EXPECT_EQ(handle_error(ld), 0);
}

TEST_F(Restore, CountIsSentAsWrittenAndEmptyItemsAreSkipped)
{
    EXPECT_EQ(restore("1;10;20;"), 0);
    EXPECT_EQ(sent_value(), "'cn=object', '', int 3, 'abc', {int 1, set{{int 10}, {int 20}}}");
    EXPECT_EQ(restore(";;2;;5;;x;"), 0);
    EXPECT_EQ(sent_value(), "'cn=object', '', int 3, 'abc', {int 2, set{{int 5}, {int 0}}}");
    EXPECT_EQ(restore("0"), 0);
    EXPECT_EQ(sent_value(), "'cn=object', '', int 3, 'abc', {int 0, set{}}");
}

TEST_F(Restore, BadArgumentsAreRefusedAndNothingIsSent)
{
    set_handle_error(ld, 77);
    char sizes[] = "1;3;";
    EXPECT_EQ(ldap_restore_object(ld, nullptr, nullptr, block, sizes, 3), 89);
    EXPECT_EQ(ldap_restore_object(ld, dn, nullptr, nullptr, sizes, 3), 89);
    EXPECT_EQ(ldap_restore_object(ld, dn, nullptr, block, nullptr, 3), 89);
    EXPECT_EQ(ldap_restore_object(ld, dn, nullptr, block, sizes, -1), 89);
    EXPECT_EQ(handle_error(ld), 77);
    EXPECT_EQ(restore(";;;"), 89);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(Restore, WrongNameGives92EvenWhenTheCallFailed)
{
    reply_error(53, ADMIN_OID(97));
    EXPECT_EQ(restore("1;3;"), 92);
    EXPECT_EQ(handle_error(ld), 92);
    reply_error(53, ADMIN_OID(99));
    EXPECT_EQ(restore("1;3;"), 53);
    EXPECT_EQ(handle_error(ld), 53);
}
