// Replication filter: text to wire and back.
#include "peer_fixture.h"
#include "replication_filter.h"

namespace d = der;

namespace {

std::string class_entry(const std::string& name, std::initializer_list<std::string> attributes)
{
    std::string names;
    for (const auto& attribute : attributes)
        names += d::octets(attribute);
    return d::sequence({d::octets(name), d::element(0x30, names)});
}

struct FilterText {
    char* text = nullptr;
    ~FilterText() { tervane_memfree(text); }
};

}  // namespace

class SetReplicationFilter : public PeerTest {
protected:
    char server[16] = "cn=server";
    int set(const char* filter)
    {
        std::string copy(filter);
        int rc = ldap_set_replication_filter(ld, server, copy.data());
        EXPECT_EQ(copy, filter) << "the caller's text must stay unchanged";
        return rc;
    }
};

TEST_F(SetReplicationFilter, EmptyFilterSendsTheServerDnAndAnEmptySequence)
{
    EXPECT_EQ(set("$"), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(35));
    EXPECT_EQ(sent_value(), "'cn=server', {}");
}

TEST_F(SetReplicationFilter, ClassesAndAttributesKeepTheirOrderOnTheWire)
{
    EXPECT_EQ(set("C1$A1$A2$$C2$$$"), 0);
    EXPECT_EQ(sent_value(), "'cn=server', {{'C1', {'A1', 'A2'}}, {'C2', {}}}");
}

TEST_F(SetReplicationFilter, TextAfterTheClosingSeparatorIsIgnored)
{
    EXPECT_EQ(set("C$A$$$ignored$$"), 0);
    EXPECT_EQ(sent_value(), "'cn=server', {{'C', {'A'}}}");
}

