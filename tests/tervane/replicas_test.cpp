// Replica operations.
#include <cstring>

#include "peer_fixture.h"

namespace d = der;

class Replicas : public PeerTest {
protected:
    char dn[8] = "o=x";
    char server[16] = "cn=server";

    static std::string info_value(const std::string& name)
    {
        return d::concat({d::integer(1), d::integer(2), d::integer(3), d::integer(4), d::integer(5), d::octets(name),
                          d::integer(6), d::integer(7)});
    }
};

TEST_F(Replicas, AddAndChangeSendFlagsTypeServerThenPartition)
{
    EXPECT_EQ(ldap_add_replica(ld, dn, server, 1, 0), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(7));
    EXPECT_EQ(sent_value(), "int 0, int 1, 'cn=server', 'o=x'");
    EXPECT_EQ(ldap_change_replica_type(ld, dn, server, 3, 8), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(15));
    EXPECT_EQ(sent_value(), "int 8, int 3, 'cn=server', 'o=x'");
}

TEST_F(Replicas, RemoveSendsItsIntegerFirst)
{
    EXPECT_EQ(ldap_remove_replica(ld, dn, server, 4), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(11));
    EXPECT_EQ(sent_value(), "int 4, 'cn=server', 'o=x'");
}

TEST_F(Replicas, InfoFillsAllSevenIntegersAndTheName)
{
    reply_value(info_value("cn=replica"));
    ReplicaInfo info;
    std::memset(&info, 0x5A, sizeof info);
    ASSERT_EQ(ldap_get_replica_info(ld, dn, server, &info), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(17));
    EXPECT_EQ(sent_value(), "'cn=server', 'o=x'");
    EXPECT_EQ(std::vector<int>(info.head, info.head + 5), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_STREQ(info.name, "cn=replica");
    EXPECT_EQ(info.tail[0], 6);
    EXPECT_EQ(info.tail[1], 7);
}

TEST_F(Replicas, InfoWithEmptyNameLeavesAnEmptyString)
{
    reply_value(info_value(""));
    ReplicaInfo info;
    std::memset(&info, 0x5A, sizeof info);
    ASSERT_EQ(ldap_get_replica_info(ld, dn, server, &info), 0);
    EXPECT_STREQ(info.name, "");
    EXPECT_EQ(info.tail[1], 7);
}

TEST_F(Replicas, InfoNameOf771BytesFitsAndALongerOneIsRefusedWithoutOverrun)
{
    reply_value(info_value(std::string(771, 'n')));
    ReplicaInfo info;
    std::memset(&info, 0x5A, sizeof info);
    ASSERT_EQ(ldap_get_replica_info(ld, dn, server, &info), 0);
    EXPECT_EQ(std::string(info.name), std::string(771, 'n'));

    reply_value(info_value(std::string(772, 'm')));
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(ldap_get_replica_info(ld, dn, server, &info), 84);
    EXPECT_EQ(info.name[0], 0x5A);  // name untouched
    EXPECT_EQ(info.tail[0], 6);     // the integers were read before the check
}

TEST_F(Replicas, InfoFailingPartWayKeepsTheIntegersReadAndLeavesTheName)
{
    reply_value(d::concat({d::integer(1), d::integer(2), d::integer(3)}));
    ReplicaInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(ldap_get_replica_info(ld, dn, server, &info), 83);
    EXPECT_EQ(info.head[0], 1);
    EXPECT_EQ(info.head[2], 3);
    EXPECT_EQ(info.name[0], 0x5A);
}

TEST_F(Replicas, ListReturnsTheClientLibrarysArray)
{
    reply_value(d::sequence({d::octets("cn=r1"), d::octets("cn=r2")}));
    char** replicas = nullptr;
    ASSERT_EQ(ldap_list_replicas(ld, dn, &replicas), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(19));
    EXPECT_EQ(sent_value(), "'o=x'");
    ASSERT_NE(replicas, nullptr);
    EXPECT_STREQ(replicas[0], "cn=r1");
    EXPECT_STREQ(replicas[1], "cn=r2");
    EXPECT_EQ(replicas[2], nullptr);
    ldap_value_free(replicas);
}

TEST_F(Replicas, ListThatIsCutGives83AndHandsOutNothing)
{
    // The last name announces more bytes than the answer holds; then the
    // list's own header does.
    std::string cut_name = d::octets("cn=r1") + std::string("\x04\x05" "cn", 4);
    for (const std::string& value : {d::element(0x30, cut_name), std::string("\x30\x10", 2) + d::octets("cn=r1")}) {
        reply_value(value);
        char** replicas = nullptr;
        EXPECT_EQ(ldap_list_replicas(ld, dn, &replicas), 83) << bertext::hex(value);
        EXPECT_EQ(replicas, nullptr);
    }
}

TEST_F(Replicas, ListOfAnEmptySequenceSucceedsWithNoNames)
{
    reply_value(d::sequence({}));
    char* sentinel[] = {nullptr};
    char** replicas = sentinel;
    ASSERT_EQ(ldap_list_replicas(ld, dn, &replicas), 0);
    EXPECT_TRUE(replicas == nullptr || replicas[0] == nullptr);
    if (replicas != sentinel)
        ldap_value_free(replicas);
}
