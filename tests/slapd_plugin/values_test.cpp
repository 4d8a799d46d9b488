// The plug-in's parts that need no slapd: reading client values, names,
// LDIF, the event queue, the settings and the version check of the
// intermediate-response route.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "ber.h"
#include "bulk_values.h"
#include "configuration.h"
#include "event_values.h"
#include "events.h"
#include "slapd_version.h"
#include "ldif.h"
#include "names.h"
#include "values.h"

using namespace adminext;

namespace {

std::string bytes(const char* literal, std::size_t size) { return std::string(literal, size); }

std::string sequence(const std::string& contents, std::uint8_t tag = tag::kSequence)
{
    std::string out(1, static_cast<char>(tag));
    BerWriter length;
    length.octets(contents);
    return out + length.bytes().substr(1);  // the OCTET STRING's length and contents
}

std::string octets(const std::string& text, std::uint8_t tag = tag::kOctetString)
{
    BerWriter writer;
    writer.octets(text, tag);
    return writer.bytes();
}

std::string integer(std::int64_t value, std::uint8_t tag = tag::kInteger)
{
    BerWriter writer;
    writer.integer(value, tag);
    return writer.bytes();
}

}  // namespace

TEST(BerReader, ElementsMustLieWithinTheValueWithDefiniteLengthsAndOneByteTags)
{
    struct Case {
        std::string value;
        bool readable;
    } cases[] = {
        {bytes("\x04\x02" "ab", 4), true},
        {bytes("\x04\x03" "ab", 4), false},
        {bytes("\x04\x84\x00\x00\x00\x02" "ab", 8), true},
        {bytes("\x04\x85\x00\x00\x00\x00\x02" "ab", 9), false},
        {bytes("\x04\x84\xff\xff\xff\xff" "ab", 8), false},
        {bytes("\x30\x80\x00\x00", 4), false},
        {bytes("\x1f\x01\x00", 3), false},
        {bytes("\x04", 1), false},
        {std::string(), false},
    };
    for (const Case& c : cases) {
        BerReader reader(c.value);
        std::uint8_t tag = 0;
        std::string_view contents;
        EXPECT_EQ(reader.element(tag, contents), c.readable) << c.value.size();
    }
}

TEST(BerReader, IntegersAreOneToFourBytesOfTheExpectedTag)
{
    struct Case {
        std::string value;
        bool readable;
        std::int32_t number;
    } cases[] = {
        {bytes("\x02\x01\xff", 3), true, -1},
        {bytes("\x02\x02\x00\x80", 4), true, 128},
        {bytes("\x02\x04\x7f\xff\xff\xff", 6), true, 0x7fffffff},
        {bytes("\x02\x04\x80\x00\x00\x00", 6), true, INT32_MIN},
        {bytes("\x02\x05\x00\x80\x00\x00\x00", 7), false, 0},
        {bytes("\x02\x00", 2), false, 0},
        {bytes("\x0a\x01\x01", 3), false, 0},
    };
    for (const Case& c : cases) {
        BerReader reader(c.value);
        std::int32_t number = 0;
        ASSERT_EQ(reader.integer(number), c.readable) << c.value.size();
        if (c.readable) {
            EXPECT_EQ(number, c.number);
        }
    }
}

TEST(BerWriter, WritesMinimalDer)
{
    BerWriter writer;
    writer.open();
    writer.integer(0);
    writer.integer(128);
    writer.integer(-129);
    writer.octets(std::string(200, 'x'));
    writer.close();
    const std::string& out = writer.bytes();
    EXPECT_EQ(out.substr(0, 14), bytes("\x30\x81\xd6\x02\x01\x00\x02\x02\x00\x80\x02\x02\xff\x7f", 14));
    EXPECT_EQ(out.substr(14, 3), bytes("\x04\x81\xc8", 3));
}

