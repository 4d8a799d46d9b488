// Loading the same 10,000 generated entries into slapd, and moving them into
// a partition of their own and back: through the
// bulk-update stream of the plug-in (batches of 1,000 through Tervane) and
// through ldapadd, one entry per round trip, each against a server as
// configured by default (every write flushed) and one with dbnosync; and
// offline with slapadd -q into an empty database. Rates are reported as
// items/s (entries per second, wall clock).
//
// As configured by default both loads wait for two flushes per entry; on a
// machine whose cores are busy with other programs, each wait also ends with
// slapd queued for a time slice, and the figures measure that more than the
// server. Run under `chrt -f 5` (slapd and ldapadd inherit the priority) to
// measure the server's own work.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <map>
#include <memory>

#include "bulk_client.h"
#include "plugin_server.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

constexpr int kEntries = 10000;
constexpr int kBatch = 1000;

slapd::Server& server_for(bool no_sync)
{
    static std::map<bool, std::unique_ptr<slapd::Server>> servers;
    std::unique_ptr<slapd::Server>& server = servers[no_sync];
    if (!server) {
        slapd::Options options;
        options.seed_ldif = slapd::suffix_entry(kSuffix) + "dn: " + kPeople + "\nobjectClass: organizationalUnit\nou: people\n\n";
        options.global_config = plugin_configuration(ADMIN_EXTENSIONS_PLUGIN, "batch=1000");
        options.config_password = kConfigPassword;  // partitions change the configuration
        if (no_sync)
            options.database_config = {"dbnosync"};
        server = std::make_unique<slapd::Server>(options);
        server->start();
    }
    return *server;
}

Session bind_root(slapd::Server& server)
{
    LDAP* raw = nullptr;
    ldap_initialize(&raw, server.uri().c_str());
    Session ld(raw);
    int version = LDAP_VERSION3;
    ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
    if (ldap_simple_bind_s(ld.get(), kRootDn, kRootPassword) != LDAP_SUCCESS)
        ld.reset();
    return ld;
}

// A fresh container for one run: ou=<name>,ou=people.
std::string container(LDAP* ld, const std::string& name)
{
    char object_class[] = "organizationalUnit";
    char* classes[] = {object_class, nullptr};
    std::string ou = name;
    char* ous[] = {ou.data(), nullptr};
    char object_class_type[] = "objectClass";
    char ou_type[] = "ou";
    LDAPMod first = {LDAP_MOD_ADD, object_class_type, {classes}};
    LDAPMod second = {LDAP_MOD_ADD, ou_type, {ous}};
    LDAPMod* mods[] = {&first, &second, nullptr};
    std::string dn = "ou=" + name + "," + kPeople;
    ldap_add_ext_s(ld, dn.c_str(), mods, nullptr, nullptr);
    return dn;
}

int runs = 0;

// The root session for a benchmark's server; empty (and the benchmark marked
// as failed) when it cannot bind.
Session session_for(benchmark::State& state)
{
    Session ld = bind_root(server_for(state.range(0) != 0));
    if (!ld)
        state.SkipWithError("cannot bind");
    return ld;
}

// Sends kEntries adds under parent through the stream, in batches of
// kBatch made before the clock runs; false when any fails.
bool stream_entries(benchmark::State& state, LDAP* ld, const std::string& parent, const char* prefix, bool timed)
{
    if (timed)
        state.PauseTiming();
    std::vector<std::unique_ptr<AddBatch>> batches;
    for (int first = 1; first <= kEntries; first += kBatch)
        batches.push_back(std::make_unique<AddBatch>(parent, prefix, first, kBatch));
    if (timed)
        state.ResumeTiming();
    int start_value = 0;
    if (start_stream(ld, &start_value) != LDAP_SUCCESS)
        return false;
    int sequence = 0;
    for (auto& batch : batches) {
        BatchAnswer answer = read_batch_answer(ld, send_batch(ld, ++sequence, batch->operations()));
        if (answer.results.size() != static_cast<std::size_t>(kBatch) || answer.results.back().second != 0)
            return false;
    }
    end_stream(ld, sequence + 1);
    return true;
}

