// The directory the host programs of the tests work against: a private
// slapd with a sample tree, the same for the Linux test programs (which start
// it themselves) and the Windows ones (whose harness starts it with
// kandrel_test_directory).
#ifndef TESTS_KANDREL_DIRECTORY_SERVER_H
#define TESTS_KANDREL_DIRECTORY_SERVER_H

#include "slapd_server.h"

namespace kandrel_test {

inline constexpr char kSuffix[] = "dc=example,dc=com";
inline constexpr char kAdmin[] = "cn=admin,dc=example,dc=com";
inline constexpr char kPassword[] = "secret";
inline constexpr char kPeople[] = "ou=people,dc=example,dc=com";
// 60 people, "cn=Person 00001" to "cn=Person 00060", plus the entries below.
inline constexpr int kPeopleCount = 60;
// Several values per attribute, one of them holding a comma, and a binary
// value.
inline constexpr char kMultiValued[] = "cn=Multi Valued,ou=people,dc=example,dc=com";
// A referral object: subtree searches over it give a search reference.
inline constexpr char kReferral[] = "ou=elsewhere,dc=example,dc=com";
inline constexpr char kReferralUrl[] = "ldap://other.example.com/ou=elsewhere,dc=example,dc=com";
// Searches of anyone but the root DN end after this many entries.
inline constexpr int kAnonymousSizeLimit = 5;
// Where tests add, change and delete entries of their own.
inline constexpr char kScratch[] = "ou=scratch,dc=example,dc=com";

// The server's configuration and tree.
slapd::Options directory_options();
// The directory of this test program, started on first use (not in the
// Windows programs).
slapd::Server& directory();

}  // namespace kandrel_test

#endif
