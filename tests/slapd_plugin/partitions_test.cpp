// Partitions split off and merged back through Tervane: the entries slapd
// holds (as slapcat dumps them) are the same before and after, and what
// cannot be done is refused with its code.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "plugin_server.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

constexpr char kMoved[] = "ou=moved,dc=example,dc=com";

char* text(const char* literal) { return const_cast<char*>(literal); }

// The server's entries as slapcat dumps them from its files, each entry's
// lines sorted and the entries sorted, without the change sequence numbers
// (a move is a change: slapd stamps the moved entries anew).
std::string dump()
{
    const std::string command = "slapcat -F '" + (server().folder() / "slapd.d").string() +
                                "' -b dc=example,dc=com -o ldif-wrap=no 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::vector<std::string> entries(1);
    std::vector<std::string> lines;
    char line[4096];
    auto close_entry = [&] {
        std::sort(lines.begin(), lines.end());
        for (const std::string& kept : lines)
            entries.back() += kept;
        if (!lines.empty())
            entries.emplace_back();
        lines.clear();
    };
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string read = line;
        if (read == "\n")
            close_entry();
        else if (read.rfind("entryCSN:", 0) != 0 && read.rfind("contextCSN:", 0) != 0)
            lines.push_back(read);
    }
    close_entry();
    pclose(pipe);
    std::sort(entries.begin(), entries.end());
    std::string all;
    for (const std::string& entry : entries)
        all += entry + "\n";
    return all;
}

void add(LDAP* ld, const std::string& dn, const std::vector<std::pair<const char*, const char*>>& attributes)
{
    ASSERT_EQ(add_values(ld, dn, attributes), LDAP_SUCCESS) << dn;
}

// ou=moved with ou=a and ou=b under it, `people` people under each.
void make_subtree(LDAP* ld, int people)
{
    add(ld, kMoved, {{"objectClass", "organizationalUnit"}, {"ou", "moved"}, {"description", "to be moved"}});
    for (const char* unit : {"a", "b"}) {
        const std::string parent = std::string("ou=") + unit + "," + kMoved;
        add(ld, parent, {{"objectClass", "organizationalUnit"}, {"ou", unit}});
        for (int n = 0; n < people; ++n) {
            const std::string name = "p" + std::to_string(n);
            add(ld, "cn=" + name + "," + parent,
                {{"objectClass", "inetOrgPerson"}, {"cn", name.c_str()}, {"sn", "S"}, {"mail", "m@example.com"}});
        }
    }
}

std::size_t count(LDAP* ld, const char* base)
{
    int rc = 0;
    std::size_t found = search_entries(ld, base, LDAP_SCOPE_SUBTREE, &rc).size();
    return rc == LDAP_SUCCESS ? found : 0;
}

// Whether the server's configuration has a database for dn.
bool is_partition(const char* dn)
{
    Session config = bind_to(server(), "cn=config", kConfigPassword);
    LDAPMessage* result = nullptr;
    const std::string filter = std::string("(olcSuffix=") + dn + ")";
    ldap_search_ext_s(config.get(), "cn=config", LDAP_SCOPE_ONELEVEL, filter.c_str(), nullptr, 0, nullptr, nullptr,
                      nullptr, 0, &result);
    const bool found = ldap_count_entries(config.get(), result) > 0;
    ldap_msgfree(result);
    return found;
}

void remove_subtree(LDAP* ld)
{
    std::vector<std::string> names;
    for (const auto& [dn, attributes] : search_entries(ld, kMoved, LDAP_SCOPE_SUBTREE))
        names.push_back(dn);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& dn : names)
        ldap_delete_ext_s(ld, dn.c_str(), nullptr, nullptr);
}

}  // namespace