void BM_BulkStream(benchmark::State& state)
{
    Session ld = session_for(state);
    if (!ld)
        return;
    for (auto _ : state) {
        state.PauseTiming();
        std::string parent = container(ld.get(), "bulk" + std::to_string(++runs));
        state.ResumeTiming();
        if (!stream_entries(state, ld.get(), parent, "Bulk", true)) {
            state.SkipWithError("a batch failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

// A subtree of kEntries entries split off into a partition of its own
// (range(1) 0), then merged back (1), in that order; wall clock.
void BM_Partition(benchmark::State& state)
{
    Session ld = session_for(state);
    if (!ld)
        return;
    static std::map<bool, std::string> subtrees;
    std::string& subtree = subtrees[state.range(0) != 0];
    if (subtree.empty()) {
        subtree = container(ld.get(), "partition");
        if (!stream_entries(state, ld.get(), subtree, "Moved", false)) {
            state.SkipWithError("the entries cannot be loaded");
            return;
        }
    }
    for (auto _ : state) {
        const int rc = state.range(1) == 0 ? ldap_split_partition(ld.get(), subtree.data(), 0)
                                           : ldap_merge_partitions(ld.get(), subtree.data(), 0);
        if (rc != LDAP_SUCCESS) {
            state.SkipWithError("the partition did not move");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * (kEntries + 1));
}

void write_entries(const std::string& path, const std::string& parent, const std::string& prefix, int count,
                   const std::string& before = std::string())
{
    std::ofstream ldif(path);
    ldif << before;
    char number[16];
    for (int n = 1; n <= count; ++n) {
        std::snprintf(number, sizeof number, "%06d", n);
        ldif << "dn: cn=" << prefix << " " << number << "," << parent << "\nobjectClass: inetOrgPerson\ncn: "
             << prefix << " " << number << "\nsn: Loaded\nmail: " << prefix << number << "@example.com\n\n";
    }
}

// Runs a program to its end with its output discarded; true when it exits 0.
bool run_quietly(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status == 0;
}

void BM_Ldapadd(benchmark::State& state)
{
    slapd::Server& server = server_for(state.range(0) != 0);
    Session ld = session_for(state);
    if (!ld)
        return;
    for (auto _ : state) {
        state.PauseTiming();
        std::string name = "ldapadd" + std::to_string(++runs);
        std::string parent = container(ld.get(), name);
        std::string path = (server.folder() / (name + ".ldif")).string();
        write_entries(path, parent, "Bulk", kEntries);
        state.ResumeTiming();
        if (!run_quietly({"/usr/bin/ldapadd", "-x", "-H", server.uri(), "-D", kRootDn, "-w", kRootPassword, "-f", path})) {
            state.SkipWithError("ldapadd failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

// The same entries loaded offline with slapadd -q into an empty database of
// the server's configuration (the server's own database is left alone).
void BM_Slapadd(benchmark::State& state)
{
    slapd::Server& server = server_for(true);
    for (auto _ : state) {
        state.PauseTiming();
        std::string name = "slapadd" + std::to_string(++runs);
        std::filesystem::path directory = server.folder() / name;
        std::filesystem::create_directories(directory);
        std::ifstream original(server.folder() / "slapd.conf");
        std::string configuration((std::istreambuf_iterator<char>(original)), {});
        std::size_t at = configuration.find("\ndirectory ");
        std::size_t end = configuration.find('\n', at + 1);
        configuration.replace(at + 1, end - at - 1, "directory " + directory.string());
        std::string conf = (server.folder() / (name + ".conf")).string();
        std::ofstream(conf) << configuration;
        std::string parent = "ou=" + name + "," + kPeople;
        std::string path = (server.folder() / (name + ".ldif")).string();
        write_entries(path, parent, "Bulk", kEntries,
                      slapd::suffix_entry(kSuffix) + "dn: " + kPeople + "\nobjectClass: organizationalUnit\nou: people\n\n" +
                          "dn: " + parent + "\nobjectClass: organizationalUnit\nou: " + name + "\n\n");
        state.ResumeTiming();
        if (!run_quietly({"/usr/sbin/slapadd", "-q", "-f", conf, "-l", path})) {
            state.SkipWithError("slapadd failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

}  // namespace

// Argument: 0 as configured by default, 1 with dbnosync.
BENCHMARK(BM_BulkStream)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Ldapadd)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Slapadd)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Partition)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
