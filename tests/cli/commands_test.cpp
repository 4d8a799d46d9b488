// Every subcommand that sends one request: the exact request on the wire,
// the exact text and JSON output and the exit status, from one table.
#include <sys/stat.h>

#include "cli_fixture.h"

namespace clitest {
namespace {

namespace d = der;

struct CommandCase {
    const char* name;
    std::vector<std::string> arguments;
    std::optional<std::string> reply_value;  // answered with the pairing name
    const char* request_name;
    const char* request_value;  // rendered; "<none>" without value
    const char* text;
    const char* json;
};

// Failures name the case, not its bytes.
void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

const std::string kReplicaInfo = d::concat({d::integer(1), d::integer(2), d::integer(3), d::integer(4), d::integer(5),
                                            d::octets("cn=s"), d::integer(6), d::integer(7)});
const std::string kPrivilegesList =
    d::sequence({d::sequence({d::integer(2)}), d::set({d::sequence({d::integer(7)}), d::sequence({d::integer(3)})})});
const std::string kFilter = d::sequence({d::sequence({d::octets("C1"), d::sequence({d::octets("A1")})}),
                                         d::sequence({d::octets("C2"), d::sequence({})})});

const CommandCase kCases[] = {
    {"whoami", {"whoami"}, d::octets("cn=admin,o=x"), ADMIN_OID(31), "<none>", "dn: cn=admin,o=x\n",
     R"({"result":0,"dn":"cn=admin,o=x"})"},
    {"whoami_context_identity", {"whoami", "--context-identity"}, d::octets("cn=admin,o=x"), ADMIN_OID(31), "<none>",
     "dn: cn=admin,o=x\n", R"({"result":0,"dn":"cn=admin,o=x"})"},
    {"privileges_one", {"privileges", "o=x", "cn=me", "cn"}, d::integer(7), ADMIN_OID(33), "'o=x', 'cn=me', 'cn'",
     "dn: o=x\nsubject: cn=me\nprivileges:\n  cn: 7\n",
     R"({"result":0,"dn":"o=x","subject":"cn=me","privileges":{"cn":7}})"},
    {"privileges_list", {"privileges", "o=x", "cn=me", "cn", "mail"}, kPrivilegesList, ADMIN_OID(103),
     "'o=x', 'cn=me', {'cn', 'mail'}", "dn: o=x\nsubject: cn=me\nprivileges:\n  cn: 7\n  mail: 3\n",
     R"({"result":0,"dn":"o=x","subject":"cn=me","privileges":{"cn":7,"mail":3}})"},
    {"privileges_list_forced", {"privileges", "--list", "o=x", "cn=me", "cn"},
     d::sequence({d::sequence({d::integer(1)}), d::set({d::sequence({d::integer(5)})})}), ADMIN_OID(103),
     "'o=x', 'cn=me', {'cn'}", "dn: o=x\nsubject: cn=me\nprivileges:\n  cn: 5\n",
     R"({"result":0,"dn":"o=x","subject":"cn=me","privileges":{"cn":5}})"},
    // U+00E9 and U+1F600 (a surrogate pair), big-endian, with the terminator.
    {"name_vorn", {"name", "vorn", "A\xc3\xa9\xf0\x9f\x98\x80"}, d::octets("cn=A"), ADMIN_OID(1),
     "'\\x00A\\x00\\xe9\\xd8=\\xde\\x00\\x00\\x00'", "dn: cn=A\n", R"({"result":0,"dn":"cn=A"})"},
    {"name_dns", {"name", "dns", "a.b.example"}, d::octets("dc=a,dc=b"), ADMIN_OID(101), "'a.b.example'",
     "dn: dc=a,dc=b\n", R"({"result":0,"dn":"dc=a,dc=b"})"},
    {"refresh", {"refresh"}, std::nullopt, ADMIN_OID(9), "<none>", "", R"({"result":0})"},
    {"partition_split", {"partition", "split", "o=x", "--flags", "3"}, std::nullopt, ADMIN_OID(3), "int 3, 'o=x'", "",
     R"({"result":0,"dn":"o=x","flags":3})"},
    {"partition_merge", {"partition", "merge", "o=x"}, std::nullopt, ADMIN_OID(5), "int 0, 'o=x'", "",
     R"({"result":0,"dn":"o=x","flags":0})"},
    {"partition_abort", {"partition", "abort", "--flags=-1", "o=x"}, std::nullopt, ADMIN_OID(29), "int -1, 'o=x'", "",
     R"({"result":0,"dn":"o=x","flags":-1})"},
    {"partition_count", {"partition", "count", "o=x"}, d::integer(42), ADMIN_OID(13), "'o=x'", "dn: o=x\nentries: 42\n",
     R"({"result":0,"dn":"o=x","entries":42})"},
    {"partition_split_orphan", {"partition", "split-orphan", "o=x", "cn=s"}, std::nullopt, ADMIN_OID(39),
     "'o=x', 'cn=s'", "", R"({"result":0,"dn":"o=x","server":"cn=s"})"},
    {"partition_remove_orphan", {"partition", "remove-orphan", "o=x", "cn=s"}, std::nullopt, ADMIN_OID(41),
     "'o=x', 'cn=s'", "", R"({"result":0,"dn":"o=x","server":"cn=s"})"},
    {"naming_context_create", {"naming-context", "create", "o=x", "--flags", "1"}, std::nullopt, ADMIN_OID(3),
     "int 1, 'o=x'", "", R"({"result":0,"dn":"o=x","flags":1})"},
    {"naming_context_merge", {"naming-context", "merge", "o=x"}, std::nullopt, ADMIN_OID(5), "int 0, 'o=x'", "",
     R"({"result":0,"dn":"o=x","flags":0})"},
    {"naming_context_abort", {"naming-context", "abort", "o=x"}, std::nullopt, ADMIN_OID(29), "int 0, 'o=x'", "",
     R"({"result":0,"dn":"o=x","flags":0})"},
    {"naming_context_count", {"naming-context", "count", "o=x"}, d::integer(0), ADMIN_OID(13), "'o=x'",
     "dn: o=x\nentries: 0\n", R"({"result":0,"dn":"o=x","entries":0})"},
    {"naming_context_create_orphan", {"naming-context", "create-orphan", "o=x", "cn=s"}, std::nullopt, ADMIN_OID(39),
     "'o=x', 'cn=s'", "", R"({"result":0,"dn":"o=x","server":"cn=s"})"},
    {"naming_context_remove_orphan", {"naming-context", "remove-orphan", "o=x", "cn=s"}, std::nullopt, ADMIN_OID(41),
     "'o=x', 'cn=s'", "", R"({"result":0,"dn":"o=x","server":"cn=s"})"},
    {"replica_add", {"replica", "add", "o=x", "cn=s", "--type", "1", "--flags", "2"}, std::nullopt, ADMIN_OID(7),
     "int 2, int 1, 'cn=s', 'o=x'", "", R"({"result":0,"dn":"o=x","server":"cn=s","type":1,"flags":2})"},
    {"replica_remove", {"replica", "remove", "o=x", "cn=s"}, std::nullopt, ADMIN_OID(11), "int 0, 'cn=s', 'o=x'", "",
     R"({"result":0,"dn":"o=x","server":"cn=s","flags":0})"},
    {"replica_change_type", {"replica", "change-type", "o=x", "cn=s", "--type", "3"}, std::nullopt, ADMIN_OID(15),
     "int 0, int 3, 'cn=s', 'o=x'", "", R"({"result":0,"dn":"o=x","server":"cn=s","type":3,"flags":0})"},
    {"replica_info", {"replica", "info", "o=x", "cn=s"}, kReplicaInfo, ADMIN_OID(17), "'cn=s', 'o=x'",
     "dn: o=x\nserver: cn=s\nhead: 1 2 3 4 5\nname: cn=s\ntail: 6 7\n",
     R"({"result":0,"dn":"o=x","server":"cn=s","head":[1,2,3,4,5],"name":"cn=s","tail":[6,7]})"},
    {"replica_list", {"replica", "list", "o=x"}, d::sequence({d::octets("cn=a"), d::octets("cn=b")}), ADMIN_OID(19),
     "'o=x'", "dn: o=x\nreplicas: cn=a\nreplicas: cn=b\n", R"({"result":0,"dn":"o=x","replicas":["cn=a","cn=b"]})"},
    {"replica_list_empty", {"replica", "list", "o=x"}, d::sequence({}), ADMIN_OID(19), "'o=x'", "dn: o=x\n",
     R"({"result":0,"dn":"o=x","replicas":[]})"},
    {"sync_receive_all", {"sync", "receive-all", "o=x", "cn=s"}, std::nullopt, ADMIN_OID(21),
     "'o=x', 'cn=s', 'unusedParam'", "", R"({"result":0,"dn":"o=x","server":"cn=s"})"},
    {"sync_receive_all_extra", {"sync", "receive-all", "o=x", "cn=s", "cn=e"}, std::nullopt, ADMIN_OID(21),
     "'o=x', 'cn=s', 'cn=e'", "", R"({"result":0,"dn":"o=x","server":"cn=s"})"},
    {"sync_send_all", {"sync", "send-all", "o=x"}, std::nullopt, ADMIN_OID(23), "'o=x', ''", "",
     R"({"result":0,"dn":"o=x","server":""})"},
    {"sync_partition", {"sync", "partition", "cn=s", "o=x", "--value", "5"}, std::nullopt, ADMIN_OID(25),
     "'cn=s', 'o=x', int 5", "", R"({"result":0,"server":"cn=s","dn":"o=x","value":5})"},
    {"sync_naming_context", {"sync", "naming-context", "cn=s", "o=x"}, std::nullopt, ADMIN_OID(25),
     "'cn=s', 'o=x', int 0", "", R"({"result":0,"server":"cn=s","dn":"o=x","value":0})"},
    {"sync_schema", {"sync", "schema", "cn=s"}, std::nullopt, ADMIN_OID(27), "'cn=s', int 0", "",
     R"({"result":0,"server":"cn=s","value":0})"},
    {"sync_trigger", {"sync", "trigger", "2"}, std::nullopt, ADMIN_OID(47), "<none>", "",
     R"({"result":0,"process":2})"},
    {"filter_get", {"filter", "get", "cn=s"}, kFilter, ADMIN_OID(37), "'cn=s'", "C1$A1$$C2$$$\n",
     R"({"result":0,"server":"cn=s","filter":"C1$A1$$C2$$$","classes":[{"class":"C1","attributes":["A1"]},{"class":"C2","attributes":[]}]})"},
    {"filter_set", {"filter", "set", "cn=s", "C1$A1$A2$$C2$$$"}, std::nullopt, ADMIN_OID(35),
     "'cn=s', {{'C1', {'A1', 'A2'}}, {'C2', {}}}", "",
     R"({"result":0,"server":"cn=s","filter":"C1$A1$A2$$C2$$$","classes":[{"class":"C1","attributes":["A1","A2"]},{"class":"C2","attributes":[]}]})"},
    {"filter_set_empty", {"filter", "set", "cn=s", "$"}, std::nullopt, ADMIN_OID(35), "'cn=s', {}", "",
     R"({"result":0,"server":"cn=s","filter":"$","classes":[]})"},
};

class Commands : public CliTest, public ::testing::WithParamInterface<CommandCase> {
protected:
    void queue_reply()
    {
        if (GetParam().reply_value)
            peer.reply(testpeer::Reply::with_value(*GetParam().reply_value));
    }
};

TEST_P(Commands, SendOneRequestAndPrintTheAnswerForPeople)
{
    const CommandCase& c = GetParam();
    queue_reply();
    ProcessResult result = tervane(c.arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, c.text);
    EXPECT_EQ(result.err, "");
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].name, c.request_name);
    EXPECT_EQ(rendered(requests[0]), c.request_value);
    EXPECT_FALSE(requests[0].had_controls);
}

