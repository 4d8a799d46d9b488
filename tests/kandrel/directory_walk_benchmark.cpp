// Searching and walking 10,000 entries of a private slapd: once as a host
// program does it through LDAPWndProc ($search_ext_s, $first_entry and
// $next_entry, $first_attribute and $next_attribute, $get_values, $free),
// once written directly on libldap, in the same process and run, so their
// ratio is the component's cost.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ldap_client.h"
#include "slapd_server.h"
#include "test_host.h"

namespace {

using testhost::Arg;

constexpr int kEntries = 10000;
constexpr char kSuffix[] = "dc=example,dc=com";
constexpr char kAdmin[] = "cn=admin,dc=example,dc=com";
constexpr char kPassword[] = "secret";
constexpr char kPeople[] = "ou=people,dc=example,dc=com";
constexpr int kOneLevel = 1;

slapd::Server& directory()
{
    static const std::unique_ptr<slapd::Server> server = [] {
        slapd::Options options;
        options.seed_ldif = slapd::suffix_entry(kSuffix) + slapd::people(kSuffix, kEntries);
        auto started = std::make_unique<slapd::Server>(options);
        started->start();
        return started;
    }();
    return *server;
}

void WalkThroughComponent(benchmark::State& state)
{
    testhost::Component component(testhost::default_component_path());
    testhost::TestHost host(component);
    host.connect();
    const HostLParam object = 1;
    host.create(object);
    host.call(object, 2001, {Arg::utf8("127.0.0.1"), Arg::integer(directory().port())});
    if (host.call(object, 2005, {Arg::utf8(kAdmin), Arg::utf8(kPassword)}).result->integer != 0) {
        state.SkipWithError("bind failed");
        return;
    }
    std::size_t values = 0;
    for (auto _ : state) {
        const std::string chain =
            host.call(object, 2019, {Arg::utf8(kPeople), Arg::integer(kOneLevel)}).result->utf8();
        for (std::string entry = host.call(object, 2021, {Arg::utf8(chain)}).result->utf8(); !entry.empty();
             entry = host.call(object, 2022, {Arg::utf8(entry)}).result->utf8()) {
            testhost::Reply first = host.call(object, 2023, {Arg::utf8(entry), Arg::utf8("")});
            const std::string ber = first.params[2].utf8();
            for (std::string name = first.result->utf8(); !name.empty();
                 name = host.call(object, 2024, {Arg::utf8(entry), Arg::utf8(ber)}).result->utf8()) {
                values += host.call(object, 2026, {Arg::utf8(entry), Arg::utf8(name)}).result->text.size();
            }
            host.call(object, 2020, {Arg::utf8(ber)});
        }
        host.call(object, 2020, {Arg::utf8(chain)});
    }
    benchmark::DoNotOptimize(values);
    host.destroy(object);
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void WalkOnLibldap(benchmark::State& state)
{
    LDAP* ld = ldap_init("127.0.0.1", directory().port());
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    if (ldap_simple_bind_s(ld, kAdmin, kPassword) != LDAP_SUCCESS) {
        state.SkipWithError("bind failed");
        return;
    }
    std::size_t values = 0;
    for (auto _ : state) {
        timeval limit{10, 0};
        LDAPMessage* chain = nullptr;
        ldap_search_ext_s(ld, kPeople, kOneLevel, "(objectClass=*)", nullptr, 0, nullptr, nullptr, &limit, 0,
                          &chain);
        for (LDAPMessage* entry = ldap_first_entry(ld, chain); entry != nullptr; entry = ldap_next_entry(ld, entry)) {
            BerElement* ber = nullptr;
            for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
                 name = ldap_next_attribute(ld, entry, ber)) {
                char** found = ldap_get_values(ld, entry, name);
                for (int i = 0; i < ldap_count_values(found); ++i) {
                    values += std::string(found[i]).size();
                }
                ldap_value_free(found);
                ldap_memfree(name);
            }
            ber_free(ber, 0);
        }
        ldap_msgfree(chain);
    }
    benchmark::DoNotOptimize(values);
    ldap_unbind_s(ld);
    state.SetItemsProcessed(state.iterations() * kEntries);
}

BENCHMARK(WalkOnLibldap)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(WalkThroughComponent)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