TEST(Names, Utf16BecomesUtf8OnlyWithItsTerminatorAndPairedSurrogates)
{
    struct Case {
        std::string value;
        std::optional<std::string> text;
    } cases[] = {
        {bytes("\x00\x00", 2), std::string()},
        {bytes("\x00\x41\x00\x00", 4), std::string("A")},
        {bytes("\x00\xe9\x20\xac\xd8\x3d\xde\x00\x00\x00", 10), std::string("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80")},
        {bytes("\x00\x41", 2), std::nullopt},
        {bytes("\x00\x41\x00", 3), std::nullopt},
        {bytes("\x00\x00\x00\x41\x00\x00", 6), std::nullopt},
        {bytes("\xd8\x3d\x00\x00", 4), std::nullopt},
        {bytes("\xde\x00\x00\x00", 4), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(utf16be_to_utf8(c.value), c.text) << c.value.size();
}

TEST(Names, DnsNamesBecomeDomainComponents)
{
    EXPECT_EQ(dns_to_dn("example.com"), "dc=example,dc=com");
    EXPECT_EQ(dns_to_dn("a-1.example.com."), "dc=a-1,dc=example,dc=com");
    for (const char* bad : {"", ".", "a..b", "a b.c", "a,b", "a=b.c", "x.-\xc3\xa9"})
        EXPECT_EQ(dns_to_dn(bad), std::nullopt) << bad;
    EXPECT_EQ(dns_to_dn(std::string(63, 'a') + ".b").has_value(), true);
    EXPECT_EQ(dns_to_dn(std::string(64, 'a') + ".b"), std::nullopt);
}

TEST(Names, ParentsAndSubtreesRespectEscapedCommas)
{
    EXPECT_EQ(parent_dn("cn=a\\,b,ou=x,dc=y"), "ou=x,dc=y");
    EXPECT_EQ(parent_dn("dc=y"), "");
    EXPECT_TRUE(dn_within("cn=a,ou=x,dc=y", "ou=x,dc=y"));
    EXPECT_TRUE(dn_within("ou=x,dc=y", "ou=x,dc=y"));
    EXPECT_TRUE(dn_within("ou=x,dc=y", ""));
    EXPECT_FALSE(dn_within("cn=a,ou=xx,dc=y", "x,dc=y"));
    EXPECT_FALSE(dn_within("dc=y", "ou=x,dc=y"));
    EXPECT_EQ(filter_value(std::string("a*(b)\\\0", 7)), "a\\2a\\28b\\29\\5c\\00");
}

TEST(Ldif, AnEntryComesBackFromItsTextWhateverItsValues)
{
    LdifEntry entry{"cn=Zo\xc3\xa9,dc=x",
                    {{"objectClass", {"person"}},
                     {"cn", {"Zo\xc3\xa9", " padded ", std::string(200, 'l')}},
                     {"jpegPhoto", {bytes("\x00\x01\xff\n", 4), ""}},
                     {"description", {":colon", "<angle"}}}};
    std::string text = write_ldif(entry);
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        EXPECT_LE(end - at, 76u);
    std::optional<LdifEntry> read = read_ldif(text);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->dn, entry.dn);
    ASSERT_EQ(read->attributes.size(), entry.attributes.size());
    for (std::size_t i = 0; i < entry.attributes.size(); ++i) {
        EXPECT_EQ(read->attributes[i].type, entry.attributes[i].type);
        EXPECT_EQ(read->attributes[i].values, entry.attributes[i].values);
    }
}

TEST(Ldif, OnlyTheTextOfOneEntryIsRead)
{
    for (const char* text : {"", "cn: a\n", "dn: cn=a\ncn: a\n\ndn: cn=b\n", "dn: cn=a\nchangetype: add\n",
                             "dn: cn=a\njpegPhoto:< file:///etc/passwd\n", "dn: cn=a\ncn:: *invalid*\n",
                             "dn: cn=a\nno colon\n", " continuation first\n", "dn: cn=a\ncn:: YQ=\n"})
        EXPECT_EQ(read_ldif(text), std::nullopt) << text;
    std::optional<LdifEntry> folded = read_ldif("# comment\ndn: cn=a,\n dc=x\ncn: a\ncn: b\n\n\n");
    ASSERT_TRUE(folded);
    EXPECT_EQ(folded->dn, "cn=a,dc=x");
    ASSERT_EQ(folded->attributes.size(), 1u);
    EXPECT_EQ(folded->attributes[0].values, (std::vector<std::string>{"a", "b"}));
}

TEST(RequestValues, BareRunsMustHoldExactlyTheirShape)
{
    std::string two = octets("a") + integer(5);
    ASSERT_TRUE(read_run(two, "si"));
    EXPECT_EQ(read_run(two, "si")->strings[0], "a");
    EXPECT_EQ(read_run(two, "si")->integers[0], 5);
    EXPECT_FALSE(read_run(two, "is"));
    EXPECT_FALSE(read_run(two, "s"));
    EXPECT_FALSE(read_run(two + integer(1), "si"));
    EXPECT_FALSE(read_run("", "s"));
}

TEST(RequestValues, RestoreSizesMustAddUpToTheDataAndCountTheChunks)
{
    auto restore = [](std::int64_t length, const std::string& data, std::int64_t count,
                      std::initializer_list<std::int64_t> sizes) {
        std::string chunks;
        for (std::int64_t size : sizes)
            chunks += sequence(integer(size));
        return octets("cn=a") + octets("") + integer(length) + octets(data) +
               sequence(integer(count) + sequence(chunks, tag::kSet));
    };
    EXPECT_TRUE(read_restore_request(restore(4, "abcd", 2, {1, 3})));
    EXPECT_FALSE(read_restore_request(restore(5, "abcd", 1, {4})));
    EXPECT_FALSE(read_restore_request(restore(4, "abcd", 1, {1, 3})));
    EXPECT_FALSE(read_restore_request(restore(4, "abcd", 2, {5, -1})));
    EXPECT_FALSE(read_restore_request(restore(-4, "abcd", 1, {-4})));
}

TEST(RequestValues, FilterNamesAreNotEmptyAndHoldNoDollar)
{
    auto request = [](const std::string& name, const std::string& attribute) {
        return octets("dc=x") + sequence(sequence(octets(name) + sequence(octets(attribute))));
    };
    std::optional<SetFilterRequest> good = read_set_filter_request(request("person", "cn"));
    ASSERT_TRUE(good);
    EXPECT_EQ(write_filter(good->filter), sequence(sequence(octets("person") + sequence(octets("cn")))));
    EXPECT_FALSE(read_set_filter_request(request("", "cn")));
    EXPECT_FALSE(read_set_filter_request(request("a$b", "cn")));
    EXPECT_FALSE(read_set_filter_request(request("person", "c$n")));
}

TEST(MonitorValues, TheCountMustBeTheNumberOfElements)
{
    auto request = [](std::int64_t count, int elements, bool filtered) {
        std::string set;
        for (int i = 0; i < elements; ++i)
            set += sequence(integer(i + 1) + integer(0, tag::kEnumerated) + (filtered ? octets("dc=x") : ""));
        return sequence(integer(count) + sequence(set, tag::kSet));
    };
    std::optional<std::vector<EventSpec>> read = read_monitor_request(request(2, 2, true), true);
    ASSERT_TRUE(read);
    EXPECT_EQ((*read)[1].type, 2);
    EXPECT_EQ((*read)[1].filter, "dc=x");
    EXPECT_FALSE(read_monitor_request(request(2, 2, true), false));
    EXPECT_FALSE(read_monitor_request(request(3, 2, false), false));
    EXPECT_FALSE(read_monitor_request(request(0, 0, false), false));
    EXPECT_FALSE(read_monitor_request(request(-1, 0, false), false));
}

TEST(BulkValues, OperationsThatCannotBeReadAreMarkedOneByOne)
{
    std::string add = sequence(octets("cn=a,dc=x") +
                                   sequence(sequence(octets("cn") + sequence(octets("a"), tag::kSet))),
                               0x68);
    std::string modify = sequence(
        octets("cn=a,dc=x") +
            sequence(sequence(integer(2, tag::kEnumerated) + sequence(octets("sn") + sequence("", tag::kSet)))),
        0x66);
    std::string rename = sequence(octets("cn=a,dc=x") + octets("cn=b") + bytes("\x01\x01\xff", 3) +
                                      octets("dc=y", 0x80),
                                  0x6C);
    std::string critical = sequence(sequence(octets("1.2.3") + bytes("\x01\x01\xff", 3)), 0xA0);
    std::string batch = sequence(integer(7) + sequence(add) + sequence(octets("cn=a,dc=x", 0x4A) + critical) +
                                 sequence(modify) + sequence(rename) + sequence(sequence("", 0x63)) +
                                 sequence(sequence(integer(9, tag::kEnumerated), 0x66)));
    std::optional<Batch> read = read_batch(batch);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->sequence, 7);
    ASSERT_EQ(read->changes.size(), 6u);
    EXPECT_EQ(read->changes[0].modifications[0].values, std::vector<std::string>{"a"});
    EXPECT_TRUE(read->changes[1].critical_control);
    EXPECT_EQ(read->changes[1].dn, "cn=a,dc=x");
    EXPECT_EQ(read->changes[2].modifications[0].operation, 2);
    EXPECT_TRUE(read->changes[3].delete_old_rdn);
    EXPECT_EQ(read->changes[3].new_superior, "dc=y");
    EXPECT_NE(read->changes[4].malformed.find("only add, delete"), std::string::npos);
    EXPECT_FALSE(read->changes[5].malformed.empty());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(read->changes[i].malformed, "") << i;
    EXPECT_FALSE(read_batch(sequence(integer(1) + octets("x"))));
}

