// The synchronous administration operations through Tervane against slapd
// with the plug-in: who may call them, what maps onto slapd's data, and what
// is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugin_server.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

char* text(const char* literal) { return const_cast<char*>(literal); }

// An operation reduced to a call on a handle.
struct Call {
    const char* name;
    std::function<int(LDAP*)> run;
};

// Every synchronous export that needs an administrator, called with valid
// arguments; outputs are released.
std::vector<Call> administration_calls()
{
    return {
        {"partition entry count", [](LDAP* ld) { int n = 0; return ldap_partition_entry_count(ld, text(kSuffix), &n); }},
        {"list replicas", [](LDAP* ld) {
             char** list = nullptr;
             int rc = ldap_list_replicas(ld, text(kSuffix), &list);
             ldap_value_free(list);
             return rc;
         }},
        {"replica info", [](LDAP* ld) { ReplicaInfo info; return ldap_get_replica_info(ld, text(kSuffix), text(kServerDn), &info); }},
        {"privileges", [](LDAP* ld) { int p = 0; return ldap_get_effective_privileges(ld, text(kPeople), text(""), text("cn"), &p); }},
        {"refresh", [](LDAP* ld) { return ldap_refresh_server(ld); }},
        {"receive all updates", [](LDAP* ld) { return ldap_receive_all_updates(ld, text(kSuffix), text(kServerDn), nullptr); }},
        {"send all updates", [](LDAP* ld) { return ldap_send_all_updates(ld, text(kSuffix), text(kServerDn)); }},
        {"partition sync", [](LDAP* ld) { return ldap_request_partition_sync(ld, text(kServerDn), text(kSuffix), 0); }},
        {"schema sync", [](LDAP* ld) { return ldap_request_schema_sync(ld, text(kServerDn), 0); }},
        {"back process", [](LDAP* ld) { return ldap_trigger_back_process(ld, 1); }},
        {"get replication filter", [](LDAP* ld) {
             char* filter = nullptr;
             int rc = ldap_get_replication_filter(ld, text(kSuffix), &filter);
             tervane_memfree(filter);
             return rc;
         }},
        {"set replication filter", [](LDAP* ld) { return ldap_set_replication_filter(ld, text(kSuffix), text("$")); }},
        {"merge partitions", [](LDAP* ld) { return ldap_merge_partitions(ld, text(kPeople), 0); }},
    };
}

}  // namespace

TEST(Authorization, AnonymousAndOrdinaryUsersAreRefusedEveryAdministrationOperationWith50)
{
    for (Who who : {Who::anonymous, Who::user}) {
        Session ld = connect(who);
        for (const Call& call : administration_calls()) {
            EXPECT_EQ(call.run(ld.get()), LDAP_INSUFFICIENT_ACCESS) << call.name;
            EXPECT_NE(diagnostic(ld.get()).find("only a root DN or a member of"), std::string::npos) << call.name;
        }
    }
}

TEST(Authorization, TheRootDnAndMembersOfTheAdministratorsGroupMayCallThem)
{
    for (Who who : {Who::root, Who::operator_}) {
        Session ld = connect(who);
        for (const Call& call : administration_calls()) {
            int rc = call.run(ld.get());
            EXPECT_TRUE(rc == LDAP_SUCCESS || rc == LDAP_UNWILLING_TO_PERFORM || rc == LDAP_NO_SUCH_OBJECT)
                << call.name << ": " << rc;
        }
    }
}

TEST(Identity, BoundDnIsTheConnectionsOwnAndEmptyForAnonymous)
{
    struct Case {
        Who who;
        const char* expected;
    } cases[] = {{Who::anonymous, ""}, {Who::user, kUserDn}, {Who::root, kRootDn}};
    for (const Case& c : cases) {
        Session ld = connect(c.who);
        char* dn = nullptr;
        ASSERT_EQ(ldap_get_bind_dn(ld.get(), &dn), LDAP_SUCCESS);
        EXPECT_STREQ(dn, c.expected);
        tervane_memfree(dn);
        ASSERT_EQ(ldap_get_context_identity_name(ld.get(), &dn), LDAP_SUCCESS);
        EXPECT_STREQ(dn, c.expected);
        tervane_memfree(dn);
    }
}

