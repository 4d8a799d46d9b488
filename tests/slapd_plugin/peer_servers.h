// Two slapds with the plug-in that are peers of each other, cn=a and cn=b,
// for the replica tests and benchmark: cn=a holds dc=example,dc=com, cn=b a
// database of its own (dc=b). The replicator is each one's configuration
// root DN, "cn=config", with the same password, in a file only its owner may
// read; each makes replicas in its own folder (folder/a, folder/b).
#ifndef TESTS_SLAPD_PLUGIN_PEER_SERVERS_H
#define TESTS_SLAPD_PLUGIN_PEER_SERVERS_H

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plugin_server.h"

namespace plugin_test {

inline constexpr char kServerA[] = "cn=a";
inline constexpr char kServerB[] = "cn=b";

struct PeerServers {
    std::filesystem::path folder;
    std::unique_ptr<slapd::Server> a, b;
    ~PeerServers();
};

// Starts both; cn=a's database holds seed and has database_config (access
// rules, limits, "dbnosync", ...).
std::unique_ptr<PeerServers> start_peer_servers(const std::string& seed,
                                                const std::vector<std::string>& database_config);

}  // namespace plugin_test

#endif