TEST(BulkValues, ResultsAreABareRunNumberedFromOne)
{
    EXPECT_EQ(write_results({{0, ""}, {68, "already exists"}}),
              sequence(integer(1) + sequence(integer(0) + octets("") + octets(""))) +
                  sequence(integer(2) + sequence(integer(68) + octets("") + octets("already exists"))));
}

TEST(EventQueue, MonitorsReceiveTheTypesStatusesAndSubtreesTheyAskedFor)
{
    Monitor all({{1, 1, ""}, {2, 0, "ou=a,dc=x"}}, 10);
    MonitorRegistry registry;
    ASSERT_TRUE(registry.add(&all, 1));
    Monitor refused({{1, 0, ""}}, 10);
    EXPECT_FALSE(registry.add(&refused, 1));
    struct Case {
        std::int32_t type;
        std::int32_t result;
        const char* dn;
        bool delivered;
    } cases[] = {
        {1, 0, "cn=q,dc=x", true},  {1, 50, "cn=q,dc=x", true},   {2, 0, "cn=q,ou=a,dc=x", true},
        {2, 0, "cn=q,ou=b,dc=x", false}, {2, 32, "cn=q,ou=a,dc=x", false}, {3, 0, "cn=q,dc=x", false},
    };
    for (const Case& c : cases) {
        EntryEvent event;
        event.type = c.type;
        event.result = c.result;
        event.dn = c.dn;
        registry.publish(event, c.dn);
        EXPECT_EQ(all.take(std::chrono::milliseconds(0)).size(), c.delivered ? 1u : 0u) << c.type << " " << c.dn;
    }
    registry.remove(&all);
    EXPECT_TRUE(registry.empty());
}

