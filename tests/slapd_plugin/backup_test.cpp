// Object backup and restore through Tervane against slapd with the plug-in.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin_server.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

char* text(const char* literal) { return const_cast<char*>(literal); }

// The user attributes of an entry, read with an ordinary search.
Attributes read_attributes(LDAP* ld, const char* dn)
{
    auto entries = search_entries(ld, dn, LDAP_SCOPE_BASE);
    return entries.empty() ? Attributes() : entries.begin()->second;
}

void add_subject(LDAP* ld, const char* dn)
{
    char* classes[] = {text("inetOrgPerson"), nullptr};
    char* cns[] = {text("Backed Up"), text("Second name"), nullptr};
    char* sns[] = {text("Up"), nullptr};
    char* descriptions[] = {text(" leading space, trailing newline\n"), nullptr};
    berval photo{4, text("\x00\xff\x01\x80")};
    berval* photos[] = {&photo, nullptr};
    LDAPMod mods[] = {{LDAP_MOD_ADD, text("objectClass"), {classes}},
                      {LDAP_MOD_ADD, text("cn"), {cns}},
                      {LDAP_MOD_ADD, text("sn"), {sns}},
                      {LDAP_MOD_ADD, text("description"), {descriptions}},
                      {LDAP_MOD_ADD | LDAP_MOD_BVALUES, text("jpegPhoto"), {nullptr}}};
    mods[4].mod_bvalues = photos;
    LDAPMod* pointers[] = {&mods[0], &mods[1], &mods[2], &mods[3], &mods[4], nullptr};
    ASSERT_EQ(ldap_add_ext_s(ld, dn, pointers, nullptr, nullptr), LDAP_SUCCESS);
}

}  // namespace

TEST(Backup, AnEntryBackedUpDeletedAndRestoredComesBackTheSame)
{
    const char* dn = "cn=Backed Up,ou=people,dc=example,dc=com";
    Session ld = connect(Who::root);
    add_subject(ld.get(), dn);
    Attributes before = read_attributes(ld.get(), dn);
    ASSERT_FALSE(before.empty());

    char* state = nullptr;
    char* data = nullptr;
    char* sizes = nullptr;
    int length = 0;
    ASSERT_EQ(ldap_backup_object(ld.get(), text(dn), nullptr, &state, &data, &sizes, &length), LDAP_SUCCESS);
    EXPECT_STREQ(state, "1+1");
    EXPECT_EQ(std::string(sizes), "1;" + std::to_string(length) + ";");
    std::string ldif(data, static_cast<std::size_t>(length));
    EXPECT_EQ(ldif.rfind("dn: cn=Backed Up,ou=people,dc=example,dc=com\n", 0), 0u) << ldif;
    EXPECT_NE(ldif.find("jpegPhoto:: AP8BgA==\n"), std::string::npos) << ldif;
    EXPECT_EQ(ldif.find("entryUUID"), std::string::npos) << ldif;

    // A backup is one response: continuing it is a protocol error.
    char* more_data = nullptr;
    char* more_sizes = nullptr;
    EXPECT_EQ(ldap_backup_object(ld.get(), text(dn), nullptr, &state, &more_data, &more_sizes, &length),
              LDAP_PROTOCOL_ERROR);

    EXPECT_EQ(ldap_restore_object(ld.get(), text(dn), nullptr, data, sizes, length), LDAP_ALREADY_EXISTS);
    ASSERT_EQ(ldap_delete_ext_s(ld.get(), dn, nullptr, nullptr), LDAP_SUCCESS);
    ASSERT_EQ(ldap_restore_object(ld.get(), text(dn), nullptr, data, sizes, length), LDAP_SUCCESS);
    EXPECT_EQ(read_attributes(ld.get(), dn), before);

    EXPECT_EQ(ldap_restore_object(ld.get(), text("cn=Other,ou=people,dc=example,dc=com"), nullptr, data, sizes, length),
              LDAP_PROTOCOL_ERROR);
    EXPECT_NE(diagnostic(ld.get()).find("not cn=Other"), std::string::npos);
    tervane_memfree(state);
    tervane_memfree(data);
    tervane_memfree(sizes);
}

TEST(Backup, RestoreRefusesDataThatIsNotOneEntryAndSizesThatDoNotAddUp)
{
    Session ld = connect(Who::root);
    struct Case {
        const char* data;
        int size_error;  // added to the one chunk size sent
    } cases[] = {
        {"not ldif at all", 0},
        {"dn: cn=a,dc=example,dc=com\ncn: a\n\ndn: cn=b,dc=example,dc=com\ncn: b\n", 0},
        {"dn: cn=a,dc=example,dc=com\nchangetype: delete\n", 0},
        {"dn: cn=a,dc=example,dc=com\ncn: a\n", -1},
    };
    for (const Case& c : cases) {
        int length = static_cast<int>(std::strlen(c.data));
        std::string sizes = "1;" + std::to_string(length + c.size_error) + ";";
        EXPECT_EQ(ldap_restore_object(ld.get(), text("cn=a,dc=example,dc=com"), nullptr, text(c.data), sizes.data(),
                                      length),
                  LDAP_PROTOCOL_ERROR)
            << c.data;
    }
}

TEST(Backup, AnAdministratorWithoutReadAccessToAnAttributeCannotBackUpTheEntry)
{
    char* state = nullptr;
    char* data = nullptr;
    char* sizes = nullptr;
    int length = 0;
    // A root DN is root only in its own database: elsewhere slapd's rules
    // apply to it as to anyone.
    for (Who who : {Who::operator_, Who::other_root}) {
        Session refused = connect(who);
        EXPECT_EQ(ldap_backup_object(refused.get(), text(kUserDn), nullptr, &state, &data, &sizes, &length),
                  LDAP_INSUFFICIENT_ACCESS);
        EXPECT_NE(diagnostic(refused.get()).find("userPassword"), std::string::npos);
    }
    Session ld = connect(Who::operator_);
    EXPECT_EQ(ldap_backup_object(ld.get(), text("ou=staff,dc=example,dc=com"), nullptr, &state, &data, &sizes, &length),
              LDAP_SUCCESS);
    tervane_memfree(state);
    tervane_memfree(data);
    tervane_memfree(sizes);
}
