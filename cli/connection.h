// The connection flags shared by every subcommand, with the meaning that
// OpenLDAP's tools give them, and the bound session they open.
#ifndef CLI_CONNECTION_H
#define CLI_CONNECTION_H

#include <optional>
#include <string>

#include "ldap_client.h"
#include "output.h"

namespace cli {

struct ConnectionOptions {
    std::optional<std::string> uri;      // -H; absent: ldap.conf's URI
    std::optional<std::string> bind_dn;  // -D
    std::optional<std::string> password;       // -w
    std::optional<std::string> password_file;  // -y
    bool prompt_password = false;              // -W
    int start_tls = 0;                         // -Z: 1 try, 2 (-ZZ) require
    bool dry_run = false;                      // -n
    int network_timeout = -1;                  // -o nettimeout=N (seconds)
};

// An LDAP handle, unbound and released when the session ends.
class Session {
public:
    Session() = default;
    explicit Session(LDAP* ld) : ld_(ld) {}
    ~Session();
    Session(Session&& other) noexcept : ld_(other.ld_) { other.ld_ = nullptr; }
    Session& operator=(Session&&) = delete;
    Session(const Session&) = delete;
    LDAP* get() const { return ld_; }

private:
    LDAP* ld_ = nullptr;
};

// Opens, secures and binds a session: protocol version 3, StartTLS as asked,
// a simple bind (anonymous without -D). Failures are reported on output and
// thrown as Failed; unusable options as UsageError or InputError.
Session open_session(const ConnectionOptions& options, Output& output);

// The password the options name: -w, -y (the whole file), -W (prompted on the
// terminal without echo); none gives an empty one.
std::string read_password(const ConnectionOptions& options);

}  // namespace cli

#endif
