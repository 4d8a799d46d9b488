// The event monitor: the request on the wire, every kind of record printed
// by field name, and the ways a stream ends.
#include <csignal>

#include "cli_fixture.h"

namespace clitest {
namespace {

namespace d = der;

testpeer::Intermediate notification(int type, const std::string& data)
{
    return {std::string(ADMIN_OID(81)), d::sequence({d::integer(type), d::integer(0), data})};
}

// One notification of each kind of field.
std::vector<testpeer::Intermediate> notifications()
{
    return {
        // Layout 3: its third and fourth INTEGERs swap; tagged groups of
        // integers and strings.
        notification(3, d::element(0x63, d::concat({d::integer(1), d::integer(2), d::integer(40), d::integer(30),
                                                    d::octets("t", 0x85),
                                                    d::element(0x86, d::concat({d::integer(5), d::integer(6)})),
                                                    d::element(0xA7, d::concat({d::octets("s1"), d::octets("")}))}))),
        // Layout 6: counted values, one of them binary.
        notification(6, d::element(0x66, d::concat({d::octets("a"), d::integer(4), d::octets("b"),
                                                    d::sequence({d::integer(2),
                                                                 d::sequence({d::sequence({d::integer(1),
                                                                                           d::octets("v1")}),
                                                                              d::sequence({d::integer(2),
                                                                                           d::octets("\x01\x02")})})})}))),
        // Layout 7: the two fixed-size texts.
        notification(7, d::element(0x67, d::concat({d::octets("x"), d::integer(3), d::octets("short"), d::octets(""),
                                                    d::octets("y")}))),
        // Layout 8: bytes stored in the record.
        notification(8, d::element(0x68, d::concat({d::integer(9), d::octets("inline")}))),
        // Layout 13 of kind 3: a text value.
        notification(13, d::element(0x6D, d::concat({d::integer(3), d::octets("k"), d::octets("v", 0x84)}))),
        // Layout 17: prefix and string list.
        notification(17, d::element(0x71, d::concat({d::sequence({d::integer(5), d::integer(6), d::octets("p")}),
                                                     d::integer(1), d::integer(2), d::octets("t1"), d::integer(3),
                                                     d::octets("t2"), d::integer(4),
                                                     d::element(0x80, d::concat({d::sequence({d::octets("l1")}),
                                                                                 d::sequence({d::octets("l2")})}))}))),
        // Data type 4 carries no record.
        notification(4, d::element(0x64, d::integer(1))),
        // Layout 29.
        notification(29, d::element(0x7D, d::concat({d::integer(77), d::octets("last")}))),
        // Layout 1: its time stamp is a time and a sequence number.
        notification(1, d::element(0x61, d::concat({d::octets("cn=e"), d::octets("cn=r"), d::octets("top"),
                                                    d::sequence({d::integer(1765195090), d::integer(7),
                                                                 d::integer(0)}),
                                                    d::integer(0), d::integer(0), d::octets("cn")}))),
    };
}

std::string accepted(std::initializer_list<std::pair<int, int>> events)
{
    std::string specs;
    for (auto [type, status] : events)
        specs += d::sequence({d::integer(type), d::enumerated(status)});
    return d::sequence({d::integer(static_cast<long long>(events.size())), d::element(0x31, specs)});
}

const char* const kJsonLines[] = {
    R"({"event_type":3,"result":0,"data_type":3,"record":{"number1":1,"number2":2,"number3":30,"number4":40,"text":"t","values":[5,6,0,0],"strings":["s1",null,null,null]}})",
    R"({"event_type":6,"result":0,"data_type":6,"record":{"text1":"a","number1":4,"text2":"b","count":2,"values":[{"type":1,"length":2,"data":"v1"},{"type":2,"length":2,"data":{"base64":"AQI="}}]}})",
    R"({"event_type":7,"result":0,"data_type":7,"record":{"text1":"x","number1":3,"text2":"y","short_text":"short","long_text":""}})",
    R"({"event_type":8,"result":0,"data_type":8,"record":{"value":9,"length":6,"data":"inline"}})",
    R"({"event_type":13,"result":0,"data_type":13,"record":{"kind":3,"text":"k","value":{"text":"v"}}})",
    R"({"event_type":17,"result":0,"data_type":17,"record":{"prefix":{"number1":5,"number2":6,"text":"p"},"number1":1,"number2":2,"text1":"t1","number3":3,"text2":"t2","list":["l1","l2"],"number4":4}})",
    R"({"event_type":4,"result":0,"data_type":4,"record":null})",
    R"({"event_type":29,"result":0,"data_type":29,"record":{"number1":77,"text1":"last"}})",
    R"({"event_type":1,"result":0,"data_type":1,"record":{"text1":"cn=e","text2":"cn=r","text3":"top","number1":0,"number2":0,"time":"2025-12-08T11:58:10Z","sequence":7,"triple3":0,"data":"cn"}})",
    R"({"end":true,"accepted":[{"event_type":3,"status":0},{"event_type":6,"status":1}]})",
};

class Monitor : public CliTest {
protected:
    void serve_events()
    {
        testpeer::Reply reply = testpeer::Reply::success_named(ADMIN_OID(80), accepted({{3, 0}, {6, 1}}));
        reply.intermediates = notifications();
        peer.reply(reply);
    }
};

TEST_F(Monitor, SendsTheEventsAndPrintsEveryRecordAsAJsonLine)
{
    serve_events();
    ProcessResult result = tervane({"-o", "json", "monitor", "3,6:1,7,8,13,17,4,29,1"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0].name, ADMIN_OID(79));
    EXPECT_EQ(rendered(peer.requests()[0]),
              "{int 9, set{{int 3, enum 0}, {int 6, enum 1}, {int 7, enum 0}, {int 8, enum 0}, {int 13, enum 0}, "
              "{int 17, enum 0}, {int 4, enum 0}, {int 29, enum 0}, {int 1, enum 0}}}");
    std::string expected;
    for (const char* line : kJsonLines)
        expected += std::string(line) + "\n";
    EXPECT_EQ(result.out, expected);
}

TEST_F(Monitor, PrintsRecordsForPeopleFieldByField)
{
    serve_events();
    ProcessResult result = tervane({"monitor", "3"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    const std::string layout6 = "event_type: 6\nresult: 0\ndata_type: 6\nrecord:\n  text1: a\n  number1: 4\n"
                                "  text2: b\n  count: 2\n  values:\n    type: 1\n    length: 2\n    data: v1\n"
                                "  values:\n    type: 2\n    length: 2\n    data:: AQI=\n\n";
    const std::string layout17 = "event_type: 17\nresult: 0\ndata_type: 17\nrecord:\n  prefix:\n    number1: 5\n"
                                 "    number2: 6\n    text: p\n  number1: 1\n  number2: 2\n  text1: t1\n"
                                 "  number3: 3\n  text2: t2\n  list: l1\n  list: l2\n  number4: 4\n\n";
    EXPECT_NE(result.out.find(layout6), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(layout17), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("event_type: 4\nresult: 0\ndata_type: 4\n\n"), std::string::npos) << result.out;
}

TEST_F(Monitor, FiltersGoOnePerEventOrOneForAll)
{
    peer.set_responder([](const testpeer::Request&) { return testpeer::Reply::success_named(ADMIN_OID(80)); });
    ProcessResult each = tervane({"monitor", "1,2:3", "--filter", "(cn=a)", "--filter", "(cn=b)"});
    EXPECT_EQ(each.exit_code, 0) << each.err;
    ProcessResult all = tervane({"monitor", "1,2", "--filter", "(cn=*)"});
    EXPECT_EQ(all.exit_code, 0) << all.err;
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].name, ADMIN_OID(84));
    EXPECT_EQ(rendered(requests[0]), "{int 2, set{{int 1, enum 0, '(cn=a)'}, {int 2, enum 3, '(cn=b)'}}}");
    EXPECT_EQ(rendered(requests[1]), "{int 2, set{{int 1, enum 0, '(cn=*)'}, {int 2, enum 0, '(cn=*)'}}}");
}

TEST_F(Monitor, ServerRefusalEndsWithItsCode)
{
    testpeer::Reply refusal = testpeer::Reply::error(53);
    refusal.name = ADMIN_OID(80);
    refusal.diagnostic = "monitoring is off";
    peer.reply(refusal);
    ProcessResult result = tervane({"monitor", "1"});
    EXPECT_EQ(result.exit_code, 53);
    EXPECT_EQ(result.err, "tervane: monitor: Server is unwilling to perform (53)\n\tadditional info: monitoring is off\n");
}

TEST_F(Monitor, InterruptAbandonsTheRequestAndEndsCleanly)
{
    testpeer::Reply endless;
    endless.intermediates = {notification(29, d::element(0x7D, d::concat({d::integer(1), d::octets("one")})))};
    endless.raw_message = "";  // no final answer: the stream stays open
    peer.reply(endless);
    Process process(with_peer({"-o", "json", "monitor", "29"}));
    ASSERT_TRUE(process.wait_for_output("\"one\""));
    process.signal(SIGINT);
    ProcessResult result = process.finish();
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, R"({"event_type":29,"result":0,"data_type":29,"record":{"number1":1,"text1":"one"}})"
                          "\n");
    ASSERT_TRUE(peer.wait_for_requests(1));
    for (int i = 0; i < 100 && peer.abandoned().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(peer.abandoned(), std::vector<int>{peer.requests()[0].message_id});
}

}  // namespace
}  // namespace clitest
