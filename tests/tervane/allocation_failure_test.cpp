// Every allocation point of the synchronous administration exports, failed in
// turn: each gives 90 and leaks nothing (the sanitizer build checks leaks),
// the message whose response is looked at included.
// This program links Tervane's objects with the client library's allocating
// entry points wrapped, so that their failures can be made on demand.
#include "allocation_sweep.h"
#include "peer_fixture.h"

namespace d = der;

extern "C" {
BerElement* __real_ber_alloc_t(int options);
int __real_ber_flatten(BerElement* ber, berval** value);
BerElement* __real_ber_init(berval* value);
BerElement* __real_ber_dup(BerElement* ber);

BerElement* __wrap_ber_alloc_t(int options)
{
    return tervane::testing::allocation_must_fail() ? nullptr : __real_ber_alloc_t(options);
}
BerElement* __wrap_ber_alloc(void) { return __wrap_ber_alloc_t(0); }
int __wrap_ber_flatten(BerElement* ber, berval** value)
{
    return tervane::testing::allocation_must_fail() ? -1 : __real_ber_flatten(ber, value);
}
BerElement* __wrap_ber_init(berval* value)
{
    return tervane::testing::allocation_must_fail() ? nullptr : __real_ber_init(value);
}
BerElement* __wrap_ber_dup(BerElement* ber)
{
    return tervane::testing::allocation_must_fail() ? nullptr : __real_ber_dup(ber);
}
}

class AllocationFailure : public PeerTest {
protected:
    char dn[8] = "o=x";
    char server[16] = "cn=server";
};

TEST_F(AllocationFailure, StringResultsGive90AndLeaveNothingAllocated)
{
    unsigned short vorn[] = {'a', 'b', 0};
    std::function<int(char**)> exports[] = {
        [&](char** out) { return ldap_get_bind_dn(ld, out); },
        [&](char** out) { return ldap_get_context_identity_name(ld, out); },
        [&](char** out) { return ldap_vorn_to_ldap(ld, vorn, out); },
        [&](char** out) { return ldap_dns_to_x500_dn(ld, dn, out); },
    };
    for (auto& call : exports) {
        always_reply_value(d::octets("cn=someone"));
        long points = sweep_allocations(
            [&] {
                char* text = nullptr;
                int rc = call(&text);
                tervane_memfree(text);
                return rc;
            });
        EXPECT_GE(points, 2);  // at least the decoder and the output string
    }
}

TEST_F(AllocationFailure, DecodingExportsGive90ForEveryAllocationPoint)
{
    std::string privileges_list = d::sequence({d::sequence({d::integer(1)}), d::set({d::sequence({d::integer(3)})})});
    std::string info = d::concat({d::integer(1), d::integer(2), d::integer(3), d::integer(4), d::integer(5),
                                  d::octets("cn=r"), d::integer(6), d::integer(7)});
    struct Case {
        std::string value;
        std::function<int()> call;
    } cases[] = {
        {d::integer(4),
         [&] {
             int privileges = 0;
             return ldap_get_effective_privileges(ld, dn, server, dn, &privileges);
         }},
        {privileges_list,
         [&] {
             char* names[] = {dn, nullptr};
             int privileges[1];
             return ldap_get_effective_privileges_list(ld, dn, server, names, privileges);
         }},
        {d::integer(4),
         [&] {
             int count = 0;
             return ldap_partition_entry_count(ld, dn, &count);
         }},
        {d::integer(4),
         [&] {
             int count = 0;
             return ldap_naming_context_entry_count(ld, dn, &count);
         }},
        {info,
         [&] {
             ReplicaInfo replica;
             return ldap_get_replica_info(ld, dn, server, &replica);
         }},
        {d::sequence({d::octets("cn=r1")}),
         [&] {
             char** replicas = nullptr;
             int rc = ldap_list_replicas(ld, dn, &replicas);
             ldap_value_free(replicas);
             return rc;
         }},
    };
    for (Case& c : cases) {
        always_reply_value(c.value);
        long points = sweep_allocations(c.call);
        EXPECT_EQ(points, 4);  // encoder, flattened request, reader of the response, decoder
    }
}

TEST_F(AllocationFailure, RequestOnlyExportsGive90WhenEncoderOrFlattenFails)
{
    std::function<int()> calls[] = {
        [&] { return ldap_split_partition(ld, dn, 0); },
        [&] { return ldap_create_naming_context(ld, dn, 0); },
        [&] { return ldap_merge_partitions(ld, dn, 0); },
        [&] { return ldap_merge_naming_contexts(ld, dn, 0); },
        [&] { return ldap_abort_partition_operation(ld, dn, 0); },
        [&] { return ldap_abort_naming_context_operation(ld, dn, 0); },
        [&] { return ldap_split_orphan_partition(ld, dn, server); },
        [&] { return ldap_create_orphan_naming_context(ld, dn, server); },
        [&] { return ldap_remove_orphan_partition(ld, dn, server); },
        [&] { return ldap_remove_orphan_naming_context(ld, dn, server); },
        [&] { return ldap_add_replica(ld, dn, server, 1, 0); },
        [&] { return ldap_change_replica_type(ld, dn, server, 1, 0); },
        [&] { return ldap_remove_replica(ld, dn, server, 0); },
        [&] { return ldap_receive_all_updates(ld, dn, server, nullptr); },
        [&] { return ldap_send_all_updates(ld, dn, nullptr); },
        [&] { return ldap_request_partition_sync(ld, server, dn, 1); },
        [&] { return ldap_request_naming_context_sync(ld, server, dn, 1); },
        [&] { return ldap_request_schema_sync(ld, server, 1); },
    };
    for (auto& call : calls)
        EXPECT_EQ(sweep_allocations(call), 3);  // encoder, flattened request, reader of the response
}

TEST_F(AllocationFailure, ExportsWithoutRequestValueAllocateOnlyToLookAtTheResponse)
{
    EXPECT_EQ(sweep_allocations([&] { return ldap_trigger_back_process(ld, 3); }), 1);
    EXPECT_EQ(sweep_allocations([&] { return ldap_refresh_server(ld); }), 1);
}
