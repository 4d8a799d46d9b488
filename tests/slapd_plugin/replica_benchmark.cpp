// How long a read-only replica takes: made from 10,000 entries until its
// copy finds what the provider finds (count and names), and one write on the
// provider until a search on the replica finds it. Two private slapds that
// are peers (peer_servers.h), every write flushed or with dbnosync; wall
// clock.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "peer_servers.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

constexpr int kEntries = 10000;
char context[] = "dc=example,dc=com";
char replica_server[] = "cn=b";

PeerServers& servers_for(bool no_sync)
{
    static std::map<bool, std::unique_ptr<PeerServers>> sets;
    std::unique_ptr<PeerServers>& set = sets[no_sync];
    if (!set) {
        std::vector<std::string> configuration = {"limits dn.exact=\"cn=config\" size=unlimited time=unlimited"};
        if (no_sync)
            configuration.push_back("dbnosync");
        set = start_peer_servers(slapd::suffix_entry(kSuffix) + slapd::people(kSuffix, kEntries), configuration);
    }
    return *set;
}

// The state slapd stores in the suffix entry of a database (its provider's
// for a replica): equal on both once the replica holds every change.
std::string context_state(LDAP* ld)
{
    char type[] = "contextCSN";
    char* attributes[] = {type, nullptr};
    LDAPMessage* found = nullptr;
    std::string state;
    if (ldap_search_ext_s(ld, context, LDAP_SCOPE_BASE, nullptr, attributes, 0, nullptr, nullptr, nullptr, 0,
                          &found) == LDAP_SUCCESS)
        if (LDAPMessage* entry = ldap_first_entry(ld, found))
            if (berval** values = ldap_get_values_len(ld, entry, type)) {
                state.assign(values[0]->bv_val, values[0]->bv_len);
                ldap_value_free_len(values);
            }
    ldap_msgfree(found);
    return state;
}

std::set<std::string> names(LDAP* ld)
{
    std::set<std::string> found;
    for (const auto& [dn, attributes] : search_entries(ld, kSuffix, LDAP_SCOPE_SUBTREE))
        found.insert(dn);
    return found;
}

void BM_ReplicaOf10000Entries(benchmark::State& state)
{
    PeerServers& set = servers_for(state.range(0) != 0);
    Session a = bind_to(*set.a, kRootDn, kRootPassword);
    Session a_reader = bind_to(*set.a, "cn=config", kConfigPassword);
    Session b_reader = bind_to(*set.b, "cn=config", kConfigPassword);
    const std::set<std::string> expected = names(a_reader.get());
    for (auto _ : state) {
        if (ldap_add_replica(a.get(), context, replica_server, 2, 0) != LDAP_SUCCESS) {
            state.SkipWithError("the replica was not added");
            return;
        }
        // Cheap polls of the state, then the names compared once (again
        // until equal: a state can arrive just before its last entries).
        const std::string provider_state = context_state(a_reader.get());
        while (context_state(b_reader.get()) != provider_state)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (names(b_reader.get()) != expected)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.PauseTiming();
        ldap_remove_replica(a.get(), context, replica_server, 0);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(expected.size()));
}

void BM_WriteUntilVisibleOnTheReplica(benchmark::State& state)
{
    PeerServers& set = servers_for(state.range(0) != 0);
    Session a = bind_to(*set.a, kRootDn, kRootPassword);
    Session b_reader = bind_to(*set.b, "cn=config", kConfigPassword);
    if (int rc = ldap_add_replica(a.get(), context, replica_server, 2, 0); rc != LDAP_SUCCESS) {
        state.SkipWithError(("the replica was not added: " + std::string(ldap_err2string(rc))).c_str());
        return;
    }
    static int written = 0;  // across repetitions: each entry is new
    for (auto _ : state) {
        std::string name = "written" + std::to_string(++written);
        std::string dn = "ou=" + name + "," + kSuffix;
        char object_class[] = "organizationalUnit";
        char* classes[] = {object_class, nullptr};
        char* units[] = {name.data(), nullptr};
        char object_class_type[] = "objectClass", ou_type[] = "ou";
        LDAPMod first = {LDAP_MOD_ADD, object_class_type, {classes}}, second = {LDAP_MOD_ADD, ou_type, {units}};
        LDAPMod* entry[] = {&first, &second, nullptr};
        if (ldap_add_ext_s(a.get(), dn.c_str(), entry, nullptr, nullptr) != LDAP_SUCCESS) {
            state.SkipWithError("the write failed");
            break;
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            if (std::chrono::steady_clock::now() > until) {
                state.SkipWithError("the write did not reach the replica");
                break;
            }
            LDAPMessage* found = nullptr;
            char no_attributes[] = "1.1";
            char* attributes[] = {no_attributes, nullptr};
            int rc = ldap_search_ext_s(b_reader.get(), dn.c_str(), LDAP_SCOPE_BASE, nullptr, attributes, 0, nullptr,
                                       nullptr, nullptr, 0, &found);
            ldap_msgfree(found);
            if (rc == LDAP_SUCCESS)
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    ldap_remove_replica(a.get(), context, replica_server, 0);
}

}  // namespace

BENCHMARK(BM_ReplicaOf10000Entries)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_WriteUntilVisibleOnTheReplica)->Arg(0)->Arg(1)->Iterations(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
