#include "directory_test_support.h"

#include <atomic>
#include <cstdlib>
#include <string>

namespace kandrel_test {

std::string collection(const std::vector<std::pair<std::string, std::string>>& items)
{
    std::string text;
    for (const auto& [name, value] : items) {
        text += name + ": " + value + "\r";
    }
    return text;
}

std::string scratch_dn(const std::string& name)
{
    static std::atomic<int> next{1};
    return "cn=" + name + " " + std::to_string(next++) + "," + kScratch;
}

Session::Session(testhost::TestHost& host) : host_(host), instance_(fresh_instance())
{
    host_.create(instance_);
}

Session::~Session() { host_.destroy(instance_); }

testhost::Reply Session::call(std::int32_t method, const std::vector<testhost::Arg>& params) const
{
    return host_.call(instance_, method, params);
}

std::string Session::text(std::int32_t method, const std::vector<testhost::Arg>& params) const
{
    const testhost::Reply reply = call(method, params);
    return reply.result ? reply.result->utf8() : "<none>";
}

std::int32_t Session::integer(std::int32_t method, const std::vector<testhost::Arg>& params) const
{
    const testhost::Reply reply = call(method, params);
    EXPECT_TRUE(reply.result && reply.result->type == HOST_TYPE_INTEGER) << "method " << method;
    return reply.result ? reply.result->integer : -12345;
}

bool Session::init() const
{
    return !text(kInit, {testhost::Arg::utf8("127.0.0.1"), testhost::Arg::integer(directory_port())})
                .empty();
}

void Session::open() const
{
    ASSERT_TRUE(init());
    ASSERT_EQ(integer(kSimpleBindS, {testhost::Arg::utf8(kAdmin), testhost::Arg::utf8(kPassword)}), 0);
}

std::string Session::search(const std::string& base, int scope, const std::string& filter,
                            const std::string& attributes) const
{
    return text(kSearchExtS, {testhost::Arg::utf8(base), testhost::Arg::integer(scope),
                              testhost::Arg::utf8(filter), testhost::Arg::utf8(attributes)});
}

std::int32_t Session::free(const std::string& reference) const
{
    return integer(kFree, {testhost::Arg::utf8(reference)});
}

int directory_port()
{
#ifdef _WIN32
    // Started by the harness outside the Windows program (against_server.sh).
    const char* uri = std::getenv("TEST_SERVER_URI");
    const std::string text = uri != nullptr ? uri : "";
    const std::size_t colon = text.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(text.c_str() + colon + 1);
#else
    return directory().port();
#endif
}

void DirectoryTest::SetUp()
{
    HostTest::SetUp();
#ifdef _WIN32
    ASSERT_NE(directory_port(), 0) << "TEST_SERVER_URI names no server";
#else
    ASSERT_NO_THROW(directory());
#endif
    host_.connect();
}

void DirectoryTest::TearDown()
{
    // The library stays connected: objects of the test that end after this
    // still unbind through it, and it goes with the component.
    HostTest::TearDown();
}

}  // namespace kandrel_test