TEST(EventQueue, AMonitorThatFallsBehindNotesWhatItCannotHoldUntilItEnds)
{
    Monitor small({{1, 0, ""}}, 2);
    auto push = [&](int count) {
        for (int i = 0; i < count; ++i) {
            EntryEvent event;
            event.type = 1;
            event.dn = "cn=" + std::to_string(i);
            small.push(event);
        }
    };
    push(5);
    EXPECT_EQ(small.take(std::chrono::milliseconds(0)).size(), 2u);
    EXPECT_TRUE(small.fell_behind());
    push(1);  // room again in the queue
    // It notes twice four times its queue, and then ends.
    push(20);
    Undelivered left = small.close();
    EXPECT_EQ(left.queued.size(), 2u);
    ASSERT_EQ(left.dropped.size(), 8u);
    EXPECT_EQ(left.dropped.front(), "cn=2");
    push(1);
    EXPECT_TRUE(small.take(std::chrono::milliseconds(0)).empty());
    EXPECT_TRUE(small.close().dropped.empty());
}

TEST(EventValues, ANotificationCarriesTheEntryRecord)
{
    EntryEvent event{3, 0, "cn=a", "cn=b", "", "sn,mail", 1700000000, 9};
    std::string written = write_notification(event);
    BerReader reader(written);
    BerReader outer;
    BerReader record;
    std::int32_t type = 0, result = -1;
    ASSERT_TRUE(reader.enter(outer));
    ASSERT_TRUE(outer.integer(type) && outer.integer(result));
    ASSERT_TRUE(outer.enter(record, 0x61));
    std::string dn, requestor, detail, changed;
    BerReader triple;
    std::int32_t time = 0, sequence_number = 0, zero = -1, number1 = -1, number2 = -1;
    ASSERT_TRUE(record.octets(dn) && record.octets(requestor) && record.octets(detail) && record.enter(triple));
    ASSERT_TRUE(triple.integer(time) && triple.integer(sequence_number) && triple.integer(zero));
    ASSERT_TRUE(record.integer(number1) && record.integer(number2) && record.octets(changed) && record.at_end());
    EXPECT_EQ(type, 3);
    EXPECT_EQ(changed, "sn,mail");
    EXPECT_EQ(time, 1700000000);
    EXPECT_EQ(sequence_number, 9);
}

