// A broken or hostile server on the monitor and load paths: intermediate and
// final responses whose names are empty, one NUL or wrong, values that are
// missing, empty or cut short, and a connection closed. The client library
// aborts the process when it is handed an empty name, so each case is run as
// a process: it must end with its exit status and its report, not a signal.
// In the sanitizer build a leak also changes the exit status.
#include <thread>

#include "cli_fixture.h"

namespace clitest {
namespace {

namespace d = der;

constexpr std::uint8_t kExtendedResponse = 0x78;
constexpr std::uint8_t kIntermediateResponse = 0x79;

std::string message(int id, std::uint8_t operation, const std::string& content)
{
    return d::sequence({d::integer(id), d::element(operation, content)});
}

// ExtendedResponse: the result code, empty matched DN and diagnostic, then rest.
std::string extended(int id, const std::string& rest, int code = 0)
{
    return message(id, kExtendedResponse, d::concat({d::enumerated(code), d::octets(""), d::octets(""), rest}));
}

std::string final_name(std::string_view name) { return d::octets(name, 0x8A); }
std::string intermediate_name(std::string_view name) { return d::octets(name, 0x80); }
std::string intermediate_value(std::string_view value) { return d::octets(value, 0x81); }

const std::string kNul(1, '\0');

// ---- The monitor -----------------------------------------------------------

// The value of the one event that is always readable: data type 29.
const std::string kEventValue =
    d::sequence({d::integer(29), d::integer(0), d::element(0x7D, d::concat({d::integer(1), d::octets("one")}))});
const std::string kEventLine = R"({"event_type":29,"result":0,"data_type":29,"record":{"number1":1,"text1":"one"}})"
                               "\n";

std::string good_event(int id)
{
    return message(id, kIntermediateResponse, intermediate_name(ADMIN_OID(81)) + intermediate_value(kEventValue));
}

std::string good_end(int id) { return extended(id, final_name(ADMIN_OID(80))); }

// A notification that cannot be read, then a good one and the end of the
// stream: the bad one is reported, the stream goes on, and the command
// exits 84 because an event was lost.
std::string bad_event(int id, const std::string& content)
{
    return message(id, kIntermediateResponse, content) + good_event(id) + good_end(id);
}

// A good notification, then this final answer.
std::string bad_end(int id, const std::string& final_answer) { return good_event(id) + final_answer; }

struct MonitorCase {
    const char* name;
    std::string (*bytes)(int id);  // sent in place of the answer
    int exit_code;
    std::string out;  // JSON lines
    std::string err;
};

const std::string kDecodingErrorLine = R"({"result":84,"error":"Decoding error"})"
                                       "\n";
const std::string kLostEventError = "tervane: an event notification could not be decoded: Decoding error (84)\n";
const std::string kEnd = R"({"end":true,"accepted":[]})"
                         "\n";
const std::string kBadEnd = "tervane: ldap_parse_monitor_events_response: Decoding error (84)\n";

const MonitorCase kMonitorCases[] = {
    {"notification_with_an_empty_name", [](int id) { return bad_event(id, intermediate_name("")); }, 84,
     kDecodingErrorLine + kEventLine + kEnd, kLostEventError},
    {"notification_with_an_empty_final_style_name",
     [](int id) { return bad_event(id, final_name("") + intermediate_value(kEventValue)); }, 84,
     kDecodingErrorLine + kEventLine + kEnd, kLostEventError},
    {"notification_with_a_name_of_one_nul", [](int id) { return bad_event(id, intermediate_name(kNul)); }, 84,
     kDecodingErrorLine + kEventLine + kEnd, kLostEventError},
    {"notification_with_another_name",
     [](int id) { return bad_event(id, intermediate_name("1.2.3") + intermediate_value(kEventValue)); }, 84,
     kDecodingErrorLine + kEventLine + kEnd, kLostEventError},
    // The client library drops the connection on an intermediate response
    // of zero bytes.
    {"notification_of_zero_bytes", [](int id) { return bad_event(id, ""); }, 81,
     R"({"result":81,"error":"Can't contact LDAP server","library_code":-1})" "\n",
     "tervane: ldap_result: Can't contact LDAP server (-1)\n"},
    {"notification_without_value", [](int id) { return bad_event(id, intermediate_name(ADMIN_OID(81))); }, 84,
     kDecodingErrorLine + kEventLine + kEnd, kLostEventError},
    {"notification_with_an_empty_value",
     [](int id) { return bad_event(id, intermediate_name(ADMIN_OID(81)) + intermediate_value("")); }, 84,
     kDecodingErrorLine + kEventLine + kEnd, kLostEventError},
    {"notification_with_a_value_cut_short",
     [](int id) {
         return bad_event(id, intermediate_name(ADMIN_OID(81)) +
                                  intermediate_value(kEventValue.substr(0, kEventValue.size() - 2)));
     },
     84, kDecodingErrorLine + kEventLine + kEnd, kLostEventError},
    {"end_with_an_empty_name", [](int id) { return bad_end(id, extended(id, final_name(""))); }, 84,
     kEventLine + kDecodingErrorLine, kBadEnd},
    {"end_with_a_name_of_one_nul", [](int id) { return bad_end(id, extended(id, final_name(kNul))); }, 84,
     kEventLine + kDecodingErrorLine, kBadEnd},
    {"end_with_an_empty_name_after_a_referral",
     [](int id) { return bad_end(id, extended(id, d::element(0xA3, d::octets("ldap://x")) + final_name(""))); }, 84,
     kEventLine + kDecodingErrorLine, kBadEnd},
    {"end_with_an_empty_name_and_a_server_error", [](int id) { return bad_end(id, extended(id, final_name(""), 53)); },
     84, kEventLine + kDecodingErrorLine, kBadEnd},
    {"end_with_another_name", [](int id) { return bad_end(id, extended(id, final_name("1.2.3"))); }, 84,
     kEventLine + kDecodingErrorLine, kBadEnd},
    {"end_with_an_empty_value",
     [](int id) { return bad_end(id, extended(id, final_name(ADMIN_OID(80)) + d::octets("", 0x8B))); }, 0,
     kEventLine + kEnd, ""},
    {"end_cut_short",
     [](int id) { return bad_end(id, message(id, kExtendedResponse, d::enumerated(0) + d::octets(""))); }, 84,
     kEventLine + R"({"result":84,"error":"Decoding error","library_code":-4})" "\n",
     "tervane: ldap_parse_monitor_events_response: Decoding error (-4)\n"},
};

void PrintTo(const MonitorCase& c, std::ostream* out) { *out << c.name; }

class MalformedMonitorResponse : public CliTest, public ::testing::WithParamInterface<MonitorCase> {};

TEST_P(MalformedMonitorResponse, IsReportedWithItsCodeAndNeverCrashes)
{
    const MonitorCase& c = GetParam();
    peer.set_responder([&c](const testpeer::Request& request) {
        testpeer::Reply reply;
        reply.raw_message = c.bytes(request.message_id);
        return reply;
    });
    ProcessResult result = tervane({"-o", "json", "monitor", "29"});
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Monitor, MalformedMonitorResponse, ::testing::ValuesIn(kMonitorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, MonitorReportsAConnectionClosedInTheMiddleOfTheStream)
{
    testpeer::Reply reply;
    // A good notification, one with an empty name and value, then the end.
    reply.intermediates = {{std::string(ADMIN_OID(81)), kEventValue}, {std::string(), std::string()}};
    reply.close_connection = true;
    peer.reply(reply);
    ProcessResult result = tervane({"-o", "json", "monitor", "29"});
    EXPECT_EQ(result.exit_code, 81) << result.err;
    EXPECT_EQ(result.out, kEventLine + kDecodingErrorLine + R"({"result":81,"error":"Can't contact LDAP server","library_code":-1})" "\n");
}

TEST_F(CliTest, MonitorEndedByCountStillReportsALostEvent)
{
    testpeer::Reply reply;
    // One notification with an empty name, then a good one.
    reply.intermediates = {{std::string(), kEventValue}, {std::string(ADMIN_OID(81)), kEventValue}};
    reply.raw_message = "";  // no final answer: --count ends the stream
    peer.reply(reply);
    ProcessResult result = tervane({"-o", "json", "monitor", "29", "--count", "2"});
    EXPECT_EQ(result.exit_code, 84) << result.err;
    EXPECT_EQ(result.out, kDecodingErrorLine + kEventLine);
    EXPECT_EQ(result.err, kLostEventError);
    for (int i = 0; i < 100 && peer.abandoned().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(peer.abandoned().size(), 1u);
}

// ---- StartTLS, before either -----------------------------------------------

TEST_F(CliTest, StartTlsAnswerWithAnEmptyNameEndsWithTheServersCode)
{
    peer.set_responder([](const testpeer::Request& request) {
        testpeer::Reply reply;
        reply.raw_message = extended(request.message_id, final_name(""), 2);
        return reply;
    });
    ProcessResult required = tervane({"-ZZ", "monitor", "29"});
    EXPECT_EQ(required.exit_code, 2) << required.err;
    EXPECT_EQ(required.err, "tervane: ldap_start_tls: Protocol error (2)\n");
    EXPECT_EQ(sent_names(), std::vector<std::string>{"1.3.6.1.4.1.1466.20037"});
}

// ---- The loader ------------------------------------------------------------

enum class Step { start, batch, end };

const char* const kStepRequests[] = {LBURP_OID(1), LBURP_OID(6), LBURP_OID(4)};
const char* const kStepResponses[] = {LBURP_OID(2), LBURP_OID(7), LBURP_OID(5)};

struct LoadCase {
    const char* name;
    Step step;
    // Sent in place of that step's answer, given its message id and the
    // name that pairs with the request.
    std::string (*bytes)(int id, const char* response_name);
    int exit_code;
    std::vector<std::string> sent;  // the requests the command sent, in order
    const char* err;                // expected within standard error; "" for none
};

std::string first_intermediate_with_empty_name(int id, const char* response_name)
{
    return message(id, kIntermediateResponse, intermediate_name("")) + extended(id, final_name(response_name));
}

const std::vector<std::string> kWholeStream = {LBURP_OID(1), LBURP_OID(6), LBURP_OID(4)};

const LoadCase kLoadCases[] = {
    {"start_answer_with_an_empty_name", Step::start, [](int id, const char*) { return extended(id, final_name("")); },
     92, {LBURP_OID(1)}, "tervane: ldap_parse_lburp_start_response: Not Supported (92)\n"},
    {"start_answer_with_a_name_of_one_nul", Step::start,
     [](int id, const char*) { return extended(id, final_name(kNul)); }, 92, {LBURP_OID(1)},
     "tervane: ldap_parse_lburp_start_response: Not Supported (92)\n"},
    {"start_answer_after_an_intermediate_with_an_empty_name", Step::start, first_intermediate_with_empty_name, 0,
     kWholeStream, ""},
    {"start_answer_cut_short", Step::start,
     [](int id, const char*) { return message(id, kExtendedResponse, d::enumerated(0)); }, 84, {LBURP_OID(1)},
     "tervane: ldap_parse_lburp_start_response: Decoding error (-4)\n"},
    {"batch_answer_with_an_empty_name", Step::batch, [](int id, const char*) { return extended(id, final_name("")); },
     92, kWholeStream, ""},
    {"batch_answer_after_an_intermediate_with_an_empty_name", Step::batch, first_intermediate_with_empty_name, 0,
     kWholeStream, ""},
    {"batch_answer_with_an_empty_value", Step::batch,
     [](int id, const char* name) { return extended(id, final_name(name) + d::octets("", 0x8B)); }, 0, kWholeStream,
     ""},
    {"batch_answer_cut_short", Step::batch,
     [](int id, const char*) { return message(id, kExtendedResponse, d::enumerated(0)); }, 84, kWholeStream, ""},
    {"end_answer_with_an_empty_name", Step::end, [](int id, const char*) { return extended(id, final_name("")); },
     92, kWholeStream, "tervane: ending the bulk stream: Not Supported (92)\n"},
    {"end_answer_after_an_intermediate_with_an_empty_name", Step::end, first_intermediate_with_empty_name, 0,
     kWholeStream, ""},
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

class MalformedLoadResponse : public CliTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(MalformedLoadResponse, IsReportedWithItsCodeAndNeverCrashes)
{
    const LoadCase& c = GetParam();
    peer.set_responder([&c](const testpeer::Request& request) {
        testpeer::Reply reply;
        reply.pair_name = true;
        if (request.name == kStepRequests[static_cast<int>(c.step)])
            reply.raw_message = c.bytes(request.message_id, kStepResponses[static_cast<int>(c.step)]);
        return reply;
    });
    TempFile ldif("dn: cn=a,o=x\nobjectClass: top\ncn: a\n\ndn: cn=b,o=x\nchangetype: delete\n", ".ldif");
    ProcessResult result = tervane({"load", ldif.path()});
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err << result.out;
    EXPECT_EQ(sent_names(), c.sent);
    if (*c.err == '\0')
        EXPECT_EQ(result.err, "");
    else
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Load, MalformedLoadResponse, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace clitest
