// Every allocation point of the monitor requests and of the decoding of their
// answer, failed in turn: each gives 90 and leaves nothing allocated (the
// sanitizer build checks leaks). The encoder's failure is not recorded on the
// handle; every other one is.
#include "allocation_sweep.h"
#include "extended_result.h"
#include "peer_fixture.h"

namespace d = der;
using testpeer::handle_error;
using testpeer::set_handle_error;

namespace {

std::string list_of(int count, int elements)
{
    std::string set;
    for (int i = 0; i < elements; ++i)
        set += d::sequence({d::integer(i), d::enumerated(0)});
    return d::sequence({d::integer(count), d::element(0x31, set)});
}

}  // namespace

class MonitorAllocation : public PeerTest {
protected:
    // Checks a sweep run of a send: the encoder (point 1) is not recorded.
    std::function<void(long, int)> send_expectation()
    {
        return [this](long point, int result) {
            EXPECT_EQ(result, 90) << point;
            EXPECT_EQ(handle_error(ld), point == 1 ? 77 : 90) << point;
        };
    }
};

TEST_F(MonitorAllocation, SendsGive90AtTheEncoderAndTheFlattenedRequest)
{
    event_spec events[] = {{1, 0}, {2, 1}};
    char filter[] = "(cn=*)";
    event_spec_filtered filtered[] = {{1, 0, filter}};
    int msgid = 0;
    auto reset = [&] { set_handle_error(ld, 77); };
    EXPECT_EQ(sweep_allocations([&] { return ldap_monitor_events(ld, 2, events, &msgid); }, send_expectation(),
                                reset),
              2);
    EXPECT_EQ(sweep_allocations([&] { return ldap_monitor_events_filtered(ld, 1, filtered, &msgid); },
                                send_expectation(), reset),
              2);
}

TEST_F(MonitorAllocation, ParseGives90RecordedAtTheDecoderAndTheList)
{
    always_reply_value(list_of(2, 2));
    LDAPMessage* answer = nullptr;
    auto collect = [&] {
        event_spec event{7, 0};
        int msgid = 0;
        ASSERT_EQ(ldap_monitor_events(ld, 1, &event, &msgid), 0);
        timeval timeout{5, 0};
        ASSERT_EQ(ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &answer), LDAP_RES_EXTENDED);
        set_handle_error(ld, 77);
    };
    long points = sweep_allocations(
        [&] {
            int result_code = -1, count = -1;
            event_spec* specs = nullptr;
            int rc = ldap_parse_monitor_events_response(ld, answer, &result_code, nullptr, &count, &specs, 1);
            answer = nullptr;
            if (rc != 0) {
                EXPECT_EQ(specs, nullptr);
                EXPECT_EQ(count, 0);
            }
            EXPECT_EQ(handle_error(ld), rc);
            tervane_memfree(specs);
            return rc;
        },
        {}, collect);
    EXPECT_EQ(points, 3);  // reader of the response, decoder, list
}

TEST(MonitorDecoderAllocation, CountTheValueCannotHoldIsRefusedBeforeTheListIsAllocated)
{
    for (int count : {3, 0x10000000, 0x7FFFFFFF, -1}) {
        std::string value = list_of(count, 2);
        berval bytes{value.size(), value.data()};
        int spec_count = -1;
        event_spec* specs = nullptr;
        tervane::testing::fail_allocation_at(0);
        EXPECT_EQ(tervane::decode_monitor_response(bytes, &spec_count, &specs), 84) << count;
        EXPECT_EQ(tervane::testing::allocations_counted(), 1) << count;  // the decoder only
        EXPECT_EQ(specs, nullptr);
        EXPECT_EQ(spec_count, 0);
    }
}
