// Whole exchanges with the loopback peer, each against the same exchange
// written by hand on libldap and liblber: a synchronous export against
// ber_printf, ldap_extended_operation_s and ber_scanf; an LBURP batch of adds
// against the same batch written with bare ber_printf calls and sent with
// ldap_extended_operation.
#include <cstring>
#include <string>
#include <vector>

#include "benchmark_pairs.h"
#include "ber_text.h"
#include "ldap_owners.h"
#include "operation_names.h"
#include "test_peer.h"
#include "tervane.h"

namespace {

constexpr char kDnsToX500Request[] = LDAPEXT_ADMIN_OID(101);
constexpr char kDnsToX500Response[] = LDAPEXT_ADMIN_OID(102);
constexpr char kLburpOperationRequest[] = LDAPEXT_BULK_OID(6);
constexpr int kBatch = 50;

using ldapc::BerPtr;

testpeer::TestPeer& peer()
{
    static testpeer::TestPeer instance;
    return instance;
}

// The export: request SEQUENCE-less OCTET STRING, response OCTET STRING.
void export_call(benchmark::State& state)
{
    peer().set_responder([](const testpeer::Request&) { return testpeer::Reply::with_value(der::octets("o=example")); });
    testpeer::LdapHandle ld(peer().connect());
    char name[] = "example.com";
    for (auto _ : state) {
        char* dn = nullptr;
        if (ldap_dns_to_x500_dn(ld, name, &dn) != 0) {
            state.SkipWithError("the export failed");
            break;
        }
        tervane_memfree(dn);
    }
}

void hand_written_call(benchmark::State& state)
{
    peer().set_responder([](const testpeer::Request&) { return testpeer::Reply::with_value(der::octets("o=example")); });
    testpeer::LdapHandle ld(peer().connect());
    for (auto _ : state) {
        BerPtr ber(ber_alloc_t(LBER_USE_DER));
        berval* request = nullptr;
        ber_printf(ber.get(), "s", "example.com");
        ber_flatten(ber.get(), &request);
        char* name = nullptr;
        berval* value = nullptr;
        int rc = ldap_extended_operation_s(ld, kDnsToX500Request, request, nullptr, nullptr, &name, &value);
        char* dn = nullptr;
        if (rc == 0 && name != nullptr && std::strcmp(name, kDnsToX500Response) == 0 && value != nullptr) {
            BerPtr reader(ber_init(value));
            ber_scanf(reader.get(), "a", &dn);
        }
        if (dn == nullptr) {
            state.SkipWithError("the exchange failed");
        }
        ber_memfree(dn);
        ldap_memfree(name);
        ber_bvfree(value);
        ber_bvfree(request);
    }
}

// A batch of adds, each with three attributes of one value.
class Batch {
public:
    Batch()
    {
        for (int k = 0; k < kBatch; ++k) {
            Entry& entry = entries_[k];
            entry.dn = "cn=user" + std::to_string(k) + ",ou=people,o=example";
            entry.values = {"user" + std::to_string(k), "Doe", "user" + std::to_string(k) + "@example.com"};
            for (int a = 0; a < 3; ++a) {
                entry.value_lists[a][0] = entry.values[a].data();
                entry.value_lists[a][1] = nullptr;
                entry.mods[a] = LDAPMod{LDAP_MOD_ADD, const_cast<char*>(kTypes[a]), {entry.value_lists[a]}};
                entry.mod_list[a] = &entry.mods[a];
            }
            entry.mod_list[3] = nullptr;
            entry.operation = lburp_operation{LBURP_OP_ADD, entry.dn.data(), entry.mod_list, nullptr};
            operations_[k] = &entry.operation;
        }
        operations_[kBatch] = nullptr;
    }
    lburp_operation** operations() { return operations_; }

    // SEQUENCE { INTEGER sequence, SEQUENCE { [APPLICATION 8] { dn,
    // SEQUENCE { SEQUENCE { type, SET OF value } ... } } } ... }
    berval* encode_by_hand(int sequence_number)
    {
        BerPtr ber(ber_alloc_t(LBER_USE_DER));
        ber_printf(ber.get(), "{i", sequence_number);
        for (int k = 0; k < kBatch; ++k) {
            const lburp_operation& operation = *operations_[k];
            ber_printf(ber.get(), "{t{s{", static_cast<ber_tag_t>(LBURP_OP_ADD), operation.dn);
            for (LDAPMod** mod = static_cast<LDAPMod**>(operation.specific); *mod != nullptr; ++mod) {
                ber_printf(ber.get(), "{s[v]}", (*mod)->mod_type, (*mod)->mod_values);
            }
            ber_printf(ber.get(), "}}}");
        }
        ber_printf(ber.get(), "}");
        berval* value = nullptr;
        ber_flatten(ber.get(), &value);
        return value;
    }

private:
    static constexpr const char* kTypes[3] = {"cn", "sn", "mail"};
    struct Entry {
        std::string dn;
        std::vector<std::string> values;
        char* value_lists[3][2];
        LDAPMod mods[3];
        LDAPMod* mod_list[4];
        lburp_operation operation;
    };
    Entry entries_[kBatch];
    lburp_operation* operations_[kBatch + 1];
};

// Sends a request and collects its answer.
bool answered(LDAP* ld, int msgid)
{
    timeval timeout{10, 0};
    LDAPMessage* answer = nullptr;
    const int type = ldap_result(ld, msgid, LDAP_MSG_ALL, &timeout, &answer);
    ldap_msgfree(answer);
    return type == LDAP_RES_EXTENDED;
}

void lburp_batch(benchmark::State& state)
{
    peer().set_responder(nullptr);
    testpeer::LdapHandle ld(peer().connect());
    Batch batch;
    int sequence = 1;
    for (auto _ : state) {
        int msgid = -1;
        if (ldap_lburp_operation_request(ld, sequence++, batch.operations(), &msgid) != 0 || !answered(ld, msgid)) {
            state.SkipWithError("the request failed");
            break;
        }
    }
}

void hand_written_batch(benchmark::State& state)
{
    peer().set_responder(nullptr);
    testpeer::LdapHandle ld(peer().connect());
    Batch batch;
    int sequence = 1;
    for (auto _ : state) {
        berval* value = batch.encode_by_hand(sequence++);
        int msgid = -1;
        const int rc = ldap_extended_operation(ld, kLburpOperationRequest, value, nullptr, nullptr, &msgid);
        ber_bvfree(value);
        if (rc != 0 || !answered(ld, msgid)) {
            state.SkipWithError("the request failed");
            break;
        }
    }
}

const bool registered = [] {
    benchpair::Options options;
    options.unit = benchmark::kMicrosecond;
    options.counting_factor = 50;
    benchpair::pair("synchronous_export", "dns_to_x500_dn", export_call, hand_written_call, options);
    options.items = kBatch;
    benchpair::pair("lburp_operation_request", "50_adds", lburp_batch, hand_written_batch, options);
    return true;
}();

}  // namespace
