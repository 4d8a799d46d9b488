// Fixture for the command's tests: a loopback peer on a free port and the
// command run as a process against it.
#ifndef TESTS_CLI_CLI_FIXTURE_H
#define TESTS_CLI_CLI_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ber_text.h"
#include "operation_names.h"
#include "process.h"
#include "test_peer.h"

#define ADMIN_OID(arc) LDAPEXT_ADMIN_OID(arc)
#define LBURP_OID(arc) LDAPEXT_BULK_OID(arc)

namespace clitest {

using Json = nlohmann::ordered_json;

class CliTest : public ::testing::Test {
protected:
    testpeer::TestPeer peer;

    // The connection flags for the peer, then arguments.
    std::vector<std::string> with_peer(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> all{"-H", peer.uri(), "-x", "-D", "cn=admin", "-w", "secret"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
    ProcessResult tervane(const std::vector<std::string>& arguments, const ProcessOptions& options = {})
    {
        return run(with_peer(arguments), options);
    }
    // The extended requests' names, and their values rendered.
    std::vector<std::string> sent_names()
    {
        std::vector<std::string> names;
        for (const auto& request : peer.requests())
            names.push_back(request.name);
        return names;
    }
    static std::string rendered(const testpeer::Request& request)
    {
        return request.value ? bertext::render(*request.value) : "<none>";
    }
};

// A temporary file, removed at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::string& content = std::string(), const std::string& suffix = ".tmp");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }
    std::string content() const;

private:
    std::string path_;
};

}  // namespace clitest

#endif
