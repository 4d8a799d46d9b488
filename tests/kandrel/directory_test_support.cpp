#include "directory_test_support.h"

#include <atomic>
#include <memory>

namespace kandrel_test {
namespace {

std::string sample_tree()
{
    std::string ldif = slapd::suffix_entry(kSuffix) + slapd::people(kSuffix, kPeopleCount);
    ldif += std::string("dn: ") + kMultiValued +
            "\n"
            "objectClass: inetOrgPerson\n"
            "cn: Multi Valued\n"
            "sn: Valued\n"
            "mail: first@example.com\n"
            "mail: second@example.com\n"
            "mail: third@example.com\n"
            "description: Smith, John\n"
            "telephoneNumber: +1 555 0100\n"
            "telephoneNumber: +1 555 0101\n"
            // 00 01 02 ff: a value that is not text.
            "audio:: AAEC/w==\n"
            "\n";
    ldif += std::string("dn: ") + kReferral +
            "\n"
            "objectClass: referral\n"
            "objectClass: extensibleObject\n"
            "ou: elsewhere\n"
            "ref: " + kReferralUrl + "\n\n";
    ldif += std::string("dn: ") + kScratch + "\nobjectClass: organizationalUnit\nou: scratch\n\n";
    return ldif;
}

}  // namespace

slapd::Server& directory()
{
    static const std::unique_ptr<slapd::Server> server = [] {
        slapd::Options options;
        options.suffix = kSuffix;
        options.root_dn = kAdmin;
        options.root_password = kPassword;
        options.seed_ldif = sample_tree();
        options.database_config = {"sizelimit " + std::to_string(kAnonymousSizeLimit)};
        auto started = std::make_unique<slapd::Server>(options);
        started->start();
        return started;
    }();
    return *server;
}

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
    return !text(kInit, {testhost::Arg::utf8("127.0.0.1"), testhost::Arg::integer(directory().port())})
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

void DirectoryTest::SetUp()
{
    HostTest::SetUp();
    ASSERT_NO_THROW(directory());
    host_.connect();
}

void DirectoryTest::TearDown()
{
    // The library stays connected: objects of the test that end after this
    // still unbind through it, and it goes with the component.
    HostTest::TearDown();
}

}  // namespace kandrel_test
