// Allocation failures of the replication-filter exports.
#include "allocation_sweep.h"
#include "peer_fixture.h"

namespace d = der;

class FilterAllocation : public PeerTest {
protected:
    char server[16] = "cn=server";
};

TEST_F(FilterAllocation, SettingGives90AtTheEncoderTheRequestAndTheResponseReader)
{
    char filter[] = "C1$A1$A2$$C2$$$";
    // Encoder, flattened request, reader of the response.
    EXPECT_EQ(sweep_allocations([&] { return ldap_set_replication_filter(ld, server, filter); }), 3);
}

TEST_F(FilterAllocation, ReadingGives84WhenNoDecoderCanBeMadeAnd90ForTheOtherPoints)
{
    always_reply_value(d::sequence({d::sequence({d::octets("C"), d::sequence({d::octets("A")})})}));
    constexpr long kDecoderPoint = 4;  // after the encoder, the flattened request and the response reader
    long points = sweep_allocations(
        [&] {
            char* filter = nullptr;
            int rc = ldap_get_replication_filter(ld, server, &filter);
            tervane_memfree(filter);
            return rc;
        },
        [](long point, int result) { EXPECT_EQ(result, point == kDecoderPoint ? 84 : 90) << point; });
    EXPECT_EQ(points, 5);
}
