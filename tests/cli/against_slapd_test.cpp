// The tervane command as an administrator runs it against slapd with the
// plug-in: change files loaded, interrupted and resumed, and what the server
// says reaching the administrator.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

#include "cli_fixture.h"
#include "plugin_server.h"

using namespace clitest;

namespace {

// The server, bound as its root DN, then arguments: the command and
// ldap-utils take the same flags.
std::vector<std::string> as_root(const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"-H", plugin_test::server().uri(), "-x", "-D", plugin_test::kRootDn, "-w",
                                 plugin_test::kRootPassword};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

ProcessResult tervane_as_root(const std::vector<std::string>& arguments) { return run(as_root(arguments)); }

ProcessOptions ldap_utility(const std::string& name)
{
    ProcessOptions options;
    options.program = "/usr/bin/" + name;
    return options;
}

// The one value of an attribute of an entry, read as the root DN.
std::string value_of(const std::string& dn, const char* type)
{
    plugin_test::Session ld = plugin_test::connect(plugin_test::Who::root);
    for (const auto& [name, attributes] : plugin_test::search_entries(ld.get(), dn, LDAP_SCOPE_BASE))
        if (auto found = attributes.find(type); found != attributes.end() && !found->second.empty())
            return *found->second.begin();
    return std::string();
}

// An entry with a counter, then `count` records that each add one to it: a
// change file that must be applied exactly once.
std::string counter_file(const std::string& dn, int count)
{
    std::string text = "dn: " + dn +
                       "\nobjectClass: inetOrgPerson\nobjectClass: posixAccount\ncn: counter\nsn: c\nuid: counter\n"
                       "uidNumber: 0\ngidNumber: 0\nhomeDirectory: /\n\n";
    for (int i = 0; i < count; ++i)
        text += "dn: " + dn + "\nchangetype: modify\nincrement: uidNumber\nuidNumber: 1\n-\n\n";
    return text;
}

}  // namespace

