// Every allocation point of the bulk-update requests and of the decoding of
// their answers, failed in turn: each gives 90 and leaves nothing allocated
// (the sanitizer build checks leaks), including the error messages of the
// results read before the failure.
#include "allocation_sweep.h"
#include "peer_fixture.h"

namespace d = der;
using testpeer::handle_error;
using testpeer::set_handle_error;

namespace {

std::string entry(int operation, const std::string& message)
{
    return d::sequence({d::integer(operation), d::sequence({d::integer(0), d::octets("o=x"), d::octets(message)})});
}

}  // namespace

class LburpAllocation : public PeerTest {
protected:
    LDAPMessage* answer = nullptr;

    // Sends an end request and keeps its answer, which carries what the
    // responder gives; the parse functions read it whatever its name.
    std::function<void()> collect_answer(testpeer::Reply reply)
    {
        peer.set_responder([reply](const testpeer::Request&) { return reply; });
        return [this] {
            int msgid = 0;
            ASSERT_EQ(ldap_lburp_end_request(ld, 1, &msgid), 0);
            timeval timeout{5, 0};
            ASSERT_EQ(ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &answer), LDAP_RES_EXTENDED);
            set_handle_error(ld, 77);
        };
    }
    // Runs a parse over the kept answer, which it releases; checks that the
    // result is recorded.
    int parse(const std::function<int(LDAPMessage*)>& call)
    {
        int rc = call(std::exchange(answer, nullptr));
        EXPECT_EQ(handle_error(ld), rc);
        return rc;
    }
};

TEST_F(LburpAllocation, RequestsGive90AtTheEncoderUnrecordedAndTheFlattenedRequestRecorded)
{
    char dn[] = "cn=a";
    lburp_operation remove{LBURP_OP_DELETE, dn, nullptr, nullptr};
    lburp_operation* batch[] = {&remove, nullptr};
    int msgid = 0;
    std::function<int()> requests[] = {
        [&] { return ldap_lburp_start_request(ld, &msgid); },
        [&] { return ldap_lburp_operation_request(ld, 1, batch, &msgid); },
        [&] { return ldap_lburp_end_request(ld, 1, &msgid); },
    };
    for (auto& request : requests) {
        long points = sweep_allocations(
            request,
            [&](long point, int result) {
                EXPECT_EQ(result, 90) << point;
                EXPECT_EQ(handle_error(ld), point == 1 ? 77 : 90) << point;
            },
            [&] { set_handle_error(ld, 77); });
        EXPECT_EQ(points, 2);
    }
}

TEST_F(LburpAllocation, OperationResponseGives90AtTheDecoderAndEveryGrowthOfTheResults)
{
    auto collect =
        collect_answer(testpeer::Reply::success_named(LBURP_OID(7), d::concat({entry(1, "a"), entry(2, "b"),
                                                                                entry(3, "c")})));
    long points = sweep_allocations(
        [&] {
            return parse([&](LDAPMessage* message) {
                int count = -1;
                lburp_operation_result* results = nullptr;
                int rc = ldap_parse_lburp_operation_response(ld, message, nullptr, nullptr, &count, &results, 1);
                if (rc != 0) {
                    EXPECT_EQ(results, nullptr);
                    EXPECT_EQ(count, 0);
                }
                for (int i = 0; results != nullptr && i < count; ++i)
                    ldap_memfree(results[i].error_message);
                tervane_memfree(results);
                return rc;
            });
        },
        {}, collect);
    // The reader of the response, the decoder, then room for 1, 2 and 4
    // entries: the array doubles.
    EXPECT_EQ(points, 5);
}

TEST_F(LburpAllocation, StartResponseGives90AtTheDecoderAndEndResponseOnlyLooksAtTheMessage)
{
    auto start = collect_answer(testpeer::Reply::success_named(LBURP_OID(2), d::sequence({d::integer(3)})));
    EXPECT_EQ(sweep_allocations(
                  [&] {
                      return parse([&](LDAPMessage* message) {
                          int start_value = -1;
                          return ldap_parse_lburp_start_response(ld, message, nullptr, nullptr, &start_value, 1);
                      });
                  },
                  {}, start),
              2);
    auto end = collect_answer(testpeer::Reply::success_named(LBURP_OID(5)));
    EXPECT_EQ(sweep_allocations(
                  [&] {
                      return parse([&](LDAPMessage* message) {
                          return ldap_parse_lburp_end_response(ld, message, nullptr, nullptr, 1);
                      });
                  },
                  {}, end),
              1);
}
