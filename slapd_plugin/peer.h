// Another server of the set, reached over LDAP as the replicator
// (configuration.h): its administration requests, and its configuration.
// Every wait for an answer is bounded and lets slapd pause its threads.
#ifndef SLAPD_PLUGIN_PEER_H
#define SLAPD_PLUGIN_PEER_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <ldap.h>

#include "ldif.h"

namespace adminext {

struct PeerAnswer {
    int code = LDAP_UNAVAILABLE;
    std::string text;
    std::string value;
};

class Peer {
public:
    // Connects to uri and binds as the replicator; nothing, with `error`
    // set, when that fails.
    static std::unique_ptr<Peer> open(const std::string& uri, std::string& error);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    PeerAnswer extended(const char* name, const std::string& value);
    // A search; the answer's code, the entries in *found.
    int search(const std::string& base, int scope, const std::string& filter, const std::vector<std::string>& types,
               std::vector<LdifEntry>* found);
    PeerAnswer add(const std::string& dn, LDAPMod** attributes);
    PeerAnswer modify(const std::string& dn, LDAPMod** modifications);

private:
    explicit Peer(LDAP* ld) : ld_(ld) {}
    PeerAnswer wait(int msgid, LDAPMessage** kept);
    LDAP* ld_;
};

// The URI of another server of the set (a DN); nothing when it is none.
std::optional<std::string> server_uri(const std::string& server);

}  // namespace adminext

#endif
