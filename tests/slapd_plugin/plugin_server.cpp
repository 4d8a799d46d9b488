#include "plugin_server.h"

#include <gtest/gtest.h>

namespace plugin_test {

namespace {

std::string seed()
{
    return slapd::suffix_entry(kSuffix) +
           "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
           "dn: ou=staff,dc=example,dc=com\nobjectClass: organizationalUnit\nou: staff\n\n"
           "dn: uid=operator,ou=staff,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: operator\ncn: Operator\n"
           "sn: Operator\nuserPassword: operator\n\n"
           "dn: uid=user,ou=staff,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: user\ncn: User\nsn: User\n"
           "userPassword: user\n\n"
           "dn: ou=groups,dc=example,dc=com\nobjectClass: organizationalUnit\nou: groups\n\n"
           "dn: cn=administrators,ou=groups,dc=example,dc=com\nobjectClass: groupOfNames\ncn: administrators\n"
           "member: uid=operator,ou=staff,dc=example,dc=com\n\n"
           "dn: ou=secret,dc=example,dc=com\nobjectClass: organizationalUnit\nou: secret\n\n"
           "dn: ou=hidden,ou=secret,dc=example,dc=com\nobjectClass: organizationalUnit\nou: hidden\n\n";
}

}  // namespace

std::vector<std::string> plugin_configuration(const std::string& plugin, const std::string& arguments)
{
    return {"plugin extendedop " + plugin + " admin_extensions_init " + arguments,
            "plugin postoperation " + plugin + " admin_extensions_events_init"};
}

slapd::Server& server()
{
    static std::unique_ptr<slapd::Server> instance = [] {
        slapd::Options options;
        options.seed_ldif = seed();
        options.schemas.push_back("nis");
        options.config_password = kConfigPassword;
        options.global_config = plugin_configuration(
            ADMIN_EXTENSIONS_PLUGIN, std::string("administrators=") + kAdministrators + " server=" + kServerDn + " queue=1000");
        options.database_config = {
            "dbnosync",
            "access to dn.subtree=\"ou=secret,dc=example,dc=com\" by * none",
            "access to attrs=userPassword by self write by anonymous auth by * none",
            "access to dn.subtree=\"ou=people,dc=example,dc=com\" by dn.exact=\"uid=operator,ou=staff,dc=example,"
            "dc=com\" write by * read",
            "access to * by self write by * read",
        };
        options.more_databases = {{"dc=other", kOtherRootDn, "other"}};
        auto started = std::make_unique<slapd::Server>(options);
        started->start();
        return started;
    }();
    return *instance;
}

Session connect(Who who)
{
    LDAP* raw = nullptr;
    EXPECT_EQ(ldap_initialize(&raw, server().uri().c_str()), LDAP_SUCCESS);
    Session ld(raw);
    int version = LDAP_VERSION3;
    ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
    const char* dn = nullptr;
    const char* password = nullptr;
    switch (who) {
    case Who::anonymous: break;
    case Who::user:
        dn = kUserDn;
        password = "user";
        break;
    case Who::operator_:
        dn = kOperatorDn;
        password = "operator";
        break;
    case Who::root:
        dn = kRootDn;
        password = kRootPassword;
        break;
    case Who::other_root:
        dn = kOtherRootDn;
        password = "other";
        break;
    }
    EXPECT_EQ(ldap_simple_bind_s(ld.get(), dn, password), LDAP_SUCCESS);
    return ld;
}

Session bind_to(slapd::Server& server, const char* dn, const char* password)
{
    LDAP* raw = nullptr;
    EXPECT_EQ(ldap_initialize(&raw, server.uri().c_str()), LDAP_SUCCESS);
    Session ld(raw);
    int version = LDAP_VERSION3;
    ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
    if (dn != nullptr) {
        EXPECT_EQ(ldap_simple_bind_s(ld.get(), dn, password), LDAP_SUCCESS) << dn;
    }
    return ld;
}

int add_values(LDAP* ld, const std::string& dn, const std::vector<std::pair<const char*, const char*>>& attributes)
{
    std::vector<LDAPMod> mods(attributes.size());
    std::vector<char*> values(attributes.size() * 2);
    std::vector<LDAPMod*> list;
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        values[2 * i] = const_cast<char*>(attributes[i].second);
        mods[i] = {LDAP_MOD_ADD, const_cast<char*>(attributes[i].first), {&values[2 * i]}};
        list.push_back(&mods[i]);
    }
    list.push_back(nullptr);
    return ldap_add_ext_s(ld, dn.c_str(), list.data(), nullptr, nullptr);
}

int change_configuration()
{
    LDAP* raw = nullptr;
    if (ldap_initialize(&raw, server().uri().c_str()) != LDAP_SUCCESS)
        return -1;
    Session ld(raw);
    int version = LDAP_VERSION3;
    ldap_set_option(ld.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
    if (ldap_simple_bind_s(ld.get(), "cn=config", kConfigPassword) != LDAP_SUCCESS)
        return -1;
    char type[] = "olcSizeLimit";
    char limit[] = "500";
    char* values[] = {limit, nullptr};
    LDAPMod replace = {LDAP_MOD_REPLACE, type, {values}};
    LDAPMod* changes[] = {&replace, nullptr};
    int msgid = 0;
    if (ldap_modify_ext(ld.get(), "olcDatabase={-1}frontend,cn=config", changes, nullptr, nullptr, &msgid) !=
        LDAP_SUCCESS)
        return -1;
    timeval timeout{10, 0};
    LDAPMessage* answer = nullptr;
    int code = -1;
    if (ldap_result(ld.get(), msgid, LDAP_MSG_ALL, &timeout, &answer) > 0)
        ldap_parse_result(ld.get(), answer, &code, nullptr, nullptr, nullptr, nullptr, 0);
    ldap_msgfree(answer);
    return code;
}

std::string diagnostic(LDAP* ld)
{
    char* text = nullptr;
    ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text);
    std::string copy = text != nullptr ? text : "";
    ldap_memfree(text);
    return copy;
}

std::map<std::string, Attributes> search_entries(LDAP* ld, const std::string& base, int scope, int* rc)
{
    std::map<std::string, Attributes> entries;
    LDAPMessage* found = nullptr;
    int code = ldap_search_ext_s(ld, base.c_str(), scope, "(objectClass=*)", nullptr, 0, nullptr, nullptr, nullptr,
                                 0, &found);
    if (rc != nullptr)
        *rc = code;
    for (LDAPMessage* entry = ldap_first_entry(ld, found); entry != nullptr; entry = ldap_next_entry(ld, entry)) {
        char* dn = ldap_get_dn(ld, entry);
        Attributes& attributes = entries[dn != nullptr ? dn : ""];
        ldap_memfree(dn);
        BerElement* walk = nullptr;
        for (char* type = ldap_first_attribute(ld, entry, &walk); type != nullptr;
             type = ldap_next_attribute(ld, entry, walk)) {
            berval** values = ldap_get_values_len(ld, entry, type);
            for (int i = 0; values != nullptr && values[i] != nullptr; ++i)
                attributes[type].emplace(values[i]->bv_val, values[i]->bv_len);
            ldap_value_free_len(values);
            ldap_memfree(type);
        }
        ber_free(walk, 0);
    }
    ldap_msgfree(found);
    return entries;
}

std::string server_faults()
{
    std::string log = server().output();
    std::string faults;
    for (const char* marker : {"AddressSanitizer", "runtime error", "Segmentation", "Assertion"})
        if (log.find(marker) != std::string::npos)
            faults += log;
    return faults;
}

}  // namespace plugin_test
