// Allocation failures of the replication-filter exports.
#include "allocation_sweep.h"
#include "peer_fixture.h"

namespace d = der;

class FilterAllocation : public PeerTest {
protected:
    char server[16] = "cn=server";
};

TEST_F(FilterAllocation, SettingGives90WhenTheEncoderOrTheRequestCannotBeHad)
{
    char filter[] = "C1$A1$A2$$C2$$$";
    EXPECT_EQ(sweep_allocations([&] { return ldap_set_replication_filter(ld, server, filter); }), 2);
}

TEST_F(FilterAllocation, ReadingGives84WhenNoDecoderCanBeMadeAnd90ForTheOtherPoints)
{
    always_reply_value(d::sequence({d::sequence({d::octets("C"), d::sequence({d::octets("A")})})}));
    constexpr long kDecoderPoint = 3;  // after the encoder and the flattened request
    long points = sweep_allocations(
        [&] {
            char* filter = nullptr;
            int rc = ldap_get_replication_filter(ld, server, &filter);
            tervane_memfree(filter);
            return rc;
        },
        [](long point, int result) { EXPECT_EQ(result, point == kDecoderPoint ? 84 : 90) << point; });
    EXPECT_EQ(points, 4);
}
