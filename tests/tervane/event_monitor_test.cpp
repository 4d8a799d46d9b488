// Event monitoring: the two monitor requests on the wire, and the decoding of
// the server's final answer, collected with ldap_result() as an application
// would, after the event notifications that precede it.
#include <utility>

#include "peer_fixture.h"

using bertext::render;
using testpeer::handle_error;
using testpeer::set_handle_error;
namespace d = der;

namespace {

// What ldap_parse_monitor_events_response gave.
struct Parsed {
    int rc = -12345;
    int result_code = -1;
    char* error_message = nullptr;
    int count = -1;
    event_spec* specs = nullptr;
    ~Parsed()
    {
        ldap_memfree(error_message);
        tervane_memfree(specs);
    }
};

std::string response_value(int count, std::initializer_list<std::pair<int, int>> elements)
{
    std::string set;
    for (auto [type, status] : elements)
        set += d::sequence({d::integer(type), d::enumerated(status)});
    return d::sequence({d::integer(count), d::element(0x31, set)});
}

const std::string kTwoEvents = response_value(2, {{7, 0}, {9, 1}});

}  // namespace

class MonitorEvents : public PeerTest {
protected:
    // Sends a one-event monitor request and answers it with reply.
    int send(testpeer::Reply reply)
    {
        peer.reply(std::move(reply));
        event_spec event{7, 0};
        int msgid = 0;
        EXPECT_EQ(ldap_monitor_events(ld, 1, &event, &msgid), 0);
        return msgid;
    }
    // Collects the final answer to msgid and parses it.
    void parse(int msgid, Parsed& parsed, bool want_list = true)
    {
        Message final;
        receive(ld, msgid, LDAP_RES_EXTENDED, final);
        parsed.rc = ldap_parse_monitor_events_response(ld, final.release(), &parsed.result_code,
                                                       &parsed.error_message, want_list ? &parsed.count : nullptr,
                                                       want_list ? &parsed.specs : nullptr, 1);
    }
    void answer_and_parse(testpeer::Reply reply, Parsed& parsed) { parse(send(std::move(reply)), parsed); }
};

TEST_F(MonitorEvents, OneEventIsSentAsCountAndSetOfOneSequenceWithoutControls)
{
    set_handle_error(ld, 55);
    event_spec event{7, 0};
    int msgid = 0;
    int rc = ldap_monitor_events(ld, 1, &event, &msgid);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(peer.wait_for_requests(1));
    EXPECT_EQ(handle_error(ld), rc);
    EXPECT_EQ(sent_name(), ADMIN_OID(79));
    EXPECT_EQ(sent_value(), "{int 1, set{{int 7, enum 0}}}");
    EXPECT_FALSE(peer.last_request().had_controls);
    EXPECT_EQ(peer.last_request().message_id, msgid);
}

TEST_F(MonitorEvents, FilteredEventsAreSentInArrayOrderWithTheirFilters)
{
    char first[] = "(cn=a*)", second[] = "";
    event_spec_filtered events[] = {{1, 2, first}, {3, 4, second}};
    int msgid = 0;
    ASSERT_EQ(ldap_monitor_events_filtered(ld, 2, events, &msgid), 0);
    ASSERT_TRUE(peer.wait_for_requests(1));
    EXPECT_EQ(sent_name(), ADMIN_OID(84));
    EXPECT_EQ(sent_value(), "{int 2, set{{int 1, enum 2, '(cn=a*)'}, {int 3, enum 4, ''}}}");
}

TEST_F(MonitorEvents, NegativeCountIsSentWithAnEmptySet)
{
    event_spec event{7, 0};
    int msgid = 0;
    ASSERT_EQ(ldap_monitor_events(ld, -2, &event, &msgid), 0);
    ASSERT_TRUE(peer.wait_for_requests(1));
    EXPECT_EQ(sent_value(), "{int -2, set{}}");
}

