#include "peer_servers.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace plugin_test {

PeerServers::~PeerServers()
{
    a.reset();
    b.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::unique_ptr<PeerServers> start_peer_servers(const std::string& seed,
                                                const std::vector<std::string>& database_config)
{
    auto made = std::make_unique<PeerServers>();
    std::string pattern = (std::filesystem::temp_directory_path() / "replicas-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a folder");
    made->folder = pattern;
    const std::filesystem::path secret = made->folder / "secret";
    std::ofstream(secret) << kConfigPassword << "\n";
    chmod(secret.c_str(), 0600);
    for (const char* name : {"a", "b"})
        std::filesystem::create_directories(made->folder / name);
    slapd::Options a;
    a.seed_ldif = seed;
    a.database_config = database_config;
    slapd::Options b;
    b.suffix = "dc=b";
    b.root_dn = "cn=admin,dc=b";
    for (slapd::Options* options : {&a, &b}) {
        options->config_password = kConfigPassword;
        options->ldapi = true;
    }
    made->a = std::make_unique<slapd::Server>(a);
    made->b = std::make_unique<slapd::Server>(b);
    auto arguments = [&](const char* self, const char* replicas, const char* peer, slapd::Server& other) {
        return std::string("server=") + self + " replicator=cn=config replicator-secret=" + secret.string() +
               " replicas=" + (made->folder / replicas).string() + " peer=" + peer + "@" + other.ldapi_uri();
    };
    for (const std::string& line :
         plugin_configuration(ADMIN_EXTENSIONS_PLUGIN, arguments(kServerA, "a", kServerB, *made->b)))
        made->a->add_global_config(line);
    for (const std::string& line :
         plugin_configuration(ADMIN_EXTENSIONS_PLUGIN, arguments(kServerB, "b", kServerA, *made->a)))
        made->b->add_global_config(line);
    made->a->start();
    made->b->start();
    return made;
}

}  // namespace plugin_test