TEST_P(Commands, PrintOneJsonDocumentForPrograms)
{
    const CommandCase& c = GetParam();
    queue_reply();
    std::vector<std::string> arguments{"-o", "json"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    ProcessResult result = tervane(arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(Json::parse(result.out), Json::parse(c.json)) << result.out;
    EXPECT_EQ(peer.requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, Commands, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, FilterSetReadsTheFilterTextFromAFile)
{
    TempFile file("C1$A1$$$\n");
    ProcessResult result = tervane({"filter", "set", "cn=s", "--file", file.path()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(rendered(peer.requests()[0]), "'cn=s', {{'C1', {'A1'}}}");
}

TEST_F(CliTest, ConnectionOptionsMayFollowTheCommandWords)
{
    peer.reply(testpeer::Reply::with_value(d::integer(9)));
    ProcessResult result = run({"partition", "count", "o=x", "-H", peer.uri(), "-x", "-o", "json"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(Json::parse(result.out), Json::parse(R"({"result":0,"dn":"o=x","entries":9})"));
}

TEST_F(CliTest, UriComesFromLdapConfWithoutH)
{
    TempFile conf("URI " + peer.uri() + "\n");
    ProcessOptions options;
    options.environment = {{"LDAPNOINIT", std::nullopt}, {"LDAPCONF", conf.path()}, {"LDAPRC", "/nonexistent"}};
    ProcessResult result = run({"-x", "refresh"}, options);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(sent_names(), std::vector<std::string>{ADMIN_OID(9)});
}

TEST_F(CliTest, BindUsesTheDnAndPasswordFromEachSource)
{
    TempFile password("from file\n");
    using Bind = std::pair<std::string, std::string>;
    // -y takes the file whole, its line end included, as OpenLDAP's tools do.
    EXPECT_EQ(run({"-H", peer.uri(), "-x", "-D", "cn=a", "-y", password.path(), "refresh"}).exit_code, 0);
    EXPECT_EQ(run({"-H", peer.uri(), "-x", "-D", "cn=b", "-w", "given", "refresh"}).exit_code, 0);
    EXPECT_EQ(run({"-H", peer.uri(), "-x", "refresh"}).exit_code, 0);
    EXPECT_EQ(peer.binds(), (std::vector<Bind>{{"cn=a", "from file\n"}, {"cn=b", "given"}, {"", ""}}));
    // A password file others may read draws a warning, as with ldap-utils.
    ::chmod(password.path().c_str(), 0644);
    ProcessResult shared = run({"-H", peer.uri(), "-x", "-D", "cn=a", "-y", password.path(), "refresh"});
    EXPECT_NE(shared.err.find("password file " + password.path() + " is readable or writable by others"),
              std::string::npos)
        << shared.err;
    ::chmod(password.path().c_str(), 0600);
    EXPECT_EQ(run({"-H", peer.uri(), "-x", "-D", "cn=a", "-y", password.path(), "refresh"}).err, "");
}

TEST_F(CliTest, PromptedPasswordIsReadFromTheTerminalWithoutEcho)
{
    ProcessOptions options;
    options.controlling_terminal = true;
    Process process(std::vector<std::string>{"-H", peer.uri(), "-x", "-D", "cn=admin", "-W", "refresh"}, options);
    ASSERT_TRUE(process.wait_for_error("Enter LDAP Password: "));
    process.type("typed\n");
    ProcessResult result = process.finish();
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err.find("typed"), std::string::npos) << result.err;
    EXPECT_EQ(peer.binds(), (std::vector<std::pair<std::string, std::string>>{{"cn=admin", "typed"}}));
}

TEST_F(CliTest, VerboseShowsTheConnectionSteps)
{
    ProcessResult result = tervane({"-v", "refresh"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "ldap_initialize( " + peer.uri() + " )\n");
}

TEST_F(CliTest, DryRunContactsNoServer)
{
    ProcessResult result = tervane({"-n", "-o", "json", "partition", "split", "o=x", "--flags", "2"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(Json::parse(result.out), Json::parse(R"({"result":0,"would_send":"partition split","arguments":["o=x"],)"
                                                   R"("options":{"flags":"2"},"uri":")" + peer.uri() +
                                                   R"(","bind_dn":"cn=admin"})"));
    EXPECT_TRUE(peer.requests().empty());
}

TEST_F(CliTest, HelpForEachLevelGoesToStandardOutput)
{
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"--help"}, {"replica", "--help"}, {"replica", "add", "--help"}}) {
        ProcessResult result = run(arguments);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_NE(result.out.find("usage"), std::string::npos) << result.out;
        EXPECT_EQ(result.err, "");
    }
    ProcessResult add = run({"replica", "add", "--help"});
    EXPECT_NE(add.out.find("--type N"), std::string::npos) << add.out;
    EXPECT_NE(add.out.find("-ZZ"), std::string::npos) << add.out;
}

}  // namespace
}  // namespace clitest
