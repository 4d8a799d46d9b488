// One slapd with the administration-extensions plug-in for a whole test
// program, and sessions bound to it through the real client library.
//
// The tree: dc=example,dc=com with ou=people (empty), ou=staff holding
// uid=operator (a member of the administrators' group, who may write under
// ou=people only) and uid=user (an ordinary user), ou=groups holding
// cn=administrators, and ou=secret holding ou=hidden, which only the root DN
// may see.
#ifndef TESTS_SLAPD_PLUGIN_PLUGIN_SERVER_H
#define TESTS_SLAPD_PLUGIN_PLUGIN_SERVER_H

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#define LDAP_DEPRECATED 1
#include <ldap.h>

#include "slapd_server.h"

namespace plugin_test {

inline constexpr char kSuffix[] = "dc=example,dc=com";
inline constexpr char kPeople[] = "ou=people,dc=example,dc=com";
inline constexpr char kRootDn[] = "cn=admin,dc=example,dc=com";
inline constexpr char kRootPassword[] = "secret";
inline constexpr char kOperatorDn[] = "uid=operator,ou=staff,dc=example,dc=com";
inline constexpr char kUserDn[] = "uid=user,ou=staff,dc=example,dc=com";
inline constexpr char kServerDn[] = "cn=directory,dc=example,dc=com";
inline constexpr char kAdministrators[] = "cn=administrators,ou=groups,dc=example,dc=com";
// The password of the configuration's root DN, "cn=config": the server runs
// from a configuration directory.
inline constexpr char kConfigPassword[] = "config";
// The root DN of a second database, dc=other, which holds no entry.
inline constexpr char kOtherRootDn[] = "cn=manager,dc=other";

// Who a session binds as.
enum class Who { anonymous, user, operator_, root, other_root };

struct LdapUnbind {
    void operator()(LDAP* ld) const noexcept { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
using Session = std::unique_ptr<LDAP, LdapUnbind>;

// The configuration lines that load the plug-in from `plugin` with args.
std::vector<std::string> plugin_configuration(const std::string& plugin, const std::string& arguments);

// The program's server, started at first use.
slapd::Server& server();
// A protocol-3 session bound as `who`; fails the calling test when it
// cannot bind.
Session connect(Who who);
// A protocol-3 session with any server, bound as dn (anonymous when null);
// a failed bind fails the calling test.
Session bind_to(slapd::Server& server, const char* dn, const char* password);
// Adds dn with one value for each (type, value) pair; the result code.
int add_values(LDAP* ld, const std::string& dn, const std::vector<std::pair<const char*, const char*>>& attributes);
// The diagnostic text the handle holds.
std::string diagnostic(LDAP* ld);

// What a search for (objectClass=*) finds, by DN: each entry's user
// attributes and their values. *rc (optional) receives the search's code.
using Attributes = std::map<std::string, std::multiset<std::string>>;
std::map<std::string, Attributes> search_entries(LDAP* ld, const std::string& base, int scope, int* rc = nullptr);
// Changes the server's configuration over LDAP as "cn=config" (a limit, set
// to the value it already has) and answers the result code, -1 when no
// answer came within ten seconds.
int change_configuration();
// What the server wrote that a sanitizer or a crash would have written.
std::string server_faults();

}  // namespace plugin_test

#endif