TEST(Settings, ArgumentsAreNamedValuesAndUnknownOnesStopTheLoad)
{
    std::string error;
    std::optional<Settings> parsed =
        parse_settings({"administrators=cn=admins,dc=x", "server=cn=s", "monitors=2", "batch=10", "queue=5"}, "h",
                       error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->administrators, "cn=admins,dc=x");
    EXPECT_EQ(parsed->server, "cn=s");
    EXPECT_EQ(parsed->monitors, 2u);
    EXPECT_EQ(parsed->batch, 10u);
    EXPECT_EQ(parse_settings({}, "host", error)->server, "cn=host");
    Settings set = *parse_settings({"peer=cn=b,o=x@ldapi://%2Fs", "replicator=cn=r", "replicator-secret=/f",
                                    "replicas=/d"},
                                   "h", error);
    ASSERT_EQ(set.peers.size(), 1u);
    EXPECT_EQ(set.peers[0].dn, "cn=b,o=x");
    EXPECT_EQ(set.peers[0].uri, "ldapi://%2Fs");
    for (const char* bad : {"monitors=0", "batch=x", "batch=5x", "colour=red", "server=", "administrators",
                            "peer=cn=b", "peer=@ldap://h", "replicas="}) {
        EXPECT_FALSE(parse_settings({bad}, "h", error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos);
    }
}

TEST(Settings, PeersNeedTheReplicatorAndAPlaceForReplicas)
{
    std::string error;
    EXPECT_FALSE(parse_settings({"peer=cn=b@ldap://h"}, "h", error));
    EXPECT_NE(error.find("replicator"), std::string::npos);
    EXPECT_FALSE(parse_settings({"peer=cn=b@ldap://h", "replicator=cn=\"r", "replicator-secret=/f", "replicas=/d"},
                                "h", error));
    EXPECT_NE(error.find("quote"), std::string::npos);
}

TEST(Settings, TheReplicatorsSecretIsOneLineInAFileOnlyItsOwnerMayRead)
{
    const std::string path = testing::TempDir() + "replicator-secret";
    struct Case {
        const char* content;
        mode_t mode;
        bool accepted;
    };
    for (const Case& file : {Case{"s3cret\n", 0600, true}, Case{"s3cret", 0640, false}, Case{"s3cret", 0604, false},
                             Case{"two words\n", 0600, false}, Case{"quo\"te", 0600, false}, Case{"\n", 0600, false}}) {
        std::ofstream(path, std::ios::trunc) << file.content;
        chmod(path.c_str(), file.mode);
        std::string error;
        std::optional<std::string> secret = read_replicator_secret(path, error);
        EXPECT_EQ(secret.has_value(), file.accepted) << file.content << " " << error;
        if (secret) {
            EXPECT_EQ(*secret, "s3cret");
        }
    }
    std::string error;
    EXPECT_FALSE(read_replicator_secret(path + ".missing", error));
    std::remove(path.c_str());
}

TEST(SlapdVersion, OnlySlapd25ReleasesAreTrusted)
{
    EXPECT_TRUE(known_slapd_layout("@(#) $OpenLDAP: slapd 2.5.13+dfsg-5 (Feb  8 2023 01:56:12) $"));
    EXPECT_TRUE(known_slapd_layout("slapd 2.5.0"));
    for (const char* other : {"@(#) $OpenLDAP: slapd 2.6.3 (x) $", "slapd 2.4.59", "slapd 2.55.1", "slapd 2.5.",
                              "slapd 3.0.0", "2.5.13", ""})
        EXPECT_FALSE(known_slapd_layout(other)) << other;
}