TEST_F(MonitorEvents, MissingArgumentsAreRefusedWithoutSendingOrRecording)
{
    event_spec event{7, 0};
    char filter[] = "(x=1)";
    event_spec_filtered filtered[] = {{1, 0, filter}, {2, 0, nullptr}};
    int msgid = -7;
    set_handle_error(ld, 55);
    EXPECT_EQ(ldap_monitor_events(ld, 0, &event, &msgid), 89);
    EXPECT_EQ(ldap_monitor_events(ld, 1, nullptr, &msgid), 89);
    EXPECT_EQ(ldap_monitor_events(ld, 1, &event, nullptr), 89);
    EXPECT_EQ(ldap_monitor_events(nullptr, 1, &event, &msgid), 89);
    EXPECT_EQ(ldap_monitor_events_filtered(ld, 0, filtered, &msgid), 89);
    EXPECT_EQ(ldap_monitor_events_filtered(ld, 1, nullptr, &msgid), 89);
    // A filter text that is missing would be read through NULL.
    EXPECT_EQ(ldap_monitor_events_filtered(ld, 2, filtered, &msgid), 89);
    EXPECT_EQ(msgid, -7);
    EXPECT_EQ(handle_error(ld), 55);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(MonitorEvents, FailedSendIsReturnedAndRecorded)
{
    LDAP* unreachable = nullptr;
    ASSERT_EQ(ldap_initialize(&unreachable, "ldap://127.0.0.1:1"), LDAP_SUCCESS);
    testpeer::LdapHandle handle(unreachable);
    int version = LDAP_VERSION3;
    ldap_set_option(unreachable, LDAP_OPT_PROTOCOL_VERSION, &version);
    set_handle_error(unreachable, 55);
    event_spec event{7, 0};
    int msgid = 0;
    int rc = ldap_monitor_events(unreachable, 1, &event, &msgid);
    EXPECT_EQ(rc, LDAP_SERVER_DOWN);
    EXPECT_EQ(handle_error(unreachable), rc);
}

TEST_F(MonitorEvents, NotificationsArriveAsIntermediatesBeforeTheListTheServerAccepted)
{
    auto reply = testpeer::Reply::with_value(kTwoEvents);
    reply.diagnostic = "watching";
    reply.intermediates = {{std::string(ADMIN_OID(81)), d::sequence({d::integer(7)})},
                           {std::string(ADMIN_OID(81)), d::sequence({d::integer(9)})}};
    int msgid = send(reply);
    for (int i = 0; i < 2; ++i) {
        Message notification;
        receive(ld, msgid, LDAP_RES_INTERMEDIATE, notification);
        char* name = nullptr;
        ASSERT_EQ(ldap_parse_intermediate(ld, notification.message, &name, nullptr, nullptr, 0), LDAP_SUCCESS);
        EXPECT_STREQ(name, ADMIN_OID(81));
        ldap_memfree(name);
    }
    set_handle_error(ld, 55);
    Parsed parsed;
    parse(msgid, parsed);
    ASSERT_EQ(parsed.rc, 0);
    EXPECT_EQ(handle_error(ld), 0);
    EXPECT_EQ(parsed.result_code, 0);
    EXPECT_STREQ(parsed.error_message, "watching");
    ASSERT_EQ(parsed.count, 2);
    EXPECT_EQ(parsed.specs[0].event_type, 7);
    EXPECT_EQ(parsed.specs[0].status, 0);
    EXPECT_EQ(parsed.specs[1].event_type, 9);
    EXPECT_EQ(parsed.specs[1].status, 1);
}

TEST_F(MonitorEvents, ServerResultCodeIsReportedAndTheListStillRead)
{
    auto reply = testpeer::Reply::with_value(kTwoEvents);
    reply.result_code = 53;
    Parsed parsed;
    answer_and_parse(reply, parsed);
    EXPECT_EQ(parsed.rc, 0);
    EXPECT_EQ(parsed.result_code, 53);
    EXPECT_EQ(parsed.count, 2);
}

TEST_F(MonitorEvents, ResponsesWithoutListGiveZeroAndAnEmptyList)
{
    struct Case {
        const char* label;
        testpeer::Reply reply;
    } cases[] = {
        {"no name", testpeer::Reply::error(0)},
        {"no value", testpeer::Reply::success_named(ADMIN_OID(80))},
        {"zero-byte value", testpeer::Reply::with_value("")},
        {"count without set", testpeer::Reply::with_value(d::sequence({d::integer(2)}))},
        {"set with another tag", testpeer::Reply::with_value(
                                     d::sequence({d::integer(1), d::sequence({d::sequence({d::integer(7)})})}))},
        {"count unreadable", testpeer::Reply::with_value(d::octets("ab"))},
    };
    for (Case& c : cases) {
        set_handle_error(ld, 55);
        Parsed parsed;
        answer_and_parse(c.reply, parsed);
        EXPECT_EQ(parsed.rc, 0) << c.label;
        EXPECT_EQ(handle_error(ld), 0) << c.label;
        EXPECT_EQ(parsed.count, 0) << c.label;
        EXPECT_EQ(parsed.specs, nullptr) << c.label;
    }
}

TEST_F(MonitorEvents, EmptySetGivesAnEmptyListOwnedByTheCaller)
{
    Parsed parsed;
    answer_and_parse(testpeer::Reply::with_value(response_value(0, {})), parsed);
    EXPECT_EQ(parsed.rc, 0);
    EXPECT_EQ(parsed.count, 0);
}

TEST_F(MonitorEvents, BadListsGive84RecordedWithNothingHandedOut)
{
    std::string two_of_three = response_value(3, {{7, 0}, {9, 1}});
    std::string truncated = kTwoEvents.substr(0, kTwoEvents.size() - 1);
    truncated[1] = static_cast<char>(truncated.size() - 2);
    truncated[6] = static_cast<char>(truncated.size() - 7);
    struct Case {
        const char* label;
        testpeer::Reply reply;
    } cases[] = {
        {"wrong name", testpeer::Reply::success_named(ADMIN_OID(81), kTwoEvents)},
        {"count 3, two elements", testpeer::Reply::with_value(two_of_three)},
        {"last element cut short", testpeer::Reply::with_value(truncated)},
        {"negative count", testpeer::Reply::with_value(response_value(-1, {{7, 0}}))},
        {"count beyond the value", testpeer::Reply::with_value(response_value(0x7FFFFFFF, {{7, 0}}))},
    };
    for (Case& c : cases) {
        c.reply.diagnostic = "kept";
        set_handle_error(ld, 55);
        Parsed parsed;
        answer_and_parse(c.reply, parsed);
        EXPECT_EQ(parsed.rc, 84) << c.label;
        EXPECT_EQ(handle_error(ld), 84) << c.label;
        EXPECT_EQ(parsed.count, 0) << c.label;
        EXPECT_EQ(parsed.specs, nullptr) << c.label;
        EXPECT_EQ(parsed.result_code, 0) << c.label;
        EXPECT_STREQ(parsed.error_message, "kept") << c.label;
    }
}

TEST_F(MonitorEvents, ListIsReadOnlyWhenBothOutputsAreGiven)
{
    int msgid = send(testpeer::Reply::with_value(kTwoEvents));
    Message final;
    receive(ld, msgid, LDAP_RES_EXTENDED, final);
    int result_code = -1;
    event_spec sentinel{}, *specs = &sentinel;
    EXPECT_EQ(ldap_parse_monitor_events_response(ld, final.message, &result_code, nullptr, nullptr, &specs, 0), 0);
    EXPECT_EQ(specs, nullptr);
    int count = -1;
    EXPECT_EQ(ldap_parse_monitor_events_response(ld, final.message, &result_code, nullptr, &count, nullptr, 0), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(MonitorEvents, MissingResultCodeOrMessageIsRefusedAndRecorded)
{
    int msgid = send(testpeer::Reply::with_value(kTwoEvents));
    Message final;
    receive(ld, msgid, LDAP_RES_EXTENDED, final);
    event_spec sentinel{}, *specs = &sentinel;
    int count = -1;
    set_handle_error(ld, 55);
    EXPECT_EQ(ldap_parse_monitor_events_response(ld, final.message, nullptr, nullptr, &count, &specs, 0), 89);
    EXPECT_EQ(handle_error(ld), 89);
    EXPECT_EQ(specs, &sentinel);  // refused before any output is touched
    set_handle_error(ld, 55);
    int result_code = -1;
    EXPECT_EQ(ldap_parse_monitor_events_response(ld, nullptr, &result_code, nullptr, &count, &specs, 1), 89);
    EXPECT_EQ(handle_error(ld), 89);
    EXPECT_EQ(specs, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ldap_parse_monitor_events_response(nullptr, final.message, &result_code, nullptr, &count, &specs, 0),
              89);
}

TEST_F(MonitorEvents, MessagesTheLibraryCannotReadGiveItsCodeRecordedAndStayTheCallers)
{
    // A notification is no final result: ldap_parse_result refuses it.
    auto reply = testpeer::Reply::with_value(kTwoEvents);
    reply.intermediates = {{std::string(ADMIN_OID(81)), d::sequence({d::integer(7)})}};
    int msgid = send(reply);
    Message notification;
    receive(ld, msgid, LDAP_RES_INTERMEDIATE, notification);
    Parsed parsed;
    set_handle_error(ld, 55);
    parsed.rc = ldap_parse_monitor_events_response(ld, notification.message, &parsed.result_code,
                                                   &parsed.error_message, &parsed.count, &parsed.specs, 1);
    EXPECT_EQ(parsed.rc, LDAP_NO_RESULTS_RETURNED);
    EXPECT_EQ(handle_error(ld), LDAP_NO_RESULTS_RETURNED);
    EXPECT_EQ(parsed.specs, nullptr);

    // A bind response is a result but not an extended one: the second call
    // refuses it.
    berval password{6, const_cast<char*>("secret")};
    int bind_id = 0;
    ASSERT_EQ(ldap_sasl_bind(ld, "cn=admin", LDAP_SASL_SIMPLE, &password, nullptr, nullptr, &bind_id), 0);
    Message bind;
    receive(ld, bind_id, LDAP_RES_BIND, bind);
    Parsed second;
    second.rc = ldap_parse_monitor_events_response(ld, bind.message, &second.result_code, &second.error_message,
                                                   &second.count, &second.specs, 1);
    EXPECT_EQ(second.rc, LDAP_PARAM_ERROR);
    EXPECT_EQ(handle_error(ld), LDAP_PARAM_ERROR);
    EXPECT_EQ(second.specs, nullptr);
}
