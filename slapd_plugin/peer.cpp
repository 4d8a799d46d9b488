#include "peer.h"

#include <chrono>

#include "configuration.h"
#include "directory.h"
#include "server_state.h"

namespace adminext {

namespace {

using Clock = std::chrono::steady_clock;

// Another server answers within this time or is taken as unreachable.
constexpr auto kAnswerWait = std::chrono::seconds(30);
constexpr timeval kConnectWait{5, 0};

}  // namespace

std::unique_ptr<Peer> Peer::open(const std::string& uri, std::string& error)
{
    LDAP* raw = nullptr;
    if (ldap_initialize(&raw, uri.c_str()) != LDAP_SUCCESS) {
        error = "the URI " + uri + " cannot be used";
        return nullptr;
    }
    std::unique_ptr<Peer> peer(new Peer(raw));
    int version = LDAP_VERSION3;
    ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(raw, LDAP_OPT_NETWORK_TIMEOUT, &kConnectWait);
    ldap_set_option(raw, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    // The replicator's password never crosses the network in clear: over
    // ldap:// the connection must turn to TLS first.
    if (uri.rfind("ldap://", 0) == 0 && ldap_start_tls_s(raw, nullptr, nullptr) != LDAP_SUCCESS) {
        error = uri + " does not offer TLS (StartTLS), which the replicator's password needs";
        return nullptr;
    }
    berval password{replicator_secret().size(), const_cast<char*>(replicator_secret().data())};
    int msgid = 0;
    PeerAnswer bound;
    if (ldap_sasl_bind(raw, settings().replicator.c_str(), LDAP_SASL_SIMPLE, &password, nullptr, nullptr, &msgid) ==
        LDAP_SUCCESS)
        bound = peer->wait(msgid, nullptr);
    if (bound.code != LDAP_SUCCESS) {
        error = uri + " does not accept the replicator " + settings().replicator + " (" +
                ldap_err2string(bound.code) + (bound.text.empty() ? "" : ": " + bound.text) + ")";
        return nullptr;
    }
    return peer;
}

Peer::~Peer() { ldap_unbind_ext(ld_, nullptr, nullptr); }

PeerAnswer Peer::wait(int msgid, LDAPMessage** kept)
{
    PeerAnswer answer;
    const auto until = Clock::now() + kAnswerWait;
    LDAPMessage* message = nullptr;
    for (;;) {
        timeval step{0, 100000};
        const int rc = ldap_result(ld_, msgid, LDAP_MSG_ALL, &step, &message);
        if (rc > 0)
            break;
        if (rc < 0 || Clock::now() >= until || server_stopping()) {
            answer.text = rc < 0 ? "the connection to the other server failed" : "the other server did not answer";
            return answer;
        }
        allow_pause();
    }
    char* text = nullptr;
    if (ldap_parse_result(ld_, message, &answer.code, nullptr, &text, nullptr, nullptr, 0) != LDAP_SUCCESS)
        answer.code = LDAP_DECODING_ERROR;
    if (text != nullptr)
        answer.text = text;
    ldap_memfree(text);
    if (ldap_msgtype(message) == LDAP_RES_EXTENDED) {
        berval* value = nullptr;
        if (ldap_parse_extended_result(ld_, message, nullptr, &value, 0) == LDAP_SUCCESS && value != nullptr)
            answer.value.assign(value->bv_val, value->bv_len);
        ber_bvfree(value);
    }
    if (kept != nullptr)
        *kept = message;
    else
        ldap_msgfree(message);
    return answer;
}

PeerAnswer Peer::extended(const char* name, const std::string& value)
{
    berval data{value.size(), const_cast<char*>(value.data())};
    int msgid = 0;
    if (ldap_extended_operation(ld_, name, &data, nullptr, nullptr, &msgid) != LDAP_SUCCESS)
        return {LDAP_UNAVAILABLE, "the request could not be sent to the other server", {}};
    return wait(msgid, nullptr);
}

int Peer::search(const std::string& base, int scope, const std::string& filter,
                 const std::vector<std::string>& types, std::vector<LdifEntry>* found)
{
    std::vector<char*> names;
    for (const std::string& type : types)
        names.push_back(const_cast<char*>(type.c_str()));
    names.push_back(nullptr);
    int msgid = 0;
    if (ldap_search_ext(ld_, base.c_str(), scope, filter.c_str(), names.data(), 0, nullptr, nullptr, nullptr, 0,
                        &msgid) != LDAP_SUCCESS)
        return LDAP_UNAVAILABLE;
    LDAPMessage* messages = nullptr;
    PeerAnswer answer = wait(msgid, &messages);
    for (LDAPMessage* entry = ldap_first_entry(ld_, messages); entry != nullptr; entry = ldap_next_entry(ld_, entry)) {
        LdifEntry read;
        char* dn = ldap_get_dn(ld_, entry);
        read.dn = dn != nullptr ? dn : "";
        ldap_memfree(dn);
        BerElement* position = nullptr;
        for (char* type = ldap_first_attribute(ld_, entry, &position); type != nullptr;
             type = ldap_next_attribute(ld_, entry, position)) {
            std::vector<std::string>& values = read.attributes.emplace_back(Attribute{type, {}}).values;
            if (berval** got = ldap_get_values_len(ld_, entry, type)) {
                for (berval** value = got; *value != nullptr; ++value)
                    values.emplace_back((*value)->bv_val, (*value)->bv_len);
                ldap_value_free_len(got);
            }
            ldap_memfree(type);
        }
        ber_free(position, 0);
        found->push_back(std::move(read));
    }
    ldap_msgfree(messages);
    return answer.code;
}

PeerAnswer Peer::add(const std::string& dn, LDAPMod** attributes)
{
    int msgid = 0;
    if (ldap_add_ext(ld_, dn.c_str(), attributes, nullptr, nullptr, &msgid) != LDAP_SUCCESS)
        return {LDAP_UNAVAILABLE, "the add could not be sent to the other server", {}};
    return wait(msgid, nullptr);
}

PeerAnswer Peer::modify(const std::string& dn, LDAPMod** modifications)
{
    int msgid = 0;
    if (ldap_modify_ext(ld_, dn.c_str(), modifications, nullptr, nullptr, &msgid) != LDAP_SUCCESS)
        return {LDAP_UNAVAILABLE, "the change could not be sent to the other server", {}};
    return wait(msgid, nullptr);
}

std::optional<std::string> server_uri(const std::string& server)
{
    const std::optional<std::string> name = normalize_dn(server);
    for (const Settings::Peer& peer : settings().peers)
        if (name && normalize_dn(peer.dn) == name)
            return peer.uri;
    return std::nullopt;
}

}  // namespace adminext