TEST(Identity, NamesConvertForAnyoneAndWhatIsNoNameIsInvalidDnSyntax)
{
    Session ld = connect(Who::anonymous);
    char* dn = nullptr;
    ASSERT_EQ(ldap_dns_to_x500_dn(ld.get(), text("ldap.example.com."), &dn), LDAP_SUCCESS);
    EXPECT_STREQ(dn, "dc=ldap,dc=example,dc=com");
    tervane_memfree(dn);
    dn = nullptr;
    EXPECT_EQ(ldap_dns_to_x500_dn(ld.get(), text("bad..name"), &dn), LDAP_INVALID_DN_SYNTAX);
    EXPECT_EQ(dn, nullptr);

    const unsigned short name[] = {'c', 'n', '=', 0x00E9, 't', 0xD83D, 0xDE00, ',', 'o', '=', 'x', 0};
    ASSERT_EQ(ldap_vorn_to_ldap(ld.get(), name, &dn), LDAP_SUCCESS);
    EXPECT_STREQ(dn, "cn=\xC3\xA9t\xF0\x9F\x98\x80,o=x");
    tervane_memfree(dn);
    const unsigned short not_a_dn[] = {'n', 'o', ' ', 'd', 'n', 0};
    EXPECT_EQ(ldap_vorn_to_ldap(ld.get(), not_a_dn, &dn), LDAP_INVALID_DN_SYNTAX);
}

TEST(Identity, EffectivePrivilegesAreSlapdsAccessRulesForTheRequestor)
{
    constexpr int kAll = 0x3F;
    constexpr int kReadOnly = 0x07;  // compare, search, read
    struct Case {
        Who who;
        const char* dn;
        const char* attribute;
        int expected;
    } cases[] = {
        {Who::root, kPeople, "cn", kAll},
        {Who::operator_, kPeople, "ou", kAll},
        {Who::operator_, kPeople, "children", kAll},
        {Who::operator_, kSuffix, "o", kReadOnly},
        {Who::operator_, kUserDn, "userPassword", 0},
    };
    for (const Case& c : cases) {
        Session ld = connect(c.who);
        int privileges = -1;
        ASSERT_EQ(ldap_get_effective_privileges(ld.get(), text(c.dn), text(""), text(c.attribute), &privileges),
                  LDAP_SUCCESS);
        EXPECT_EQ(privileges, c.expected) << c.dn << " " << c.attribute;
    }
    Session ld = connect(Who::operator_);
    char* attributes[] = {text("ou"), text("description"), nullptr};
    int list[2] = {-1, -1};
    ASSERT_EQ(ldap_get_effective_privileges_list(ld.get(), text(kSuffix), text(kOperatorDn), attributes, list),
              LDAP_SUCCESS);
    EXPECT_EQ(list[0], kReadOnly);
    EXPECT_EQ(list[1], kReadOnly);
}

TEST(Identity, PrivilegesOfAnotherSubjectOrAMissingEntryAreRefused)
{
    Session ld = connect(Who::root);
    int privileges = 0;
    EXPECT_EQ(ldap_get_effective_privileges(ld.get(), text(kPeople), text(kUserDn), text("cn"), &privileges),
              LDAP_UNWILLING_TO_PERFORM);
    EXPECT_NE(diagnostic(ld.get()).find("requesting identity only"), std::string::npos);
    EXPECT_EQ(ldap_get_effective_privileges(ld.get(), text("ou=none,dc=example,dc=com"), text(""), text("cn"),
                                            &privileges),
              LDAP_NO_SUCH_OBJECT);
}

TEST(Partitions, EntryCountIsTheEntryAndEverythingBelowIt)
{
    Session ld = connect(Who::root);
    int count = 0;
    ASSERT_EQ(ldap_naming_context_entry_count(ld.get(), text("ou=staff,dc=example,dc=com"), &count), LDAP_SUCCESS);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ldap_partition_entry_count(ld.get(), text("ou=none,dc=example,dc=com"), &count), LDAP_NO_SUCH_OBJECT);
}

TEST(Partitions, EntryCountCountsWhatTheRequestorsOwnSearchWouldFind)
{
    struct Case {
        Who who;
        const char* base;
        int code;
        int count;
    } cases[] = {
        {Who::root, "ou=secret,dc=example,dc=com", LDAP_SUCCESS, 2},
        {Who::operator_, "ou=secret,dc=example,dc=com", LDAP_NO_SUCH_OBJECT, 0},
        {Who::other_root, "ou=secret,dc=example,dc=com", LDAP_NO_SUCH_OBJECT, 0},
        {Who::operator_, "ou=staff,dc=example,dc=com", LDAP_SUCCESS, 3},
    };
    Session root = connect(Who::root), group_member = connect(Who::operator_);
    int all = 0, seen = 0;
    ASSERT_EQ(ldap_partition_entry_count(root.get(), text(kSuffix), &all), LDAP_SUCCESS);
    ASSERT_EQ(ldap_partition_entry_count(group_member.get(), text(kSuffix), &seen), LDAP_SUCCESS);
    EXPECT_EQ(seen, all - 2);
    for (const Case& c : cases) {
        Session ld = connect(c.who);
        int count = -1;
        EXPECT_EQ(ldap_partition_entry_count(ld.get(), text(c.base), &count), c.code) << c.base;
        if (c.code == LDAP_SUCCESS) {
            EXPECT_EQ(count, c.count) << c.base;
        }
    }
}

