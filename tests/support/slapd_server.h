// A private slapd for tests, demos and benchmarks: a configuration generated
// in a temporary folder (mdb backend, one suffix, a root DN with a password),
// a seed tree loaded with slapadd, and the server started as a child process
// on 127.0.0.1 at a free port found at run time. The server is stopped by its
// own process id when the object ends (also when a test fails), and it dies
// with the process that started it, so no test leaves a server behind.
#ifndef TESTS_SUPPORT_SLAPD_SERVER_H
#define TESTS_SUPPORT_SLAPD_SERVER_H

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace slapd {

struct Options {
    std::string suffix = "dc=example,dc=com";
    std::string root_dn = "cn=admin,dc=example,dc=com";
    std::string root_password = "secret";
    // Loaded with slapadd before the server starts. It must hold the suffix
    // entry itself; empty: only the suffix entry is loaded.
    std::string seed_ldif;
    // Schema files of /etc/ldap/schema, by name without ".schema".
    std::vector<std::string> schemas = {"core", "cosine", "inetorgperson"};
    // Lines of the global section (plug-ins, limits) and of the database
    // section (access rules, "dbnosync", ...).
    std::vector<std::string> global_config;
    std::vector<std::string> database_config;
    // Further empty mdb databases after the first, each with its own root DN.
    struct Database {
        std::string suffix, root_dn, root_password;
    };
    std::vector<Database> more_databases;
    // Not empty: a configuration database (cn=config, root DN "cn=config"
    // with this password), and the server runs from a configuration
    // directory (slapd -F) made from the generated file, so that its
    // configuration can be changed over LDAP while it runs.
    std::string config_password;
    // A self-signed certificate for 127.0.0.1 (made with openssl in the
    // server's folder): StartTLS on the ldap:// port and an ldaps:// port.
    bool tls = false;
    // A local socket in the server's folder too (ldapi_uri()).
    bool ldapi = false;
};

class Server {
public:
    explicit Server(Options options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Writes the configuration, loads the seed and starts the server, trying
    // other ports when the one chosen was taken meanwhile. Answers when the
    // server accepts connections; throws std::runtime_error with slapd's own
    // output when it cannot be started.
    void start();
    // Stops the server (SIGTERM, then SIGKILL after a grace period) and
    // waits for it. Safe to call more than once.
    void stop() noexcept;

    bool running() const noexcept { return pid_ > 0; }
    pid_t pid() const noexcept { return pid_; }
    int port() const noexcept { return port_; }
    // ldap://127.0.0.1:<port>
    std::string uri() const;
    // With tls: ldaps://127.0.0.1:<its port>, and the certificate (PEM) a
    // client must trust.
    std::string ldaps_uri() const;
    std::filesystem::path certificate() const { return folder_ / "certificate.pem"; }
    // With ldapi: ldapi://<the socket's path, URL-encoded>; known before
    // the server starts.
    std::string ldapi_uri() const;
    // A line for the global section, before the server starts (a setting
    // that names another server, known once both objects exist).
    void add_global_config(std::string line) { options_.global_config.push_back(std::move(line)); }
    const Options& options() const noexcept { return options_; }
    const std::filesystem::path& folder() const noexcept { return folder_; }
    // What slapd and slapadd wrote so far.
    std::string output() const;

private:
    void write_configuration() const;
    void make_certificate() const;
    void load_seed() const;
    bool launch(int port);

    Options options_;
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    int port_ = 0;
    int ldaps_port_ = 0;
};

// LDIF text of the entry "suffix" itself (dcObject and organization).
std::string suffix_entry(const std::string& suffix);

// LDIF of count people under "ou=people,<suffix>" (with that entry first):
// cn "Person <n>", sn, uid "person<n>", mail, numbered from 1 with five
// digits, e.g. "cn=Person 00001,ou=people,dc=example,dc=com".
std::string people(const std::string& suffix, int count);

}  // namespace slapd

#endif