TEST_F(SetReplicationFilter, MalformedTextIsRefusedAndNothingIsSent)
{
    for (const char* filter : {"", "C1$A1", "C1$", "C1$A1$", "C1$$", "C1$A1$$C2"})
        EXPECT_EQ(set(filter), 89) << filter;
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(SetReplicationFilter, NullArgumentsAreRefused)
{
    char filter[] = "$";
    EXPECT_EQ(ldap_set_replication_filter(ld, nullptr, filter), 89);
    EXPECT_EQ(ldap_set_replication_filter(ld, server, nullptr), 89);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(SetReplicationFilter, WrongResponseNameGives92)
{
    reply_named(ADMIN_OID(38));
    EXPECT_EQ(set("$"), 92);
}

class GetReplicationFilter : public PeerTest {
protected:
    char server[16] = "cn=server";
};

TEST_F(GetReplicationFilter, SendsTheServerDnAndTurnsTheEntriesIntoText)
{
    reply_value(d::sequence({class_entry("C1", {"A1", "A2"}), class_entry("C2", {})}));
    FilterText filter;
    ASSERT_EQ(ldap_get_replication_filter(ld, server, &filter.text), 0);
    EXPECT_EQ(sent_name(), ADMIN_OID(37));
    EXPECT_EQ(sent_value(), "'cn=server'");
    EXPECT_STREQ(filter.text, "C1$A1$A2$$C2$$$");
}

TEST_F(GetReplicationFilter, EmptySequenceGivesTheEmptyFilter)
{
    reply_value(d::sequence({}));
    FilterText filter;
    ASSERT_EQ(ldap_get_replication_filter(ld, server, &filter.text), 0);
    EXPECT_STREQ(filter.text, "$");
}

TEST_F(GetReplicationFilter, AnyResponseNameIsAcceptedButOneMustBePresent)
{
    std::string value = d::sequence({class_entry("C", {"A"})});
    for (const char* name : {ADMIN_OID(38), ADMIN_OID(99), "1.2.3"}) {
        reply_named(name, value);
        FilterText filter;
        EXPECT_EQ(ldap_get_replication_filter(ld, server, &filter.text), 0) << name;
        EXPECT_STREQ(filter.text, "C$A$$$");
    }
    // No name, or one the client library would read as empty text.
    for (std::optional<std::string> name : {std::optional<std::string>(), std::optional<std::string>("")}) {
        testpeer::Reply unnamed = testpeer::Reply::error(0);
        unnamed.name = name;
        unnamed.value = value;
        peer.reply(unnamed);
        char* untouched = nullptr;
        EXPECT_EQ(ldap_get_replication_filter(ld, server, &untouched), 92);
        EXPECT_EQ(untouched, nullptr);
    }
}

TEST_F(GetReplicationFilter, ElementOfAnotherKindAfterAnEntryGives84AndKeepsTheTextSoFar)
{
    reply_value(d::sequence({class_entry("C1", {"A1"}), d::integer(5)}));
    FilterText filter;
    EXPECT_EQ(ldap_get_replication_filter(ld, server, &filter.text), 84);
    ASSERT_NE(filter.text, nullptr);
    EXPECT_STREQ(filter.text, "C1$A1$$");
}

TEST_F(GetReplicationFilter, CutListsGive84AndKeepTheWholeEntriesBefore)
{
    // The last attribute, then the last entry, announces more bytes than the
    // answer holds: a cut list, never a shorter filter.
    std::string good = class_entry("C1", {"A1"});
    std::string cut_attributes = d::sequence({d::octets("C2"), d::element(0x30, d::octets("A2") + std::string("\x04\x05" "A3", 4))});
    std::string cut_entry = std::string("\x30\x09\x04\x02" "C3", 6);
    for (const std::string& value : {d::sequence({good, cut_attributes}), d::element(0x30, good + cut_entry)}) {
        reply_value(value);
        FilterText filter;
        EXPECT_EQ(ldap_get_replication_filter(ld, server, &filter.text), 84) << bertext::hex(value);
        EXPECT_STREQ(filter.text, "C1$A1$$");
    }
}

TEST_F(GetReplicationFilter, NamesTheTextCannotCarryGive84AndKeepTheWholeEntriesBefore)
{
    // "a$b" would read back as class "a" with attribute "b"; an empty name
    // would end an attribute list or the filter.
    std::string good = class_entry("C1", {"A1"});
    struct Case {
        const char* label;
        std::string entry;
    } cases[] = {
        {"class with $", class_entry("a$b", {"A"})},
        {"attribute with $", class_entry("C2", {"A2", "x$y"})},
        {"empty class", class_entry("", {"A"})},
        {"empty attribute", class_entry("C2", {"A2", ""})},
        {"class of one NUL", class_entry(std::string(1, '\0'), {})},
    };
    for (const Case& c : cases) {
        reply_value(d::sequence({good, c.entry, class_entry("C3", {})}));
        FilterText filter;
        EXPECT_EQ(ldap_get_replication_filter(ld, server, &filter.text), 84) << c.label;
        EXPECT_STREQ(filter.text, "C1$A1$$") << c.label;
    }
}

TEST_F(GetReplicationFilter, ValueThatIsNoSequenceOrIsEmptyGives84)
{
    struct Case {
        std::string value;
        bool buffer_stored;
    } cases[] = {
        {std::string(), false},                        // zero bytes: never decoded
        {d::integer(3), true},                         // not a SEQUENCE
        {d::sequence({d::sequence({d::integer(1)})}), true},  // entry without class name
        {d::sequence({d::sequence({d::octets("C")})}), true},  // entry without attribute list
    };
    for (const Case& c : cases) {
        reply_value(c.value);
        FilterText filter;
        EXPECT_EQ(ldap_get_replication_filter(ld, server, &filter.text), 84) << bertext::hex(c.value);
        EXPECT_EQ(filter.text != nullptr, c.buffer_stored);
    }
}

TEST_F(GetReplicationFilter, NoValueGives1AndAServerErrorPassesThrough)
{
    reply_named(ADMIN_OID(38));
    char* filter = nullptr;
    EXPECT_EQ(ldap_get_replication_filter(ld, server, &filter), 1);
    reply_error(32);
    EXPECT_EQ(ldap_get_replication_filter(ld, server, &filter), 32);
    EXPECT_EQ(filter, nullptr);
}

TEST(ReplicationFilterText, DecodedTextEncodesBackToTheSameValue)
{
    const char* texts[] = {"$", "C1$A1$A2$$C2$$$", "top$$$", "a$b$c$d$$e$f$$$"};
    for (const char* text : texts) {
        BerElement* ber = ber_alloc_t(LBER_USE_DER);
        ASSERT_EQ(tervane::encode_replication_filter(ber, "s", text), 0);
        berval* encoded = nullptr;
        ASSERT_NE(ber_flatten(ber, &encoded), -1);
        ber_free(ber, 1);
        // Skip the server DN (04 01 's') and decode the rest.
        berval filter_value{encoded->bv_len - 3, encoded->bv_val + 3};
        char* decoded = nullptr;
        EXPECT_EQ(tervane::decode_replication_filter(filter_value, &decoded), 0);
        EXPECT_STREQ(decoded, text);
        tervane_memfree(decoded);
        ber_bvfree(encoded);
    }
}
