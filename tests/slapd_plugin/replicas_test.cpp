// Replicas through Tervane against two slapds with the plug-in, peers of
// each other: cn=a holds dc=example,dc=com, cn=b is made a read-only
// replica of it, watched converging, listed, described and removed; then a
// secondary (writable) one, whose writes reach cn=a, made read-only and
// writable again.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "peer_servers.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

char* text(const char* literal) { return const_cast<char*>(literal); }

constexpr const char* kA = kServerA;
constexpr const char* kB = kServerB;

PeerServers& servers()
{
    static const std::unique_ptr<PeerServers> set = start_peer_servers(
        slapd::suffix_entry(kSuffix) + slapd::people(kSuffix, 20) +
            "dn: ou=secret,dc=example,dc=com\nobjectClass: organizationalUnit\nou: secret\n\n"
            "dn: cn=writer,dc=example,dc=com\nobjectClass: person\ncn: writer\nsn: W\nuserPassword: secret\n\n",
        {"access to * by dn.exact=\"cn=writer,dc=example,dc=com\" write by * break",
         "access to * by dn.exact=\"cn=config\" read by * break",
         "access to dn.subtree=\"ou=secret,dc=example,dc=com\" by * none", "access to * by * read"});
    return *set;
}

Session bind(slapd::Server& server, const char* dn, const char* password) { return bind_to(server, dn, password); }

Session configuration_root(slapd::Server& server) { return bind(server, "cn=config", kConfigPassword); }

// The DNs under dc=example,dc=com that a session finds.
std::set<std::string> names(LDAP* ld)
{
    std::set<std::string> found;
    for (const auto& [dn, attributes] : search_entries(ld, kSuffix, LDAP_SCOPE_SUBTREE))
        found.insert(dn);
    return found;
}

// Waits (ten seconds at most) until b's copy finds what a's does.
bool converged()
{
    Session a = configuration_root(*servers().a);
    Session b = configuration_root(*servers().b);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (names(a.get()) == names(b.get()))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::vector<std::string> replicas(LDAP* ld)
{
    char** listed = nullptr;
    std::vector<std::string> holders;
    if (ldap_list_replicas(ld, text(kSuffix), &listed) == LDAP_SUCCESS && listed != nullptr)
        for (char** holder = listed; *holder != nullptr; ++holder)
            holders.emplace_back(*holder);
    ldap_value_free(listed);
    return holders;
}

}  // namespace

