// Bound identity, effective privileges and name conversion.
#include <cstring>
#include <vector>

#include "peer_fixture.h"

using bertext::render;
namespace d = der;

namespace {
struct TervaneString {
    char* text = nullptr;
    ~TervaneString() { tervane_memfree(text); }
};
}  // namespace

class BindDn : public PeerTest {};

TEST_F(BindDn, SendsRequestWithoutValueAndReturnsTheDnAsNewString)
{
    reply_value(d::octets("cn=admin,o=example"));
    TervaneString dn;
    ASSERT_EQ(ldap_get_bind_dn(ld, &dn.text), 0);
    EXPECT_STREQ(dn.text, "cn=admin,o=example");
    EXPECT_EQ(sent_name(), ADMIN_OID(31));
    EXPECT_EQ(sent_value(), "<none>");
    EXPECT_FALSE(peer.last_request().had_controls);
}

TEST_F(BindDn, ContextIdentityNameSendsTheSameRequestAndGivesTheSameResult)
{
    reply_value(d::octets("cn=a"));
    reply_value(d::octets("cn=a"));
    TervaneString first, second;
    EXPECT_EQ(ldap_get_bind_dn(ld, &first.text), 0);
    EXPECT_EQ(ldap_get_context_identity_name(ld, &second.text), 0);
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].name, requests[1].name);
    EXPECT_EQ(requests[0].value, requests[1].value);
    EXPECT_STREQ(first.text, second.text);
}

TEST_F(BindDn, KeepsUpTo771BytesAndCutsLongerDns)
{
    std::string exact(771, 'a');
    std::string longer(900, 'b');
    reply_value(d::octets(exact));
    reply_value(d::octets(longer));
    TervaneString first, second;
    ASSERT_EQ(ldap_get_bind_dn(ld, &first.text), 0);
    ASSERT_EQ(ldap_get_bind_dn(ld, &second.text), 0);
    EXPECT_EQ(std::string(first.text), exact);
    EXPECT_EQ(std::string(second.text), longer.substr(0, 771));
}

TEST_F(BindDn, EmptyOctetStringGivesEmptyString)
{
    reply_value(d::octets(""));
    TervaneString dn;
    ASSERT_EQ(ldap_get_bind_dn(ld, &dn.text), 0);
    ASSERT_NE(dn.text, nullptr);
    EXPECT_STREQ(dn.text, "");
}

TEST_F(BindDn, EmbeddedNulIsCopiedAndTheCallerSeesTheTextBeforeIt)
{
    reply_value(d::octets(std::string("cn=a\0b", 6)));
    TervaneString dn;
    ASSERT_EQ(ldap_get_bind_dn(ld, &dn.text), 0);
    EXPECT_STREQ(dn.text, "cn=a");
    EXPECT_EQ(dn.text[5], 'b');
}

TEST_F(BindDn, ResponseValueProblemsGiveTheirCodesAndLeaveTheOutputUntouched)
{
    struct Case {
        std::optional<std::string> value;
        int expected;
    } cases[] = {
        {std::nullopt, 1},              // right name, no value
        {std::string(), 83},            // present but zero bytes long
        {std::string("\x04\x05" "ab", 4), 83},  // truncated OCTET STRING
    };
    for (const Case& c : cases) {
        reply_named(ADMIN_OID(32), c.value);
        char sentinel = 0;
        char* dn = &sentinel;
        EXPECT_EQ(ldap_get_bind_dn(ld, &dn), c.expected);
        EXPECT_EQ(dn, &sentinel);
    }
}

TEST_F(BindDn, NullOutputPointerIsRefusedWithoutContactingTheServer)
{
    EXPECT_EQ(ldap_get_bind_dn(ld, nullptr), 89);
    EXPECT_EQ(request_count(), 0u);
}

class Privileges : public PeerTest {};

