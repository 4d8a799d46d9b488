// Allocation failures of backup and restore: each gives 90, recorded on the
// handle from the encoding on, and the caller's state text survives.
#include <cstring>

#include "allocation_sweep.h"
#include "peer_fixture.h"

namespace d = der;
using testpeer::handle_error;
using testpeer::set_handle_error;

class BackupAllocation : public PeerTest {
protected:
    char dn[16] = "cn=object";
};

TEST_F(BackupAllocation, EveryPointGives90AndLeavesTheOutputsAndStateAlone)
{
    always_reply_value(d::concat({d::integer(3), d::integer(4), d::integer(5), d::octets("abc"),
                                  d::sequence({d::integer(2), d::set({d::sequence({d::integer(1)}),
                                                                      d::sequence({d::integer(2)})})})}));
    char* state = nullptr;
    long points = sweep_allocations(
        [&] {
            char* data = nullptr;
            char* sizes = nullptr;
            int length = 0;
            int rc = ldap_backup_object(ld, dn, nullptr, &state, &data, &sizes, &length);
            if (rc != 0) {
                EXPECT_STREQ(state, "1+2");
                EXPECT_EQ(data, nullptr);
                EXPECT_EQ(sizes, nullptr);
            }
            tervane_memfree(state);
            tervane_memfree(data);
            tervane_memfree(sizes);
            state = nullptr;
            return rc;
        },
        [&](long point, int result) {
            EXPECT_EQ(result, 90) << point;
            // The encoder is the first point: its failure is not recorded.
            EXPECT_EQ(handle_error(ld), point == 1 ? 77 : 90) << point;
        },
        [&] {
            set_handle_error(ld, 77);
            state = tervane::copy_string("1+2", 3);
        });
    EXPECT_GE(points, 7);  // encoder, request, response reader, decoder, size list, data block, state text
}

TEST_F(BackupAllocation, RestoreGives90AtTheEncoderTheRequestAndTheResponseReader)
{
    char block[] = "abc";
    char sizes[] = "1;3;";
    // Encoder, flattened request, reader of the response.
    EXPECT_EQ(sweep_allocations([&] { return ldap_restore_object(ld, dn, nullptr, block, sizes, 3); }), 3);
}