TEST(Replicas, AServerBecomesAReadOnlyReplicaThatFollowsTheWritableOneUntilItIsRemoved)
{
    Session a = bind(*servers().a, kRootDn, kRootPassword);
    // Sent to the writable replica's server, passed on to cn=b.
    ASSERT_EQ(ldap_add_replica(a.get(), text(kSuffix), text(kB), 2, 0), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_TRUE(converged());
    ReplicaInfo info{};
    ASSERT_EQ(ldap_get_replica_info(a.get(), text(kSuffix), text(kB), &info), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_EQ(info.head[0], 2);  // read-only
    EXPECT_EQ(info.head[1], 0);  // on: its first refresh has ended
    EXPECT_EQ(std::string(info.name), kB);
    EXPECT_GT(info.head[4], 0);  // when it was made
    ASSERT_EQ(ldap_get_replica_info(a.get(), text(kSuffix), text(kA), &info), LDAP_SUCCESS);
    EXPECT_EQ(info.head[0], 0);  // the writable one
    EXPECT_EQ(replicas(a.get()), (std::vector<std::string>{kA, kB}));

    // A change on the writable replica reaches the read-only one.
    char* classes[] = {text("organizationalUnit"), nullptr};
    char* units[] = {text("later"), nullptr};
    LDAPMod object_class = {LDAP_MOD_ADD, text("objectClass"), {classes}}, unit = {LDAP_MOD_ADD, text("ou"), {units}};
    LDAPMod* entry[] = {&object_class, &unit, nullptr};
    ASSERT_EQ(ldap_add_ext_s(a.get(), "ou=later,dc=example,dc=com", entry, nullptr, nullptr), LDAP_SUCCESS);
    EXPECT_TRUE(converged());
    // The copy keeps the access rules: what is hidden on cn=a is on cn=b.
    Session anonymous = bind(*servers().b, nullptr, nullptr);
    EXPECT_EQ(names(anonymous.get()).count("ou=secret,dc=example,dc=com"), 0u);
    EXPECT_EQ(names(configuration_root(*servers().b).get()).count("ou=secret,dc=example,dc=com"), 1u);

    // Synchronisation: a refresh now, one from scratch (the replica is
    // made anew), and one of every peer's replica.
    EXPECT_EQ(ldap_request_partition_sync(a.get(), text(kB), text(kSuffix), 0), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_EQ(ldap_receive_all_updates(a.get(), text(kSuffix), text(kB), nullptr), LDAP_SUCCESS)
        << diagnostic(a.get());
    EXPECT_TRUE(converged());
    ASSERT_EQ(ldap_get_replica_info(a.get(), text(kSuffix), text(kB), &info), LDAP_SUCCESS);
    EXPECT_EQ(info.head[0], 2);
    EXPECT_EQ(ldap_send_all_updates(a.get(), text(kSuffix), nullptr), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_TRUE(converged());

    struct Refused {
        const char* what;
        int code;
        int result;
    };
    Session anonymous_a = bind(*servers().a, nullptr, nullptr);
    const Refused refusals[] = {
        {"a second replica on cn=b", LDAP_ALREADY_EXISTS, ldap_add_replica(a.get(), text(kSuffix), text(kB), 2, 0)},
        {"a writable replica", LDAP_UNWILLING_TO_PERFORM, ldap_add_replica(a.get(), text(kSuffix), text(kB), 0, 0)},
        {"a server of no set", LDAP_NO_SUCH_OBJECT, ldap_add_replica(a.get(), text(kSuffix), text("cn=z"), 2, 0)},
        {"the writable replica's removal", LDAP_UNWILLING_TO_PERFORM,
         ldap_remove_replica(a.get(), text(kSuffix), text(kA), 0)},
        {"a change of type", LDAP_UNWILLING_TO_PERFORM,
         ldap_change_replica_type(a.get(), text(kSuffix), text(kB), 0, 0)},
        {"anonymous", LDAP_INSUFFICIENT_ACCESS, ldap_remove_replica(anonymous_a.get(), text(kSuffix), text(kB), 0)},
        {"a refresh of the writable replica from scratch", LDAP_UNWILLING_TO_PERFORM,
         ldap_receive_all_updates(a.get(), text(kSuffix), text(kA), nullptr)},
        {"a schema synchronisation", LDAP_UNWILLING_TO_PERFORM, ldap_request_schema_sync(a.get(), text(kB), 0)},
        {"a refresh on a day and more", LDAP_UNWILLING_TO_PERFORM,
         ldap_request_partition_sync(a.get(), text(kB), text(kSuffix), 86401)},
    };
    for (const Refused& refused : refusals)
        EXPECT_EQ(refused.result, refused.code) << refused.what;

    ASSERT_EQ(ldap_remove_replica(a.get(), text(kSuffix), text(kB), 0), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_EQ(replicas(a.get()), (std::vector<std::string>{kA}));
    EXPECT_TRUE(names(configuration_root(*servers().b).get()).empty());
    EXPECT_TRUE(std::filesystem::is_empty(servers().folder / "b"));
    EXPECT_EQ(ldap_get_replica_info(a.get(), text(kSuffix), text(kB), &info), LDAP_NO_SUCH_OBJECT);
}

namespace {

// An entry added by cn=writer (who may write everywhere) on a server.
int add_unit(slapd::Server& server, const char* name)
{
    Session writer = bind(server, "cn=writer,dc=example,dc=com", "secret");
    ldap_set_option(writer.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);  // a read-only replica's referral is the answer
    return add_values(writer.get(), std::string("ou=") + name + ",dc=example,dc=com",
                      {{"objectClass", "organizationalUnit"}, {"ou", name}});
}

std::int32_t type_of(LDAP* ld, const char* server)
{
    ReplicaInfo info{};
    return ldap_get_replica_info(ld, text(kSuffix), text(server), &info) == LDAP_SUCCESS ? info.head[0] : -1;
}

}  // namespace

TEST(Replicas, ASecondaryReplicaTakesWritesThatReachTheMasterUntilItIsMadeReadOnly)
{
    Session a = bind(*servers().a, kRootDn, kRootPassword);
    ASSERT_EQ(ldap_add_replica(a.get(), text(kSuffix), text(kB), 1, 0), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_TRUE(converged());
    EXPECT_EQ(type_of(a.get(), kB), 1);
    EXPECT_EQ(type_of(a.get(), kA), 0);
    ASSERT_EQ(add_unit(*servers().b, "fromb"), LDAP_SUCCESS);
    ASSERT_EQ(add_unit(*servers().a, "froma"), LDAP_SUCCESS);
    EXPECT_TRUE(converged());
    EXPECT_EQ(names(a.get()).count("ou=fromb,dc=example,dc=com"), 1u);

    // Read-only: cn=b refers writes to cn=a, and still follows it.
    ASSERT_EQ(ldap_change_replica_type(a.get(), text(kSuffix), text(kB), 2, 0), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_EQ(type_of(a.get(), kB), 2);
    EXPECT_EQ(add_unit(*servers().b, "refused"), LDAP_REFERRAL);
    ASSERT_EQ(add_unit(*servers().a, "later2"), LDAP_SUCCESS);
    EXPECT_TRUE(converged());
    // And writable again.
    ASSERT_EQ(ldap_change_replica_type(a.get(), text(kSuffix), text(kB), 1, 0), LDAP_SUCCESS) << diagnostic(a.get());
    ASSERT_EQ(add_unit(*servers().b, "fromb2"), LDAP_SUCCESS);
    EXPECT_TRUE(converged());

    const struct {
        const char* what;
        int result;
    } refusals[] = {
        {"the master made read-only", ldap_change_replica_type(a.get(), text(kSuffix), text(kA), 2, 0)},
        {"a second master", ldap_change_replica_type(a.get(), text(kSuffix), text(kB), 0, 0)},
        {"a type of no meaning", ldap_add_replica(a.get(), text(kSuffix), text(kB), 3, 0)},
    };
    for (const auto& refused : refusals)
        EXPECT_EQ(refused.result, LDAP_UNWILLING_TO_PERFORM) << refused.what;

    ASSERT_EQ(ldap_remove_replica(a.get(), text(kSuffix), text(kB), 0), LDAP_SUCCESS) << diagnostic(a.get());
    EXPECT_EQ(replicas(a.get()), (std::vector<std::string>{kA}));
    EXPECT_EQ(add_unit(*servers().a, "afterwards"), LDAP_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_empty(servers().folder / "b"));
}