TEST_F(Privileges, SendsThreeStringsAndReadsOneInteger)
{
    reply_value(d::integer(0x1F));
    char dn[] = "cn=x", subject[] = "cn=admin", attribute[] = "mail";
    int privileges = -1;
    ASSERT_EQ(ldap_get_effective_privileges(ld, dn, subject, attribute, &privileges), 0);
    EXPECT_EQ(privileges, 0x1F);
    EXPECT_EQ(sent_name(), ADMIN_OID(33));
    EXPECT_EQ(sent_value(), "'cn=x', 'cn=admin', 'mail'");
}

TEST_F(Privileges, IntegerThatCannotBeReadGives83AndLeavesTheOutput)
{
    reply_value(std::string("\x02\x04\x01", 3));
    char dn[] = "cn=x", subject[] = "cn=admin", attribute[] = "mail";
    int privileges = -1;
    EXPECT_EQ(ldap_get_effective_privileges(ld, dn, subject, attribute, &privileges), 83);
    EXPECT_EQ(privileges, -1);
}

class PrivilegesList : public PeerTest {
protected:
    char dn[8] = "cn=x";
    char subject[16] = "cn=admin";
    char a1[8] = "cn", a2[8] = "mail", a3[8] = "sn";

    static std::string response(long long count, std::initializer_list<long long> entries)
    {
        std::string set;
        for (long long entry : entries)
            set += d::sequence({d::integer(entry)});
        return d::sequence({d::sequence({d::integer(count)}), d::element(0x31, set)});
    }
};

TEST_F(PrivilegesList, SendsTwoStringsAndASequenceOfNamesAndFillsOneIntegerPerName)
{
    reply_value(response(3, {1, 2, 3}));
    char* attributes[] = {a1, a2, a3, nullptr};
    int privileges[4] = {-1, -1, -1, -1};
    ASSERT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, privileges), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(103));
    EXPECT_EQ(sent_value(), "'cn=x', 'cn=admin', {'cn', 'mail', 'sn'}");
    EXPECT_EQ(std::vector<int>(privileges, privileges + 4), (std::vector<int>{1, 2, 3, -1}));
}

TEST_F(PrivilegesList, DefaultEncoderWritesTheSequenceLengthInLongForm)
{
    // The client library's default encoder writes every constructed length
    // in four bytes; the server must accept that (BER allows it), and the
    // value still reads the same.
    reply_value(response(1, {4}));
    char* attributes[] = {a1, nullptr};
    int privileges[1] = {-1};
    ASSERT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, privileges), 0);
    EXPECT_EQ(bertext::hex(*peer.last_request().value),
              "04 04 63 6e 3d 78 04 08 63 6e 3d 61 64 6d 69 6e 30 84 00 00 00 04 04 02 63 6e");
    EXPECT_EQ(sent_value(), "'cn=x', 'cn=admin', {'cn'}");
}

TEST_F(PrivilegesList, EmptyNameListSendsAnEmptySequence)
{
    reply_value(response(0, {}));
    char* attributes[] = {nullptr};
    int privileges[1] = {-1};
    ASSERT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, privileges), 0);
    EXPECT_EQ(sent_value(), "'cn=x', 'cn=admin', {}");
    EXPECT_EQ(privileges[0], -1);
}

TEST_F(PrivilegesList, AnyNullArgumentIsRefusedWithoutContactingTheServer)
{
    char* attributes[] = {a1, nullptr};
    int privileges[1];
    EXPECT_EQ(ldap_get_effective_privileges_list(ld, nullptr, subject, attributes, privileges), 89);
    EXPECT_EQ(ldap_get_effective_privileges_list(ld, dn, nullptr, attributes, privileges), 89);
    EXPECT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, nullptr, privileges), 89);
    EXPECT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, nullptr), 89);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(PrivilegesList, ShortSetFillsTheEntriesReadZeroesTheFailingOneAndGives83)
{
    reply_value(response(2, {7}));
    char* attributes[] = {a1, a2, nullptr};
    int privileges[2] = {-1, -1};
    EXPECT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, privileges), 83);
    EXPECT_EQ(privileges[0], 7);
    EXPECT_EQ(privileges[1], 0);
}

