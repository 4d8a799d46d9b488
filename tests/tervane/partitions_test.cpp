// Partition operations and their naming-context names.
#include "peer_fixture.h"

namespace d = der;

class Partitions : public PeerTest {
protected:
    char dn[8] = "o=x";
    char server[16] = "cn=server";
};

TEST_F(Partitions, SplitSendsIntegerThenDnWithNoEnclosingSequence)
{
    EXPECT_EQ(ldap_split_partition(ld, dn, 0), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(3));
    EXPECT_EQ(bertext::hex(*peer.last_request().value), "02 01 00 04 03 6f 3d 78");
}

TEST_F(Partitions, MergeAndAbortPutTheFlagsFirst)
{
    EXPECT_EQ(ldap_merge_partitions(ld, dn, 5), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(5));
    EXPECT_EQ(sent_value(), "int 5, 'o=x'");
    EXPECT_EQ(ldap_abort_partition_operation(ld, dn, -1), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(29));
    EXPECT_EQ(sent_value(), "int -1, 'o=x'");
}

TEST_F(Partitions, NamingContextNamesSendByteIdenticalRequests)
{
    int count = 0;
    using Pair = std::pair<std::function<int()>, std::function<int()>>;
    Pair pairs[] = {
        {[&] { return ldap_split_partition(ld, dn, 3); }, [&] { return ldap_create_naming_context(ld, dn, 3); }},
        {[&] { return ldap_merge_partitions(ld, dn, 3); }, [&] { return ldap_merge_naming_contexts(ld, dn, 3); }},
        {[&] { return ldap_abort_partition_operation(ld, dn, 3); },
         [&] { return ldap_abort_naming_context_operation(ld, dn, 3); }},
        {[&] { return ldap_split_orphan_partition(ld, dn, server); },
         [&] { return ldap_create_orphan_naming_context(ld, dn, server); }},
        {[&] { return ldap_remove_orphan_partition(ld, dn, server); },
         [&] { return ldap_remove_orphan_naming_context(ld, dn, server); }},
        {[&] {
             reply_value(d::integer(4));
             return ldap_partition_entry_count(ld, dn, &count);
         },
         [&] {
             reply_value(d::integer(4));
             return ldap_naming_context_entry_count(ld, dn, &count);
         }},
    };
    for (auto& [first, second] : pairs) {
        EXPECT_EQ(first(), 0);
        auto a = peer.last_request();
        EXPECT_EQ(second(), 0);
        auto b = peer.last_request();
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.value, b.value);
    }
}

TEST_F(Partitions, EntryCountSendsTheDnAndReadsTheCount)
{
    reply_value(d::integer(123456));
    int count = -1;
    EXPECT_EQ(ldap_partition_entry_count(ld, dn, &count), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(13));
    EXPECT_EQ(sent_value(), "'o=x'");
    EXPECT_EQ(count, 123456);
}

TEST_F(Partitions, OrphanOperationsSendDnThenServerDn)
{
    EXPECT_EQ(ldap_split_orphan_partition(ld, dn, server), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(39));
    EXPECT_EQ(sent_value(), "'o=x', 'cn=server'");
    EXPECT_EQ(ldap_remove_orphan_partition(ld, dn, server), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(41));
}

TEST_F(Partitions, RemoveOrphanAnsweredWithTheSplitResponseNameGives92)
{
    reply_named(ADMIN_OID(40));
    EXPECT_EQ(ldap_remove_orphan_partition(ld, dn, server), 92);
}

TEST_F(Partitions, NullStringsAreRefusedWithoutContactingTheServer)
{
    int count = 0;
    EXPECT_EQ(ldap_split_partition(ld, nullptr, 0), 89);
    EXPECT_EQ(ldap_partition_entry_count(ld, dn, nullptr), 89);
    EXPECT_EQ(ldap_split_orphan_partition(ld, dn, nullptr), 89);
    EXPECT_EQ(ldap_partition_entry_count(ld, nullptr, &count), 89);
    EXPECT_EQ(request_count(), 0u);
}