TEST(Replicas, ThisServerIsTheOnlyReplicaOfEachNamingContext)
{
    Session ld = connect(Who::root);
    char** replicas = nullptr;
    ASSERT_EQ(ldap_list_replicas(ld.get(), text(kSuffix), &replicas), LDAP_SUCCESS);
    ASSERT_NE(replicas, nullptr);
    EXPECT_STREQ(replicas[0], kServerDn);
    EXPECT_EQ(replicas[1], nullptr);
    ldap_value_free(replicas);

    ReplicaInfo info;
    std::memset(&info, 0xFF, sizeof info);
    ASSERT_EQ(ldap_get_replica_info(ld.get(), text(kSuffix), text(kServerDn), &info), LDAP_SUCCESS);
    EXPECT_EQ(info.head[0], 0);  // the master copy
    EXPECT_EQ(info.head[1], 0);  // on
    EXPECT_EQ(info.head[2], 1);
    EXPECT_GT(info.head[4], 0);  // started at
    EXPECT_STREQ(info.name, kServerDn);

    EXPECT_EQ(ldap_list_replicas(ld.get(), text(kPeople), &replicas), LDAP_NO_SUCH_OBJECT);
    EXPECT_EQ(ldap_get_replica_info(ld.get(), text(kSuffix), text("cn=elsewhere"), &info), LDAP_NO_SUCH_OBJECT);
}

TEST(Refusals, WhatDoesNotMapOntoSlapdIsRefusedWith53AndAText)
{
    Session ld = connect(Who::root);
    struct Refusal {
        const char* name;
        std::function<int()> run;
        const char* text;
    } refusals[] = {
        {"add replica", [&] { return ldap_add_replica(ld.get(), text(kSuffix), text("cn=other"), 1, 0); }, "only replica"},
        {"remove replica", [&] { return ldap_remove_replica(ld.get(), text(kSuffix), text(kServerDn), 0); }, "only replica"},
        {"change replica", [&] { return ldap_change_replica_type(ld.get(), text(kSuffix), text(kServerDn), 1, 0); }, "only replica"},
    };
    for (const Refusal& refusal : refusals) {
        EXPECT_EQ(refusal.run(), LDAP_UNWILLING_TO_PERFORM) << refusal.name;
        EXPECT_NE(diagnostic(ld.get()).find(refusal.text), std::string::npos) << refusal.name;
    }
}

TEST(Synchronisation, TriggersSucceedWithoutEffect)
{
    Session ld = connect(Who::operator_);
    EXPECT_EQ(ldap_receive_all_updates(ld.get(), text(kSuffix), text(kServerDn), nullptr), LDAP_SUCCESS);
    EXPECT_EQ(ldap_send_all_updates(ld.get(), text(kSuffix), nullptr), LDAP_SUCCESS);
    EXPECT_EQ(ldap_request_partition_sync(ld.get(), text(kServerDn), text(kSuffix), 1), LDAP_SUCCESS);
    EXPECT_EQ(ldap_request_naming_context_sync(ld.get(), text(kServerDn), text(kSuffix), 1), LDAP_SUCCESS);
    EXPECT_EQ(ldap_request_schema_sync(ld.get(), text(kServerDn), 1), LDAP_SUCCESS);
    for (int process = 1; process <= 6; ++process)
        EXPECT_EQ(ldap_trigger_back_process(ld.get(), process), LDAP_SUCCESS) << process;
    EXPECT_EQ(ldap_refresh_server(ld.get()), LDAP_SUCCESS);
}

TEST(ReplicationFilter, IsKeptPerNamingContextAndReadBackAsSet)
{
    Session ld = connect(Who::root);
    char* filter = nullptr;
    ASSERT_EQ(ldap_set_replication_filter(ld.get(), text(kSuffix), text("$")), LDAP_SUCCESS);
    ASSERT_EQ(ldap_get_replication_filter(ld.get(), text(kSuffix), &filter), LDAP_SUCCESS);
    EXPECT_STREQ(filter, "$");
    tervane_memfree(filter);
    ASSERT_EQ(ldap_set_replication_filter(ld.get(), text("DC=Example, dc=com"), text("person$cn$sn$$device$$$")),
              LDAP_SUCCESS);
    filter = nullptr;
    ASSERT_EQ(ldap_get_replication_filter(ld.get(), text(kSuffix), &filter), LDAP_SUCCESS);
    EXPECT_STREQ(filter, "person$cn$sn$$device$$$");
    tervane_memfree(filter);
    EXPECT_EQ(ldap_set_replication_filter(ld.get(), text(kPeople), text("$")), LDAP_NO_SUCH_OBJECT);
    filter = nullptr;
    EXPECT_EQ(ldap_get_replication_filter(ld.get(), text(kPeople), &filter), LDAP_NO_SUCH_OBJECT);
    tervane_memfree(filter);
}