TEST(AgainstSlapd, AnInterruptedLoadResumesWhereItStoppedAndAppliesEachRecordOnce)
{
    constexpr int kIncrements = 30000;
    const std::string dn = std::string("cn=counter,") + plugin_test::kPeople;
    TempFile ldif(counter_file(dn, kIncrements), ".ldif");
    Process load(as_root({"-v", "load", "--batch", "100", ldif.path()}));
    ASSERT_TRUE(load.wait_for_error("bulk stream started"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    load.signal(SIGINT);
    ProcessResult stopped = load.finish();
    ASSERT_EQ(stopped.exit_code, 88) << stopped.out << stopped.err;
    std::size_t at = stopped.out.find("--continue-from ");
    ASSERT_NE(at, std::string::npos) << stopped.out;
    std::string resume = std::to_string(std::stoul(stopped.out.substr(at + 16)));
    // Everything before the resume point was applied, nothing after it.
    EXPECT_EQ(value_of(dn, "uidNumber"), std::to_string(std::stoi(resume) - 2)) << stopped.out;

    ProcessResult resumed = tervane_as_root({"load", "--continue-from", resume, ldif.path()});
    EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
    EXPECT_EQ(value_of(dn, "uidNumber"), std::to_string(kIncrements));
}

TEST(AgainstSlapd, AChangeFileLoadsAsLdapmodifyAppliesItWithSlapdsReasons)
{
    // Every kind of change record, some refused; "OU" becomes each side's
    // own subtree.
    const std::string changes =
        "dn: ou=OU,ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: OU\n\n"
        "dn: cn=one,ou=OU,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nobjectClass: posixAccount\n"
        "cn: one\nsn: One\nuid: one\nuidNumber: 10\ngidNumber: 10\nhomeDirectory: /home/one\n"
        "jpegPhoto:: /9gAAYA=\n\n"
        "dn: cn=one,ou=OU,ou=people,dc=example,dc=com\nchangetype: modify\nincrement: uidNumber\nuidNumber: 5\n-\n"
        "add: description\ndescription: first\ndescription: second\n-\ndelete: description\ndescription: first\n-\n"
        "replace: mail\nmail: one@example.com\n-\n\n"
        "dn: cn=one,ou=OU,ou=people,dc=example,dc=com\nchangetype: modify\n\n"
        "dn: cn=two,ou=OU,ou=people,dc=example,dc=com\nobjectClass: person\ncn: two\n\n"
        "dn: cn=three,ou=OU,ou=people,dc=example,dc=com\nobjectClass: person\ncn: three\ncn: three\nsn: T\n\n"
        "dn: cn=one,ou=OU,ou=people,dc=example,dc=com\nchangetype: modify\nreplace: mail\nmail: caf\xC3\xA9\n-\n\n"
        "dn: cn=four,ou=OU,ou=people,dc=example,dc=com\nobjectClass: person\ncn: four\nsn: F\n\n"
        "dn: cn=four,ou=OU,ou=people,dc=example,dc=com\nchangetype: modrdn\nnewrdn: cn=Five\ndeleteoldrdn: 1\n\n"
        "dn: cn=Five,ou=OU,ou=people,dc=example,dc=com\nchangetype: delete\n\n";
    auto file_for = [&](const std::string& ou) {
        std::string text = changes;
        for (std::size_t at; (at = text.find("OU")) != std::string::npos;)
            text.replace(at, 2, ou);
        return text;
    };
    TempFile by_load(file_for("loaded"), ".ldif");
    TempFile by_ldapmodify(file_for("modified"), ".ldif");
    ProcessResult loaded = tervane_as_root({"load", by_load.path()});
    ProcessResult modified = run(as_root({"-a", "-c", "-f", by_ldapmodify.path()}), ldap_utility("ldapmodify"));
    EXPECT_EQ(loaded.exit_code, LDAP_OBJECT_CLASS_VIOLATION) << loaded.out << loaded.err;  // the first refusal
    // slapd's own reasons, record by record.
    for (const char* reason : {"object class 'person' requires attribute 'sn'", "cn: value #0 provided more than once",
                               "mail: value #0 invalid per syntax"}) {
        EXPECT_NE(loaded.out.find(reason), std::string::npos) << reason << "\n" << loaded.out;
        EXPECT_NE(modified.err.find(reason), std::string::npos) << reason << "\n" << modified.err;
    }
    auto dump = [](const std::string& ou) {
        ProcessResult found = run(as_root({"-LLL", "-b", "ou=" + ou + ",ou=people,dc=example,dc=com", "-S", "cn",
                                           "(objectClass=*)"}),
                                  ldap_utility("ldapsearch"));
        std::string text = found.out;
        for (std::size_t at; (at = text.find(ou)) != std::string::npos;)
            text.replace(at, ou.size(), "OU");
        return text;
    };
    std::string dumped = dump("loaded");
    EXPECT_NE(dumped.find("uidNumber: 15"), std::string::npos) << dumped;
    EXPECT_EQ(dumped, dump("modified"));
}

TEST(AgainstSlapd, BatchesAreCutToWhatTheServerTakes)
{
    std::string entries = "dn: ou=cut,ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: cut\n\n";
    for (int i = 0; i < 1500; ++i)
        entries += "dn: cn=c" + std::to_string(i) + ",ou=cut,ou=people,dc=example,dc=com\nobjectClass: person\ncn: c" +
                   std::to_string(i) + "\nsn: c\n\n";
    TempFile ldif(entries, ".ldif");
    ProcessResult loaded = tervane_as_root({"-v", "load", "--batch", "2000", ldif.path()});
    EXPECT_EQ(loaded.exit_code, 0) << loaded.out << loaded.err;
    EXPECT_NE(loaded.err.find("batches of 1000 records, the most the server takes, not 2000"), std::string::npos)
        << loaded.err;
    EXPECT_NE(loaded.out.find("1501 records sent: 1501 succeeded"), std::string::npos) << loaded.out;
}
