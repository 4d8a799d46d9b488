// Host programs against a real directory: one private slapd per test
// program with a sample tree, and LDAPSession objects driven through the
// test host and LDAPWndProc exactly as host programs drive them.
#ifndef TESTS_KANDREL_DIRECTORY_TEST_SUPPORT_H
#define TESTS_KANDREL_DIRECTORY_TEST_SUPPORT_H

#include <string>
#include <utility>
#include <vector>

#include "kandrel_test_support.h"
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

// The directory of this test program, started on first use.
slapd::Server& directory();

// A collection text from name/value pairs.
std::string collection(const std::vector<std::pair<std::string, std::string>>& items);

// A DN under kScratch that no other test uses.
std::string scratch_dn(const std::string& name);

// An LDAPSession object of a host program; deleted when it goes.
class Session {
public:
    explicit Session(testhost::TestHost& host);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    HostLParam instance() const { return instance_; }
    testhost::Reply call(std::int32_t method, const std::vector<testhost::Arg>& params = {}) const;
    // The return value as text ("<none>" when there is none) or integer.
    std::string text(std::int32_t method, const std::vector<testhost::Arg>& params = {}) const;
    std::int32_t integer(std::int32_t method, const std::vector<testhost::Arg>& params = {}) const;

    // $init on the directory; true when a session was made.
    bool init() const;
    // $init and $simple_bind_s as the administrator; fails the test otherwise.
    void open() const;
    // $search_ext_s(Base, Scope, Filter, Attrs): the result reference.
    std::string search(const std::string& base, int scope, const std::string& filter = "",
                       const std::string& attributes = "") const;
    // $free of a reference; its answer.
    std::int32_t free(const std::string& reference) const;

private:
    testhost::TestHost& host_;
    HostLParam instance_;
};

// Host tests with the client library connected and the directory running.
class DirectoryTest : public HostTest {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace kandrel_test

#endif
