// Encrypted sessions: $init on an LDAP URL (ldaps://, ldap://) and StartTLS
// through $set_option, against a slapd with a self-signed certificate that
// the client library refuses until it is told to trust it.
#include <gtest/gtest.h>

#include "directory_test_support.h"
#include "tls_trust.h"

namespace {

using namespace kandrel_test;
using testhost::Arg;

// The component's own option that starts TLS on a session.
constexpr std::int32_t kOptionStartTls = 0x7F01;

slapd::Server& tls_directory()
{
    static slapd::Server server = [] {
        slapd::Options options;
        options.tls = true;
        return slapd::Server(options);
    }();
    server.start();
    return server;
}

class Tls : public DirectoryTest {
protected:
    void TearDown() override
    {
        trust_certificates("");
        DirectoryTest::TearDown();
    }
    std::int32_t bind(const Session& session) const
    {
        return session.integer(kSimpleBindS, {Arg::utf8(kAdmin), Arg::utf8(kPassword)});
    }
    bool init(const Session& session, const std::string& host, int port = 0) const
    {
        return !session.text(kInit, {Arg::utf8(host), Arg::integer(port)}).empty();
    }
    std::int32_t start_tls(const Session& session) const
    {
        return session.integer(kSetOption, {Arg::integer(kOptionStartTls), Arg::integer(1)});
    }
};

TEST_F(Tls, AnUntrustedCertificateIsRefusedAndATrustedOneCarriesTheSession)
{
    slapd::Server& server = tls_directory();
    Session session(host_);
    trust_certificates("");
    // Refused without trust: over ldaps:// and with StartTLS.
    ASSERT_TRUE(init(session, server.ldaps_uri()));
    EXPECT_NE(bind(session), 0);
    ASSERT_TRUE(init(session, "127.0.0.1", server.port()));
    EXPECT_NE(start_tls(session), 0);

    trust_certificates(server.certificate().string());
    ASSERT_TRUE(init(session, server.ldaps_uri()));
    EXPECT_EQ(bind(session), 0);
    const std::string result = session.search(kSuffix, 0, "(objectClass=*)", "");
    EXPECT_NE(result, "<none>");
    session.free(result);
    ASSERT_TRUE(init(session, "127.0.0.1", server.port()));
    EXPECT_EQ(start_tls(session), 0);
    EXPECT_EQ(bind(session), 0);
    // A plain ldap:// URL is a session in clear, as a host name and port.
    ASSERT_TRUE(init(session, server.uri()));
    EXPECT_EQ(bind(session), 0);
    // What is no URL the library opens gives no session.
    EXPECT_FALSE(init(session, "ldapx://127.0.0.1"));
}

}  // namespace
