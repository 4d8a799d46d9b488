// The LDIF loader: the bulk stream on the wire, the failure report, resuming,
// input from standard input, bad input and the progress bar.
#include <thread>

#include "cli_fixture.h"
#include "progress.h"

namespace clitest {
namespace {

namespace d = der;

const char* const kChanges = "version: 1\n"
                             "\n"
                             "# a plain entry is an add\n"
                             "dn: cn=a,o=x\n"
                             "objectClass: person\n"
                             "cn: a\n"
                             "sn:: YmluYXJ5\n"
                             "\n"
                             "dn: cn=b,o=x\n"
                             "changetype: modify\n"
                             "replace: mail\n"
                             "mail: b@x\n"
                             "-\n"
                             "\n"
                             "dn: cn=c,o=x\n"
                             "changetype: delete\n"
                             "\n"
                             "dn: cn=d,o=x\n"
                             "changetype: modrdn\n"
                             "newrdn: cn=e\n"
                             "deleteoldrdn: 1\n"
                             "newsuperior: o=y\n";

// count records "dn: cn=uN,o=x" of three lines each and a blank line: record
// N starts on line 4N - 3.
std::string generated(int count, int bad_record = 0)
{
    std::string text;
    for (int n = 1; n <= count; ++n) {
        text += "dn: cn=u" + std::to_string(n) + ",o=x\n";
        text += n == bad_record ? "changetype: bogus\n" : "objectClass: top\n";
        text += "cn: u" + std::to_string(n) + "\n\n";
    }
    return text;
}

// The operations of a batch request: its sequence number and the DN of each.
struct BatchSeen {
    int sequence = -1;
    std::vector<std::string> dns;
};

BatchSeen decode_batch(const std::string& value)
{
    BatchSeen seen;
    berval bytes{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())};
    BerElement* ber = ber_init(&bytes);
    ber_len_t length = 0;
    berval element{};
    if (ber_scanf(ber, "{i", &seen.sequence) != LBER_ERROR) {
        // Each element: SEQUENCE { [APPLICATION n] { dn, ... } or a delete's
        // primitive dn, [0] controls OPTIONAL }.
        while (ber_peek_tag(ber, &length) == 0x30 && ber_scanf(ber, "m", &element) != LBER_ERROR) {
            BerElement* operation = ber_init(&element);
            berval dn{};
            bool primitive = ber_peek_tag(operation, &length) == 0x4A;
            if (ber_scanf(operation, primitive ? "m" : "{m", &dn) != LBER_ERROR)
                seen.dns.emplace_back(dn.bv_val, dn.bv_len);
            ber_free(operation, 1);
        }
    }
    ber_free(ber, 1);
    return seen;
}

// A failed operation's entry in a batch answer.
std::string failure(int number, int code, const std::string& text)
{
    return d::sequence({d::integer(number), d::sequence({d::integer(code), d::octets(""), d::octets(text)})});
}

class Loader : public CliTest {
protected:
    std::vector<testpeer::Request> batches()
    {
        std::vector<testpeer::Request> found;
        for (const auto& request : peer.requests())
            if (request.name == LBURP_OID(6))
                found.push_back(request);
        return found;
    }
};

TEST_F(Loader, SendsChangeRecordsAndEntriesAsOneStreamInBatches)
{
    TempFile ldif(kChanges, ".ldif");
    ProcessResult result = tervane({"load", "--batch", "2", ldif.path()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].name, LBURP_OID(1));
    EXPECT_EQ(rendered(requests[0]), std::string("{'") + LDAPEXT_BULK_UPDATE_STYLE + "'}");
    EXPECT_EQ(requests[1].name, LBURP_OID(6));
    EXPECT_EQ(rendered(requests[1]),
              "{int 1, {[68]{'cn=a,o=x', {{'objectClass', set{'person'}}, {'cn', set{'a'}}, {'sn', set{'binary'}}}}}, "
              "{[66]{'cn=b,o=x', {{enum 2, {'mail', set{'b@x'}}}}}}}");
    EXPECT_EQ(rendered(requests[2]), "{int 2, {[4a]'cn=c,o=x'}, {[6c]{'cn=d,o=x', 'cn=e', true, [80]'o=y'}}}");
    EXPECT_EQ(requests[3].name, LBURP_OID(4));
    EXPECT_EQ(rendered(requests[3]), "{int 3}");
    EXPECT_EQ(result.out.rfind("4 records sent: 4 succeeded, 0 failed, 0 unconfirmed (", 0), 0u) << result.out;
}

TEST_F(Loader, ReportsEveryFailedRecordWithItsLineAndGoesOn)
{
    int batch = 0;
    peer.set_responder([&batch](const testpeer::Request& request) {
        testpeer::Reply reply;
        reply.pair_name = true;
        if (request.name == LBURP_OID(6)) {
            ++batch;
            if (batch == 1)
                reply.value = failure(2, 68, "entry already exists");
            else if (batch == 2)
                reply.value = failure(1, 32, "") + failure(3, 0, "") + failure(4, 50, "denied");
        }
        return reply;
    });
    TempFile ldif(generated(10), ".ldif");
    TempFile report;
    ProcessResult result = tervane({"load", "--batch", "4", "--window", "1", ldif.path(), "--report", report.path()});
    EXPECT_EQ(result.exit_code, 68);
    EXPECT_EQ(report.content(), "line 5: cn=u2,o=x: Already exists (68): entry already exists\n"
                                "line 17: cn=u5,o=x: No such object (32)\n"
                                "line 29: cn=u8,o=x: Insufficient access (50): denied\n");
    EXPECT_EQ(result.out.rfind("10 records sent: 7 succeeded, 3 failed, 0 unconfirmed (", 0), 0u) << result.out;
}

TEST_F(Loader, FailureReportInJsonModeIsOneLinePerRecord)
{
    peer.set_responder([](const testpeer::Request& request) {
        testpeer::Reply reply = testpeer::Reply::with_value(request.name == LBURP_OID(6) ? failure(1, 68, "exists")
                                                                                         : std::string());
        if (request.name != LBURP_OID(6))
            reply.value.reset();
        return reply;
    });
    TempFile ldif(generated(2), ".ldif");
    ProcessResult result = tervane({"-o", "json", "load", ldif.path()});
    EXPECT_EQ(result.exit_code, 68);
    auto newline = result.out.find('\n');
    ASSERT_NE(newline, std::string::npos);
    EXPECT_EQ(Json::parse(result.out.substr(0, newline)),
              Json::parse(R"({"record":1,"line":1,"dn":"cn=u1,o=x","result":68,"error":"Already exists","message":"exists"})"));
    Json summary = Json::parse(result.out.substr(newline + 1))["summary"];
    EXPECT_EQ(summary["records"], 2);
    EXPECT_EQ(summary["succeeded"], 1);
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_EQ(summary["batches"], 1);
}

TEST_F(Loader, AFailedBatchStopsTheStreamAndTellsWhereToResume)
{
    int batch = 0;
    peer.set_responder([&batch](const testpeer::Request& request) {
        testpeer::Reply reply;
        reply.pair_name = true;
        if (request.name == LBURP_OID(6) && ++batch == 2) {
            reply.result_code = 51;
            reply.diagnostic = "busy";
        }
        return reply;
    });
    TempFile ldif(generated(10), ".ldif");
    ProcessResult stopped = tervane({"load", "--batch", "4", "--window", "1", ldif.path()});
    EXPECT_EQ(stopped.exit_code, 51);
    EXPECT_NE(stopped.out.find("8 records sent: 4 succeeded, 0 failed, 4 unconfirmed"), std::string::npos)
        << stopped.out;
    EXPECT_NE(stopped.out.find("the stream stopped: Server is busy (51): busy\n"), std::string::npos) << stopped.out;
    EXPECT_NE(stopped.out.find("to resume, run again with --continue-from 5\n"), std::string::npos) << stopped.out;
    EXPECT_EQ(peer.requests().back().name, LBURP_OID(4));  // the stream is still ended

    std::size_t before = peer.requests().size();
    ProcessResult resumed = tervane({"load", "--batch", "4", "--continue-from", "5", ldif.path()});
    EXPECT_EQ(resumed.exit_code, 0) << resumed.out;
    std::vector<std::string> dns;
    auto requests = peer.requests();
    for (std::size_t i = before; i < requests.size(); ++i)
        if (requests[i].name == LBURP_OID(6))
            for (const std::string& dn : decode_batch(*requests[i].value).dns)
                dns.push_back(dn);
    EXPECT_EQ(dns, (std::vector<std::string>{"cn=u5,o=x", "cn=u6,o=x", "cn=u7,o=x", "cn=u8,o=x", "cn=u9,o=x",
                                             "cn=u10,o=x"}));
}

TEST_F(Loader, EveryRecordIsSentOnceAndInOrderWithSeveralBatchesInFlight)
{
    TempFile ldif(generated(2000), ".ldif");
    ProcessResult result = tervane({"load", "--batch", "100", "--window", "3", ldif.path()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    auto sent = batches();
    ASSERT_EQ(sent.size(), 20u);
    int expected = 1;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        BatchSeen seen = decode_batch(*sent[i].value);
        EXPECT_EQ(seen.sequence, static_cast<int>(i) + 1);
        ASSERT_EQ(seen.dns.size(), 100u);
        for (const std::string& dn : seen.dns)
            EXPECT_EQ(dn, "cn=u" + std::to_string(expected++) + ",o=x");
    }
    EXPECT_EQ(rendered(peer.requests().back()), "{int 21}");
}

TEST_F(Loader, RefusedStreamSendsNoBatch)
{
    testpeer::Reply refusal = testpeer::Reply::error(53);
    refusal.name = LBURP_OID(2);
    refusal.diagnostic = "bulk loading is off";
    peer.reply(refusal);
    TempFile ldif(kChanges, ".ldif");
    ProcessResult result = tervane({"load", ldif.path()});
    EXPECT_EQ(result.exit_code, 53);
    EXPECT_EQ(result.err, "tervane: starting the bulk stream: Server is unwilling to perform (53)\n"
                          "\tadditional info: bulk loading is off\n");
    EXPECT_EQ(sent_names(), std::vector<std::string>{LBURP_OID(1)});
}

TEST_F(Loader, ReadsStandardInput)
{
    ProcessOptions options;
    options.input = kChanges;
    ProcessResult result = tervane({"load"}, options);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    ASSERT_EQ(batches().size(), 1u);
    EXPECT_EQ(decode_batch(*batches()[0].value).dns,
              (std::vector<std::string>{"cn=a,o=x", "cn=b,o=x", "cn=c,o=x", "cn=d,o=x"}));
}

TEST_F(Loader, BadRecordInAFileIsFoundBeforeAnythingIsSent)
{
    TempFile ldif(generated(6, 4), ".ldif");
    ProcessResult result = tervane({"load", ldif.path()});
    EXPECT_EQ(result.exit_code, 89);
    EXPECT_NE(result.err.find("unknown changetype \"bogus\" (line 14"), std::string::npos) << result.err;
    // One line number: the one libldap names.
    EXPECT_NE(result.err.find(ldif.path() + ": not a valid LDIF record (the line above); nothing was sent"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(peer.requests().empty());
}

TEST_F(Loader, BadRecordOnStandardInputEndsTheStreamAfterTheRecordsBeforeIt)
{
    ProcessOptions options;
    options.input = generated(6, 4);
    ProcessResult result = tervane({"load"}, options);
    EXPECT_EQ(result.exit_code, 89);
    ASSERT_EQ(batches().size(), 1u);
    EXPECT_EQ(decode_batch(*batches()[0].value).dns.size(), 3u);
    EXPECT_NE(result.err.find("record 4 is not valid LDIF"), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("correct record 4, then run again with --continue-from 4\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(peer.requests().back().name, LBURP_OID(4));
}

TEST_F(Loader, DryRunChecksTheFileAndSendsNothing)
{
    TempFile ldif(kChanges, ".ldif");
    ProcessResult result = tervane({"-n", "load", "--continue-from", "3", ldif.path()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "record 3, line 15: delete cn=c,o=x\nrecord 4, line 18: modrdn cn=d,o=x\nfile: " +
                              ldif.path() + "\nrecords: 4\n");
    // Past the end is no success.
    ProcessResult past = tervane({"-n", "load", "--continue-from", "6", ldif.path()});
    EXPECT_EQ(past.exit_code, 89);
    EXPECT_NE(past.err.find("holds 4 records; nothing was sent"), std::string::npos) << past.err;
    ProcessOptions options;
    options.input = kChanges;
    ProcessResult past_on_input = tervane({"load", "--continue-from", "6"}, options);
    EXPECT_EQ(past_on_input.exit_code, 89);
    EXPECT_NE(past_on_input.err.find("held 4 records; nothing was sent"), std::string::npos) << past_on_input.err;
    EXPECT_TRUE(batches().empty());
}

TEST_F(Loader, ProgressBarIsDrawnOnATerminalOnly)
{
    TempFile ldif(generated(50), ".ldif");
    ProcessOptions terminal;
    terminal.terminal_stderr = true;
    ProcessResult drawn = tervane({"load", "--batch", "10", ldif.path()}, terminal);
    EXPECT_EQ(drawn.exit_code, 0);
    EXPECT_NE(drawn.err.find("50/50 records"), std::string::npos) << drawn.err;
    EXPECT_NE(drawn.err.find("\r"), std::string::npos);
    ProcessResult piped = tervane({"load", "--batch", "10", ldif.path()});
    EXPECT_EQ(piped.exit_code, 0);
    EXPECT_EQ(piped.err, "");
}

TEST(ProgressLine, ShowsDoneTotalRateAndTimeLeft)
{
    std::string line = cli::Progress::line(50, 100, 10.0, 70);
    EXPECT_EQ(line.rfind("[", 0), 0u);
    EXPECT_NE(line.find("] 50/100 records  5/s  0:00:10 left"), std::string::npos) << line;
    std::size_t bar = line.find(']') - 1;
    EXPECT_EQ(line.substr(1, bar / 2), std::string(bar / 2, '#'));
    EXPECT_LE(line.size(), 69u);
    EXPECT_EQ(cli::Progress::line(1234, 0, 2.0, 80), "1234 records  617/s  0:00:02");
    EXPECT_EQ(cli::Progress::line(0, 10, 0.0, 60).find("-:--:-- left") != std::string::npos, true);
}

}  // namespace
}  // namespace clitest
