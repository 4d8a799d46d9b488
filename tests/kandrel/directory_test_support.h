// Host programs against a real directory: one private slapd per test
// program with a sample tree, and LDAPSession objects driven through the
// test host and LDAPWndProc exactly as host programs drive them.
#ifndef TESTS_KANDREL_DIRECTORY_TEST_SUPPORT_H
#define TESTS_KANDREL_DIRECTORY_TEST_SUPPORT_H

#include <string>
#include <utility>
#include <vector>

#include "directory_server.h"
#include "kandrel_test_support.h"

namespace kandrel_test {

// The port of the directory: the one this program started (directory()),
// or, in the Windows test programs, the one the harness started and named in
// TEST_SERVER_URI.
int directory_port();

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
