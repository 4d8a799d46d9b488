// Every allocation point of decoding rich event records, failed in turn: each
// gives 90 (the third text of layout 19 gives 84) and leaves nothing
// allocated (the sanitizer build checks leaks).
#include "allocation_sweep.h"
#include "event_records.h"
#include "peer_fixture.h"

namespace d = der;

namespace {

std::string i(long long value, std::uint8_t tag = 0x02) { return d::integer(value, tag); }
std::string s(std::string_view text, std::uint8_t tag = 0x04) { return d::octets(text, tag); }
std::string seq(std::initializer_list<std::string> parts, std::uint8_t tag = 0x30) { return d::sequence(parts, tag); }
std::string event(int n, std::initializer_list<std::string> fields, const std::string& after = "")
{
    return seq({i(7), i(0), d::element(static_cast<std::uint8_t>(0x60 + n), d::concat(fields)), after});
}

const std::string kPrefix = seq({i(1), i(2), s("p")});
const std::string kList = seq({seq({s("a")}), seq({s("b")}), seq({s("c")})}, 0x80);

int decode(const std::string& value)
{
    berval bytes{value.size(), const_cast<char*>(value.data())};
    int type = 0, result = 0;
    event_record* record = nullptr;
    int rc = tervane::decode_event_notification(bytes, &type, &result, &record);
    if (rc != 0) {
        EXPECT_EQ(record, nullptr);
    }
    ldap_event_free(record);
    return rc;
}

}  // namespace

TEST(EventRecordAllocation, EveryPointOfRichRecordsGives90)
{
    std::string typed = seq({s("two", 0x82), s("three", 0x83), seq({i(5), s("five")}, 0x85),
                             seq({i(1), seq({seq({i(1), i(2), i(3)})})}, 0x87)});
    // Lists of many short strings and tables of many small values need more
    // room than their bytes: the record takes overflow blocks for them.
    std::string long_list;
    std::string many_values;
    for (int n = 0; n < 60; ++n) {
        long_list += seq({s("x")});
        many_values += i(n, 0x81);
    }
    const std::string records[] = {
        event(16, {i(1), i(2), s("a"), s("b"), i(3), i(4), typed}),
        event(6, {s("a"), i(1), s("b"), seq({i(2), seq({seq({i(1), s("x")}), seq({i(2), s("y")})})})}),
        event(3, {i(1), i(2), i(3), i(4), s("t", 0x85), d::element(0xA7, d::concat({s("a"), s("b")}))}),
        event(8, {i(5), s("inline")}, d::concat({i(6), s("trailer")})),
        event(1, {s("a"), s("b"), s("c"), seq({i(1), i(2), i(3)}), i(4), i(5), s("data")}),
        event(13, {i(1), s("t"), s("data", 0x83)}),
        event(13, {i(3), s("t"), s("text", 0x84)}),
        event(17, {kPrefix, i(1), i(2), s("a"), i(3), s("b"), i(4), kList}),
        event(19, {kPrefix, i(1), i(2), s("t1"), s("t2"), i(3), s("t3"), i(4), seq({seq({s("x")})}), kList}),
    };
    for (const std::string& record : records) {
        long points = sweep_allocations([&] { return decode(record); });
        EXPECT_GE(points, 2);  // the decoder and the record's block
    }
    for (const std::string& record : {event(20, {kPrefix, i(1), i(2), s("a"), s("b"), i(3), d::element(0x30, long_list)}),
                                      event(16, {i(1), i(2), s("a"), s("b"), i(3), i(60), seq({many_values})})}) {
        long points = sweep_allocations([&] { return decode(record); });
        EXPECT_GE(points, 3);  // and at least one overflow block
    }
}

class EventNotificationAllocation : public PeerTest {};

TEST_F(EventNotificationAllocation, ParsingANotificationGives90AndRecordsIt)
{
    std::string value = event(17, {kPrefix, i(1), i(2), s("a"), i(3), s("b"), i(4), kList});
    peer.set_responder([&](const testpeer::Request&) {
        auto reply = testpeer::Reply::success_named(ADMIN_OID(80));
        reply.intermediates = {{ADMIN_OID(81), value}};
        return reply;
    });
    std::string request = seq({i(1), d::set({seq({i(7), d::enumerated(0)})})});
    sweep_allocations([&] {
        berval bytes{request.size(), request.data()};
        int msgid = -1;
        EXPECT_EQ(ldap_extended_operation(ld, ADMIN_OID(79), &bytes, nullptr, nullptr, &msgid), 0);
        timeval timeout{5, 0};
        LDAPMessage* message = nullptr;
        EXPECT_EQ(ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message), LDAP_RES_INTERMEDIATE);
        int type = 0, result = 0;
        event_record* record = nullptr;
        int rc = ldap_parse_ds_event(ld, message, &type, &result, &record, 1);
        EXPECT_EQ(testpeer::handle_error(ld), rc);
        ldap_event_free(record);
        EXPECT_EQ(ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message), LDAP_RES_EXTENDED);
        ldap_msgfree(message);
        return rc;
    });
}