TEST(Partitions, ASplitAndAMergeLeaveEveryEntryAsItWas)
{
    Session ld = connect(Who::root);
    make_subtree(ld.get(), 10);
    const std::string before = dump();
    ASSERT_NE(before.find("dn: cn=p9,ou=b,ou=moved"), std::string::npos);

    ASSERT_EQ(ldap_split_partition(ld.get(), text(kMoved), 0), LDAP_SUCCESS) << diagnostic(ld.get());
    EXPECT_TRUE(is_partition(kMoved));
    EXPECT_EQ(dump(), before);
    EXPECT_EQ(count(ld.get(), kMoved), 23u);
    int counted = 0;
    EXPECT_EQ(ldap_partition_entry_count(ld.get(), text(kMoved), &counted), LDAP_SUCCESS);
    EXPECT_EQ(counted, 23);
    // The partition takes updates through its parent.
    add(ld.get(), std::string("cn=new,ou=a,") + kMoved, {{"objectClass", "person"}, {"cn", "new"}, {"sn", "N"}});
    EXPECT_EQ(ldap_delete_ext_s(ld.get(), (std::string("cn=new,ou=a,") + kMoved).c_str(), nullptr, nullptr),
              LDAP_SUCCESS);

    // A partition under a partition, which its parent's merge must wait for.
    const std::string inner = std::string("ou=a,") + kMoved;
    ASSERT_EQ(ldap_create_naming_context(ld.get(), text(inner.c_str()), 0), LDAP_SUCCESS) << diagnostic(ld.get());
    EXPECT_EQ(ldap_merge_partitions(ld.get(), text(kMoved), 0), LDAP_UNWILLING_TO_PERFORM);
    EXPECT_NE(diagnostic(ld.get()).find("merge that first"), std::string::npos);
    EXPECT_EQ(ldap_merge_naming_contexts(ld.get(), text(inner.c_str()), 0), LDAP_SUCCESS) << diagnostic(ld.get());
    EXPECT_EQ(dump(), before);

    ASSERT_EQ(ldap_merge_partitions(ld.get(), text(kMoved), 0), LDAP_SUCCESS) << diagnostic(ld.get());
    EXPECT_FALSE(is_partition(kMoved));
    EXPECT_EQ(dump(), before);
    remove_subtree(ld.get());
}

TEST(Partitions, WhatCannotBeSplitOrMergedIsRefusedWithItsCode)
{
    Session ld = connect(Who::root);
    struct Refusal {
        const char* name;
        std::function<int()> run;
        int code;
        const char* text;
    } refusals[] = {
        {"split a naming context", [&] { return ldap_split_partition(ld.get(), text(kSuffix), 0); }, LDAP_ALREADY_EXISTS, "already"},
        {"split no entry", [&] { return ldap_split_partition(ld.get(), text("ou=none,dc=example,dc=com"), 0); }, LDAP_NO_SUCH_OBJECT, "no entry"},
        {"split no database", [&] { return ldap_split_partition(ld.get(), text("o=nowhere"), 0); }, LDAP_NO_SUCH_OBJECT, "no database"},
        {"split not a name", [&] { return ldap_split_partition(ld.get(), text("not a dn"), 0); }, LDAP_INVALID_DN_SYNTAX, "names no entry"},
        {"merge no partition", [&] { return ldap_merge_partitions(ld.get(), text(kPeople), 0); }, LDAP_NO_SUCH_OBJECT, "not a partition"},
        {"merge a naming context", [&] { return ldap_merge_partitions(ld.get(), text(kSuffix), 0); }, LDAP_UNWILLING_TO_PERFORM, "not glued"},
        {"abort nothing", [&] { return ldap_abort_partition_operation(ld.get(), text(kPeople), 0); }, LDAP_NO_SUCH_OBJECT, "in progress"},
        {"abort context", [&] { return ldap_abort_naming_context_operation(ld.get(), text(kPeople), 0); }, LDAP_NO_SUCH_OBJECT, "in progress"},
        {"orphan in a partition", [&] { return ldap_split_orphan_partition(ld.get(), text(kPeople), text(kServerDn)); }, LDAP_UNWILLING_TO_PERFORM, "no parent partition"},
        {"orphan at a naming context", [&] { return ldap_create_orphan_naming_context(ld.get(), text(kSuffix), text(kServerDn)); }, LDAP_ALREADY_EXISTS, "already"},
        {"orphan elsewhere", [&] { return ldap_split_orphan_partition(ld.get(), text("o=x"), text("cn=elsewhere")); }, LDAP_NO_SUCH_OBJECT, "not this server"},
        {"remove a non-orphan", [&] { return ldap_remove_orphan_partition(ld.get(), text(kPeople), text(kServerDn)); }, LDAP_NO_SUCH_OBJECT, "not a naming context"},
        {"remove a naming context with entries", [&] { return ldap_remove_orphan_naming_context(ld.get(), text(kSuffix), text(kServerDn)); }, LDAP_NOT_ALLOWED_ON_NONLEAF, "still holds"},
    };
    for (const Refusal& refusal : refusals) {
        EXPECT_EQ(refusal.run(), refusal.code) << refusal.name;
        EXPECT_NE(diagnostic(ld.get()).find(refusal.text), std::string::npos) << refusal.name << ": " << diagnostic(ld.get());
    }
    Session user = connect(Who::user);
    EXPECT_EQ(ldap_abort_partition_operation(user.get(), text(kPeople), 0), LDAP_INSUFFICIENT_ACCESS);
}

