// Every identity that may send administration requests, against every
// request that reads or changes entries, in every part of the tree: the
// plug-in must answer what slapd's own rules give the same identity over the
// protocol. slapd is the oracle; the plug-in's code is not.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bulk_client.h"
#include "plugin_server.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

char* text(const char* literal) { return const_cast<char*>(literal); }

struct Place {
    const char* name;
    const char* parent;  // new entries go here
    const char* existing;  // an entry to read
};

// ou=people: the group writes there; ou=staff: it reads; ou=hidden,ou=secret:
// only the root DN of dc=example,dc=com sees it.
const Place kPlaces[] = {
    {"people", "ou=people,dc=example,dc=com", "ou=people,dc=example,dc=com"},
    {"staff", "ou=staff,dc=example,dc=com", "ou=staff,dc=example,dc=com"},
    {"secret", "ou=hidden,ou=secret,dc=example,dc=com", "ou=hidden,ou=secret,dc=example,dc=com"},
};

const Who kIdentities[] = {Who::operator_, Who::root, Who::other_root};

const char* name_of(Who who)
{
    switch (who) {
    case Who::operator_: return "group member";
    case Who::root: return "root DN";
    case Who::other_root: return "root DN of dc=other";
    default: return "other";
    }
}

// A person's attributes.
std::unique_ptr<Mods> person(const std::string& dn)
{
    std::string cn = dn.substr(3, dn.find(',') - 3);
    return std::make_unique<Mods>(std::vector<ModSpec>{
        {LDAP_MOD_ADD, "objectClass", {"inetOrgPerson"}}, {LDAP_MOD_ADD, "cn", {cn}}, {LDAP_MOD_ADD, "sn", {"M"}}});
}

char* kDescription[] = {text("changed"), nullptr};
LDAPMod kReplace = {LDAP_MOD_REPLACE, text("description"), {kDescription}};
LDAPMod* kModify[] = {&kReplace, nullptr};

// One change by stream, as a batch of one.
int through_stream(LDAP* ld, lburp_operation op)
{
    lburp_operation* batch[] = {&op, nullptr};
    int start_value = 0;
    if (int rc = start_stream(ld, &start_value); rc != LDAP_SUCCESS)
        return rc;
    BatchAnswer answer = read_batch_answer(ld, send_batch(ld, 1, batch));
    end_stream(ld, 2);
    return answer.results.size() == 1 ? answer.results[0].second : -1;
}

// What a search of the identity finds: 32 for an entry it cannot see, 50 when
// it sees fewer attributes than the root DN, else 0; and how many entries a
// subtree search finds.
int read_over_protocol(LDAP* ld, LDAP* root, const char* dn)
{
    auto seen = search_entries(ld, dn, LDAP_SCOPE_BASE);
    if (seen.empty())
        return LDAP_NO_SUCH_OBJECT;
    auto all = search_entries(root, dn, LDAP_SCOPE_BASE);
    return seen.begin()->second.size() < all.begin()->second.size() ? LDAP_INSUFFICIENT_ACCESS : LDAP_SUCCESS;
}

int count_over_protocol(LDAP* ld, const char* base, int* count)
{
    int rc = -1;
    *count = static_cast<int>(search_entries(ld, base, LDAP_SCOPE_SUBTREE, &rc).size());
    return rc;
}

// Removes what the matrix made, so that the other tests find the tree as it
// was seeded.
void remove_matrix_entries(LDAP* root)
{
    for (const Place& place : kPlaces) {
        LDAPMessage* found = nullptr;
        char* no_attributes[] = {text("1.1"), nullptr};
        ldap_search_ext_s(root, place.parent, LDAP_SCOPE_ONELEVEL, "(cn=*matrix*)", no_attributes, 0, nullptr, nullptr,
                          nullptr, 0, &found);
        for (LDAPMessage* entry = ldap_first_entry(root, found); entry != nullptr; entry = ldap_next_entry(root, entry)) {
            char* dn = ldap_get_dn(root, entry);
            EXPECT_EQ(ldap_delete_ext_s(root, dn, nullptr, nullptr), LDAP_SUCCESS) << dn;
            ldap_memfree(dn);
        }
        ldap_msgfree(found);
    }
}

}  // namespace

TEST(AccessMatrix, EveryRequestAnswersWhatSlapdsRulesGiveTheRequestor)
{
    Session root = connect(Who::root);
    for (Who who : kIdentities) {
        Session ld = connect(who);
        for (const Place& place : kPlaces) {
            const std::string cell = std::string(name_of(who)) + " in " + place.name + ": ";
            const std::string prefix = std::string("cn=matrix ") + std::to_string(static_cast<int>(who));
            auto dn = [&](const char* what, const char* side) {
                return prefix + " " + what + " " + side + "," + place.parent;
            };
            // Entries to change, made by the root DN on both sides.
            for (const char* what : {"modify", "delete", "rename"})
                for (const char* side : {"s", "p"}) {
                    std::string name = dn(what, side);
                    ASSERT_EQ(ldap_add_ext_s(root.get(), name.c_str(), person(name)->get(), nullptr, nullptr),
                              LDAP_SUCCESS)
                        << name;
                }

            std::string added_s = dn("add", "s"), added_p = dn("add", "p");
            EXPECT_EQ(through_stream(ld.get(), {LBURP_OP_ADD, added_s.data(), person(added_s)->get(), nullptr}),
                      ldap_add_ext_s(ld.get(), added_p.c_str(), person(added_p)->get(), nullptr, nullptr))
                << cell << "add";
            std::string modified_s = dn("modify", "s"), modified_p = dn("modify", "p");
            EXPECT_EQ(through_stream(ld.get(), {LBURP_OP_MODIFY, modified_s.data(), kModify, nullptr}),
                      ldap_modify_ext_s(ld.get(), modified_p.c_str(), kModify, nullptr, nullptr))
                << cell << "modify";
            std::string deleted_s = dn("delete", "s"), deleted_p = dn("delete", "p");
            EXPECT_EQ(through_stream(ld.get(), {LBURP_OP_DELETE, deleted_s.data(), nullptr, nullptr}),
                      ldap_delete_ext_s(ld.get(), deleted_p.c_str(), nullptr, nullptr))
                << cell << "delete";
            std::string renamed_s = dn("rename", "s"), renamed_p = dn("rename", "p");
            lburp_rename rename{text("cn=renamed matrix"), 1, nullptr};
            EXPECT_EQ(through_stream(ld.get(), {LBURP_OP_RENAME_EXTENDED, renamed_s.data(), &rename, nullptr}),
                      ldap_rename_s(ld.get(), renamed_p.c_str(), "cn=renamed matrix p", nullptr, 1, nullptr, nullptr))
                << cell << "rename";

            // Reads: a backup needs every user attribute the entry has.
            char* state = nullptr;
            char* data = nullptr;
            char* sizes = nullptr;
            int length = 0;
            int backup = ldap_backup_object(ld.get(), text(place.existing), nullptr, &state, &data, &sizes, &length);
            EXPECT_EQ(backup, read_over_protocol(ld.get(), root.get(), place.existing)) << cell << "backup";
            tervane_memfree(state);
            tervane_memfree(data);
            tervane_memfree(sizes);
            int counted = -1, found = -1;
            int rc = ldap_partition_entry_count(ld.get(), text(place.existing), &counted);
            EXPECT_EQ(rc, count_over_protocol(ld.get(), place.existing, &found)) << cell << "count";
            if (rc == LDAP_SUCCESS) {
                EXPECT_EQ(counted, found) << cell << "count";
            }
        }
    }
    remove_matrix_entries(root.get());
}