TEST_F(PrivilegesList, MoreEntriesThanNamesAreRefusedWithoutWritingPastTheArray)
{
    reply_value(response(3, {1, 2, 3}));
    char* attributes[] = {a1, nullptr};
    int privileges[2] = {-1, -2};  // the second slot stands for memory past the caller's array
    EXPECT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, privileges), 84);
    EXPECT_EQ(privileges[0], -1);
    EXPECT_EQ(privileges[1], -2);
}

TEST_F(PrivilegesList, CountOfNamesFillsEveryEntryAndOneMoreIsRefusedBeforeAnyWrite)
{
    char* attributes[] = {a1, a2, nullptr};
    // Slot 2 stands for the memory right after the caller's array.
    reply_value(response(2, {5, 6}));
    int privileges[3] = {-1, -1, -3};
    ASSERT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, privileges), 0);
    EXPECT_EQ(std::vector<int>(privileges, privileges + 3), (std::vector<int>{5, 6, -3}));

    reply_value(response(3, {5, 6, 7}));
    int refused[3] = {-1, -1, -3};
    EXPECT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, refused), 84);
    EXPECT_EQ(std::vector<int>(refused, refused + 3), (std::vector<int>{-1, -1, -3}));
}

TEST_F(PrivilegesList, ZeroOrNegativeCountWritesNothing)
{
    char* attributes[] = {a1, nullptr};
    for (long long count : {0LL, -5LL}) {
        reply_value(response(count, {}));
        int privileges[1] = {-1};
        EXPECT_EQ(ldap_get_effective_privileges_list(ld, dn, subject, attributes, privileges), 0);
        EXPECT_EQ(privileges[0], -1);
    }
}

class VornName : public PeerTest {};

TEST_F(VornName, SendsBigEndianUnitsWithTwoByteTerminator)
{
    struct Case {
        std::vector<unsigned short> name;
        std::string bytes;
    } cases[] = {
        {{0}, std::string("\0\0", 2)},
        {{0x0041, 0}, std::string("\0A\0\0", 4)},
        {{0xD83D, 0xDE00, 0x00E9, 0}, std::string("\xd8\x3d\xde\x00\x00\xe9\x00\x00", 8)},
    };
    for (const Case& c : cases) {
        reply_value(d::octets("o=x"));
        TervaneString dn;
        ASSERT_EQ(ldap_vorn_to_ldap(ld, c.name.data(), &dn.text), 0);
        EXPECT_EQ(sent_name(), ADMIN_OID(1));
        EXPECT_EQ(*peer.last_request().value, d::octets(c.bytes));
        EXPECT_STREQ(dn.text, "o=x");
    }
}

TEST_F(VornName, LongDnIsCopiedWhole)
{
    std::string long_dn(5000, 'x');
    reply_value(d::octets(long_dn));
    unsigned short name[] = {'a', 0};
    TervaneString dn;
    ASSERT_EQ(ldap_vorn_to_ldap(ld, name, &dn.text), 0);
    EXPECT_EQ(std::string(dn.text), long_dn);
}

class DnsName : public PeerTest {};

TEST_F(DnsName, SendsTheNameAndReturnsTheX500Dn)
{
    reply_value(d::octets("o=example,c=uk"));
    char name[] = "example.co.uk";
    TervaneString dn;
    ASSERT_EQ(ldap_dns_to_x500_dn(ld, name, &dn.text), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(101));
    EXPECT_EQ(sent_value(), "'example.co.uk'");
    EXPECT_STREQ(dn.text, "o=example,c=uk");
}

class RefreshServer : public PeerTest {};

TEST_F(RefreshServer, SendsNoValueAndIgnoresTheResponseValue)
{
    reply_named(ADMIN_OID(10), std::string("\xff\xff", 2));
    EXPECT_EQ(ldap_refresh_server(ld), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(9));
    EXPECT_EQ(sent_value(), "<none>");
}

TEST(TervaneMemfree, NullIsIgnored) { tervane_memfree(nullptr); }