// An abort while a split runs undoes it; a reader meanwhile sees the whole
// subtree, never a part.
TEST(Partitions, AnAbortedSplitLeavesTheTreeAsItWasAndReadersNeverSeeAPart)
{
    Session ld = connect(Who::root);
    make_subtree(ld.get(), 600);
    const std::string before = dump();
    const std::size_t all = count(ld.get(), kMoved);
    ASSERT_EQ(all, 1203u);

    std::future<int> split = std::async(std::launch::async, [] {
        Session splitter = connect(Who::root);
        return ldap_split_partition(splitter.get(), text(kMoved), 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::future<std::size_t> reader = std::async(std::launch::async, [] {
        Session reading = connect(Who::root);
        return count(reading.get(), kMoved);
    });
    Session aborter = connect(Who::operator_);
    int aborted = LDAP_NO_SUCH_OBJECT;
    for (int tries = 0; tries < 500 && aborted != LDAP_SUCCESS &&
                        split.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready;
         ++tries) {
        aborted = ldap_abort_partition_operation(aborter.get(), text(kMoved), 0);
        if (aborted != LDAP_SUCCESS)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(aborted, LDAP_SUCCESS) << diagnostic(aborter.get());
    EXPECT_EQ(split.get(), LDAP_CANCELLED);
    EXPECT_EQ(reader.get(), all);
    EXPECT_FALSE(is_partition(kMoved));
    EXPECT_EQ(dump(), before);
    remove_subtree(ld.get());
}

TEST(Partitions, AnOrphanNamingContextIsMadeEmptyAndRemovedOnceEmpty)
{
    Session ld = connect(Who::root);
    ASSERT_EQ(ldap_split_orphan_partition(ld.get(), text("o=orphan"), text(kServerDn)), LDAP_SUCCESS)
        << diagnostic(ld.get());
    EXPECT_TRUE(is_partition("o=orphan"));
    // Its root DN is the administrator who made it.
    add(ld.get(), "o=orphan", {{"objectClass", "organization"}, {"o", "orphan"}});
    EXPECT_EQ(ldap_remove_orphan_partition(ld.get(), text("o=orphan"), text(kServerDn)), LDAP_NOT_ALLOWED_ON_NONLEAF);
    ASSERT_EQ(ldap_delete_ext_s(ld.get(), "o=orphan", nullptr, nullptr), LDAP_SUCCESS);
    EXPECT_EQ(ldap_remove_orphan_naming_context(ld.get(), text("o=orphan"), text(kServerDn)), LDAP_SUCCESS)
        << diagnostic(ld.get());
    EXPECT_FALSE(is_partition("o=orphan"));
}

// Updates sent while a split runs wait for it and land in the partition:
// none is lost between the databases.
TEST(Partitions, UpdatesSentDuringASplitWaitAndAreKept)
{
    Session ld = connect(Who::root);
    make_subtree(ld.get(), 600);
    std::future<int> split = std::async(std::launch::async, [] {
        Session splitter = connect(Who::root);
        return ldap_split_partition(splitter.get(), text(kMoved), 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Session writer = connect(Who::root);
    for (const char* name : {"late1", "late2", "late3"})
        add(writer.get(), std::string("cn=") + name + ",ou=b," + kMoved, {{"objectClass", "person"}, {"cn", name}, {"sn", "L"}});
    EXPECT_EQ(split.get(), LDAP_SUCCESS);
    EXPECT_EQ(count(ld.get(), kMoved), 1206u);
    EXPECT_EQ(ldap_merge_partitions(ld.get(), text(kMoved), 0), LDAP_SUCCESS) << diagnostic(ld.get());
    EXPECT_EQ(count(ld.get(), kMoved), 1206u);
    remove_subtree(ld.get());
}
