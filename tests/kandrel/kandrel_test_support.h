// Shared fixtures of the Kandrel tests.
#ifndef TESTS_KANDREL_TEST_SUPPORT_H
#define TESTS_KANDREL_TEST_SUPPORT_H

#include <gtest/gtest.h>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host_services.h"
#include "test_host.h"

namespace kandrel_test {

inline constexpr std::int32_t kSession = 1001;

// The component's methods, properties and codes as host programs see them.
enum Method : std::int32_t {
    kAvailable = 2000, kInit, kUnbindS, kSetOption, kGetOption, kSimpleBindS, kAddExtS,
    kModifyExtS, kCompareS, kCountEntries, kCountReferences, kCountMessages, kMsgType, kMsgId,
    kFirstMessage, kNextMessage, kParseResult, kParseReference, kSearchExt, kSearchExtS, kFree,
    kFirstEntry, kNextEntry, kFirstAttribute, kNextAttribute, kGetValuesLen, kGetValues,
    kDeleteExtS, kGetDn, kResult, kCreatePersistentSearch, kAddAtt, kSetAtt, kGetAtt,
    kGetAttArrayItem,
};
static_assert(kGetAttArrayItem == 2034);
enum Property : std::int32_t { kPropSession = 2100, kPropUtf8 = 2101, kPropDebug = 2102 };

// A fresh host instance number for every use, so tests sharing a process do
// not meet each other's objects.
inline HostLParam fresh_instance()
{
    static std::atomic<HostLParam> next{0x10000};
    return next.fetch_add(1);
}

// Runs a test inside its own empty directory, so "ldap.log" is the test's own.
class ScopedDirectory {
public:
    ScopedDirectory()
    {
#ifdef _WIN32
        // A name no other process or test uses: the process id and a count.
        static std::atomic<unsigned> count{0};
        path_ = std::filesystem::temp_directory_path() /
                ("kandrel-test-" + std::to_string(_getpid()) + "-" +
                 std::to_string(count.fetch_add(1)));
        std::filesystem::create_directory(path_);
#else
        char pattern[] = "/tmp/kandrel-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made != nullptr) {
            path_ = made;
        }
#endif
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScopedDirectory()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    bool log_exists() const { return std::filesystem::exists(path_ / "ldap.log"); }
    std::string log_text() const
    {
        // Read as text: the log is written in text mode, whose line end is
        // "\r\n" on Windows.
        std::ifstream in(path_ / "ldap.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// A request built by the test host, for calling the component's internals in
// process. The first request also hands the host's tables to the in-process
// component, as the first message would.
class InProcessRequest : public testhost::Request {
public:
    explicit InProcessRequest(const std::vector<testhost::Arg>& params = {}, std::int32_t id = 0)
        : Request(kSession, 7, id, params)
    {
        kandrel::host::adopt_services(info());
    }
};

// A host with libkandrel.so loaded. Every test ends with the host's values
// back where they started and no handle misused.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(component_.loaded()) << testhost::default_component_path();
        values_before_ = testhost::live_values();
        lists_before_ = testhost::live_lists();
        bad_before_ = testhost::bad_handles();
    }
    void TearDown() override
    {
        EXPECT_EQ(testhost::live_values(), values_before_);
        EXPECT_EQ(testhost::live_lists(), lists_before_);
        EXPECT_EQ(testhost::bad_handles(), bad_before_);
    }

    // Sets $debug through some object (it is process-wide).
    void set_debug(bool on)
    {
        const HostLParam instance = fresh_instance();
        host_.create(instance);
        host_.set_property(instance, kPropDebug, testhost::Arg::boolean(on));
        host_.destroy(instance);
    }

    testhost::Component component_{testhost::default_component_path()};
    testhost::TestHost host_{component_};

private:
    std::size_t values_before_ = 0;
    std::size_t lists_before_ = 0;
    std::size_t bad_before_ = 0;
};

}  // namespace kandrel_test

#endif
