// Mistakes and failures: bad flags and bad input give a clear message, a
// non-zero exit status and nothing on the wire; failed operations exit with
// their result code and its text.
#include <csignal>
#include <functional>
#include <new>
#include <stdexcept>

#include "cli_fixture.h"
#include "errors.h"
#include "output.h"

namespace clitest {
namespace {

struct BadUsage {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;  // expected within standard error
};

// Failures name the case, not its bytes.
void PrintTo(const BadUsage& c, std::ostream* os) { *os << c.name; }

const BadUsage kBadUsage[] = {
    {"no_command", {}, "no command given"},
    {"unknown_command", {"explode"}, "unknown command 'explode'"},
    {"unknown_action", {"partition", "explode", "o=x"}, "unknown action 'explode' of 'partition'"},
    {"missing_action", {"partition"}, "'partition' needs an action"},
    {"unknown_long_option", {"whoami", "--bogus"}, "unknown option --bogus"},
    {"unknown_short_option", {"-q", "whoami"}, "unknown option -q"},
    {"option_without_value", {"whoami", "-D"}, "option -D needs a value"},
    {"missing_argument", {"replica", "info", "o=x"}, "replica info: missing arguments"},
    {"extra_argument", {"whoami", "me"}, "whoami: too many arguments"},
    {"flags_not_a_number", {"partition", "split", "o=x", "--flags", "3x"}, "--flags: '3x' is not a whole number"},
    {"flags_out_of_range", {"partition", "split", "o=x", "--flags", "4294967296"}, "is not a whole number"},
    {"two_password_sources", {"-w", "a", "-y", "/dev/null", "whoami"}, "-w, -W and -y each give the password"},
    {"three_z", {"-ZZZ", "whoami"}, "-Z: give it once"},
    {"unknown_output", {"-o", "yaml", "whoami"}, "-o yaml: unknown output"},
    {"process_out_of_range", {"sync", "trigger", "7"}, "PROCESS must be 1 to 6"},
    {"replica_add_without_type", {"replica", "add", "o=x", "cn=s"}, "--type is required"},
    {"malformed_filter", {"filter", "set", "cn=s", "C1$A1"}, "malformed filter text"},
    {"filter_with_trailing_text", {"filter", "set", "cn=s", "$junk"}, "text after the closing '$'"},
    {"filter_text_and_file", {"filter", "set", "cn=s", "$", "--file", "/dev/null"}, "not both or neither"},
    {"filter_file_missing", {"filter", "set", "cn=s", "--file", "/nonexistent/filter"}, "No such file"},
    {"vorn_name_not_utf8", {"name", "vorn", "\xff"}, "not valid UTF-8"},
    {"event_not_a_number", {"monitor", "1,x"}, "event type: 'x' is not a whole number"},
    {"filters_not_matching_events", {"monitor", "1,2,3", "--filter", "a", "--filter", "b"}, "once per event"},
    {"batch_zero", {"load", "--batch", "0", "/dev/null"}, "--batch must be 1 to 100000"},
    {"continue_from_zero", {"load", "--continue-from", "0", "/dev/null"}, "counts records from 1"},
    {"ldif_missing", {"load", "/nonexistent/file.ldif"}, "/nonexistent/file.ldif: No such file"},
    {"ldif_directory", {"load", "/tmp"}, "/tmp: is a directory"},
    {"password_file_missing", {"-y", "/nonexistent/password", "whoami"}, "-y /nonexistent/password"},
    {"restore_file_missing", {"restore", "o=x", "/nonexistent/backup"}, "No such file"},
    {"count_zero", {"monitor", "1", "--count", "0"}, "--count must be at least 1"},
};

class Usage : public CliTest, public ::testing::WithParamInterface<BadUsage> {};

TEST_P(Usage, IsRefusedWithAClearMessageAndNothingSent)
{
    std::vector<std::string> arguments{"-H", peer.uri()};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    ProcessResult result = run(arguments);
    EXPECT_EQ(result.exit_code, 89);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("tervane: ", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(peer.requests().empty());
    // With -o json the mistake is a document too.
    arguments.insert(arguments.begin() + 2, {"-o", "json"});
    ProcessResult json = run(arguments);
    if (GetParam().name != std::string("unknown_output")) {
        EXPECT_EQ(Json::parse(json.out)["result"], 89) << json.out;
    }
}

INSTANTIATE_TEST_SUITE_P(BadUsage, Usage, ::testing::ValuesIn(kBadUsage),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, ServerFailureExitsWithItsCodeAndShowsTheServersText)
{
    testpeer::Reply refusal = testpeer::Reply::error(32);
    refusal.diagnostic = "no partition there";
    peer.reply(refusal);
    ProcessResult result = tervane({"partition", "count", "o=x"});
    EXPECT_EQ(result.exit_code, 32);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "tervane: ldap_partition_entry_count: No such object (32)\n\tadditional info: no partition there\n");
}

TEST_F(CliTest, ServerFailureInJsonModeAlsoPrintsADocument)
{
    testpeer::Reply refusal = testpeer::Reply::error(50);
    refusal.diagnostic = "not yours";
    peer.reply(refusal);
    ProcessResult result = tervane({"-o", "json", "replica", "remove", "o=x", "cn=s"});
    EXPECT_EQ(result.exit_code, 50);
    EXPECT_EQ(Json::parse(result.out),
              Json::parse(R"({"result":50,"error":"Insufficient access","diagnostic":"not yours"})"));
}

TEST_F(CliTest, LibraryCodesShowTheirClassicNumberAndText)
{
    // A response name that does not pair with the request.
    peer.reply(testpeer::Reply::success_named(ADMIN_OID(40)));
    ProcessResult result = tervane({"partition", "remove-orphan", "o=x", "cn=s"});
    EXPECT_EQ(result.exit_code, 92);
    EXPECT_EQ(result.err, "tervane: ldap_remove_orphan_partition: Not Supported (92)\n");
}

TEST_F(CliTest, NoServerExitsWithTheClassicServerDownCode)
{
    std::string closed_uri = peer.uri();
    {
        // A port that was free a moment ago.
        testpeer::TestPeer other;
        closed_uri = other.uri();
    }
    ProcessResult result = run({"-H", closed_uri, "-x", "whoami"});
    EXPECT_EQ(result.exit_code, 81);
    EXPECT_NE(result.err.find("Can't contact LDAP server (-1)"), std::string::npos) << result.err;
    // JSON's result is the exit status, with the library's own number beside.
    ProcessResult json = run({"-H", closed_uri, "-x", "-o", "json", "whoami"});
    EXPECT_EQ(json.exit_code, 81);
    Json doc = Json::parse(json.out);
    EXPECT_EQ(doc["result"], 81) << json.out;
    EXPECT_EQ(doc["library_code"], -1) << json.out;
}

TEST_F(CliTest, RequiredStartTlsThatFailsStopsBeforeAnyOperation)
{
    peer.set_responder([](const testpeer::Request& request) {
        testpeer::Reply reply = testpeer::Reply::error(request.name == "1.3.6.1.4.1.1466.20037" ? 2 : 0);
        reply.pair_name = request.name != "1.3.6.1.4.1.1466.20037";
        return reply;
    });
    ProcessResult required = tervane({"-ZZ", "refresh"});
    EXPECT_EQ(required.exit_code, 2);
    EXPECT_NE(required.err.find("ldap_start_tls: Protocol error (2)"), std::string::npos) << required.err;
    EXPECT_EQ(sent_names(), std::vector<std::string>{"1.3.6.1.4.1.1466.20037"});

    ProcessResult tried = tervane({"-Z", "refresh"});
    EXPECT_EQ(tried.exit_code, 0) << tried.err;
    EXPECT_NE(tried.err.find("going on without TLS"), std::string::npos) << tried.err;
    EXPECT_EQ(sent_names().back(), ADMIN_OID(9));
}

TEST_F(CliTest, AFailedTlsHandshakeStopsEvenWithOneZ)
{
    // The peer says yes to StartTLS and then speaks no TLS.
    peer.set_responder([](const testpeer::Request& request) {
        testpeer::Reply reply;
        reply.pair_name = request.name != "1.3.6.1.4.1.1466.20037";
        return reply;
    });
    ProcessOptions options;
    options.environment = {{"LDAPTLS_REQCERT", "never"}};
    ProcessResult tried = tervane({"-Z", "refresh"}, options);
    EXPECT_NE(tried.exit_code, 0);
    EXPECT_EQ(tried.err.find("going on without TLS"), std::string::npos) << tried.err;
    EXPECT_NE(tried.err.find("ldap_start_tls"), std::string::npos) << tried.err;
    EXPECT_EQ(sent_names(), std::vector<std::string>{"1.3.6.1.4.1.1466.20037"});
}

TEST_F(CliTest, WithoutDTheClientLibrarysDefaultBindDnIsUsed)
{
    ProcessOptions options;
    options.environment = {{"LDAPNOINIT", std::nullopt}, {"LDAPCONF", "/nonexistent"}, {"LDAPRC", "/nonexistent"},
                           {"LDAPBINDDN", "cn=from environment"}};
    run({"-H", peer.uri(), "-x", "-w", "secret", "whoami"}, options);
    ASSERT_FALSE(peer.binds().empty());
    EXPECT_EQ(peer.binds().back().first, "cn=from environment");
}

TEST_F(CliTest, BadNotificationIsReportedAndTheMonitorGoesOn)
{
    testpeer::Reply reply = testpeer::Reply::success_named(ADMIN_OID(80), der::sequence({der::integer(0), der::set({})}));
    reply.intermediates = {{std::string(ADMIN_OID(81)), der::sequence({der::integer(1)})},
                           {std::string(ADMIN_OID(81)), der::sequence({der::integer(2), der::integer(0)})}};
    peer.reply(reply);
    ProcessResult result = tervane({"-o", "json", "monitor", "1,2"});
    EXPECT_EQ(result.exit_code, 84) << result.err;  // an event was lost
    EXPECT_EQ(result.err, "tervane: an event notification could not be decoded: Decoding error (84)\n");
    EXPECT_EQ(result.out, "{\"result\":84,\"error\":\"Decoding error\"}\n"
                          "{\"event_type\":2,\"result\":0,\"data_type\":null,\"record\":null}\n"
                          "{\"end\":true,\"accepted\":[]}\n");
}

}  // namespace
TEST(ReportException, EveryExceptionEndsInAnErrorLineAndADocumentedStatus)
{
    struct Case {
        std::function<void()> raise;
        int status;
        std::string error;
    } cases[] = {
        {[] { throw cli::UsageError("bad flag"); }, 89, "tervane: bad flag\nTry 'tervane --help'.\n"},
        {[] { throw cli::InputError("bad file"); }, 89, "tervane: bad file\n"},
        {[] { throw cli::Failed{-1}; }, 81, ""},  // reported where it happened
        {[] { throw std::bad_alloc(); }, 90, "tervane: out of memory\n"},
        {[] { throw std::out_of_range("vector::_M_range_check"); }, 80,
         "tervane: internal error: vector::_M_range_check\n"},
        {[] { throw 7; }, 80, "tervane: internal error\n"},
    };
    for (const Case& c : cases) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        cli::Output output(out, err);
        int status = -1;
        try {
            c.raise();
        } catch (...) {
            status = cli::report_exception(output);
        }
        EXPECT_EQ(status, c.status) << c.error;
        std::rewind(err);
        std::string written;
        for (int ch; (ch = std::fgetc(err)) != EOF;)
            written += static_cast<char>(ch);
        EXPECT_EQ(written, c.error);
        std::fclose(out);
        std::fclose(err);
    }
}

}  // namespace clitest
