// Synchronisation requests and background-process triggers.
#include "peer_fixture.h"

class Synchronisation : public PeerTest {
protected:
    char dn[8] = "o=x";
    char server[16] = "cn=server";
    char extra[16] = "cn=extra";
};

TEST_F(Synchronisation, ReceiveAllUpdatesSendsThreeStringsAndSubstitutesTheThird)
{
    EXPECT_EQ(ldap_receive_all_updates(ld, dn, server, extra), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(21));
    EXPECT_EQ(sent_value(), "'o=x', 'cn=server', 'cn=extra'");
    EXPECT_EQ(ldap_receive_all_updates(ld, dn, server, nullptr), 0);
    EXPECT_EQ(sent_value(), "'o=x', 'cn=server', 'unusedParam'");
}

TEST_F(Synchronisation, ReceiveAllUpdatesRequiresBothDns)
{
    EXPECT_EQ(ldap_receive_all_updates(ld, nullptr, server, extra), 89);
    EXPECT_EQ(ldap_receive_all_updates(ld, dn, nullptr, extra), 89);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(Synchronisation, SendAllUpdatesSendsAnEmptyServerDnForNull)
{
    EXPECT_EQ(ldap_send_all_updates(ld, dn, server), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(23));
    EXPECT_EQ(sent_value(), "'o=x', 'cn=server'");
    EXPECT_EQ(ldap_send_all_updates(ld, dn, nullptr), 0);
    EXPECT_EQ(sent_value(), "'o=x', ''");
}

TEST_F(Synchronisation, SendAllUpdatesRefusesANullDnInsteadOfCrashing)
{
    EXPECT_EQ(ldap_send_all_updates(ld, nullptr, server), 89);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(Synchronisation, PartitionAndSchemaSyncPutTheIntegerLast)
{
    EXPECT_EQ(ldap_request_partition_sync(ld, server, dn, 9), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(25));
    EXPECT_EQ(sent_value(), "'cn=server', 'o=x', int 9");
    auto partition = peer.last_request();
    EXPECT_EQ(ldap_request_naming_context_sync(ld, server, dn, 9), 0);
    EXPECT_EQ(peer.last_request().value, partition.value);
    EXPECT_EQ(ldap_request_schema_sync(ld, server, 300), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(27));
    EXPECT_EQ(sent_value(), "'cn=server', int 300");
}

TEST_F(Synchronisation, TriggerSelectsTheRequestNameAndSendsNoValue)
{
    const char* names[] = {ADMIN_OID(43), ADMIN_OID(47), ADMIN_OID(49), ADMIN_OID(51), ADMIN_OID(53), ADMIN_OID(55)};
    for (int process = 1; process <= 6; ++process) {
        EXPECT_EQ(ldap_trigger_back_process(ld, process), 0);
        EXPECT_EQ(sent_name(), names[process - 1]);
        EXPECT_EQ(sent_value(), "<none>");
    }
}

TEST_F(Synchronisation, TriggerOutsideOneToSixIsRefusedWithoutContactingTheServer)
{
    EXPECT_EQ(ldap_trigger_back_process(ld, 0), 89);
    EXPECT_EQ(ldap_trigger_back_process(ld, 7), 89);
    EXPECT_EQ(ldap_trigger_back_process(ld, -1), 89);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(Synchronisation, TriggerTwoAnsweredWithTheFirstResponseNameGives92)
{
    reply_named(ADMIN_OID(44));
    EXPECT_EQ(ldap_trigger_back_process(ld, 2), 92);
}
