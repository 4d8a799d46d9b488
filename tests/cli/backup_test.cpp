// Object backup to a file and restore from it.
#include "cli_fixture.h"

namespace clitest {
namespace {

namespace d = der;
using namespace std::string_literals;

// data_length, state numbers, data, SEQUENCE { count, SET { { size } ... } }
std::string backup_answer(const std::string& data, std::initializer_list<int> sizes)
{
    std::string chunks;
    for (int size : sizes)
        chunks += d::sequence({d::integer(size)});
    return d::concat({d::integer(static_cast<long long>(data.size())), d::integer(12), d::integer(7), d::octets(data),
                      d::sequence({d::integer(static_cast<long long>(sizes.size())), d::element(0x31, chunks)})});
}

const std::string kBackupFile = "tervane-object-backup 1\n"
                                "dn: cn=obj,o=x\n"
                                "extra: \n"
                                "sizes: 2;2;3;\n"
                                "length: 5\n"
                                "state: 12+7\n"
                                "\n"
                                "ab\x00\xff"
                                "e"s;

TEST_F(CliTest, BackupWritesTheObjectAndItsSizeListToTheFile)
{
    TempFile file;
    peer.reply(testpeer::Reply::with_value(backup_answer(std::string("ab\x00\xff" "e", 5), {2, 3})));
    ProcessResult result = tervane({"backup", "cn=obj,o=x", file.path()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0].name, ADMIN_OID(96));
    EXPECT_EQ(rendered(peer.requests()[0]), "'cn=obj,o=x', int 0, int 0, ''");
    EXPECT_EQ(file.content(), kBackupFile);
    EXPECT_EQ(result.out, "dn: cn=obj,o=x\nfile: " + file.path() + "\nlength: 5\nsizes: 2;2;3;\nstate: 12+7\n");
}

TEST_F(CliTest, FailedBackupLeavesAnExistingFileAlone)
{
    TempFile file("an older backup");
    peer.reply(testpeer::Reply::error(32));
    ProcessResult result = tervane({"backup", "cn=obj,o=x", file.path(), "--extra", "x"});
    EXPECT_EQ(result.exit_code, 92);  // no response name: the library's code wins
    EXPECT_EQ(file.content(), "an older backup");
}

TEST_F(CliTest, RestoreSendsTheFilesBytesAndSizes)
{
    TempFile file(kBackupFile);
    ProcessResult result = tervane({"-o", "json", "restore", "CN=obj, o=x", file.path(), "--extra", "e"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0].name, ADMIN_OID(98));
    EXPECT_EQ(rendered(peer.requests()[0]), "'CN=obj, o=x', 'e', int 5, 'ab\\x00\\xffe', {int 2, set{{int 2}, {int 3}}}");
    EXPECT_EQ(Json::parse(result.out)["length"], 5);
    // The object goes back where it came from.
    ProcessResult elsewhere = tervane({"-o", "json", "restore", "cn=copy,o=x", file.path()});
    EXPECT_EQ(elsewhere.exit_code, 89);
    EXPECT_EQ(Json::parse(elsewhere.out)["result"], 89) << elsewhere.out;
    EXPECT_NE(elsewhere.err.find("holds the object cn=obj,o=x, not cn=copy,o=x"), std::string::npos) << elsewhere.err;
    EXPECT_EQ(peer.requests().size(), 1u);
}

struct BadBackup {
    const char* name;
    std::string content;
    const char* message;
};

TEST_F(CliTest, RestoreRefusesFilesThatAreNotBackupsAndSendsNothing)
{
    const BadBackup cases[] = {
        {"empty", "", "the header has no end"},
        {"other_magic", "something else\n\n", "the first line is not"},
        {"no_sizes", "tervane-object-backup 1\nlength: 0\n\n", "no 'sizes' line"},
        {"short_data", "tervane-object-backup 1\nsizes: 1;4;\nlength: 4\n\nabc", "the length says 4 bytes but 3"},
        {"long_data", "tervane-object-backup 1\nsizes: 1;4;\nlength: 2\n\nabc", "the length says 2 bytes but 3"},
        {"bad_length", "tervane-object-backup 1\nsizes: 1;4;\nlength: four\n\nabcd", "the length is not a number"},
        {"bad_sizes", "tervane-object-backup 1\nsizes: one\nlength: 0\n\n", "is not 'count;size;...;'"},
        {"bad_header_line", "tervane-object-backup 1\nsizes\n\n", "is not 'name: value'"},
    };
    for (const BadBackup& bad : cases) {
        TempFile file(bad.content);
        ProcessResult result = tervane({"restore", "o=x", file.path()});
        EXPECT_EQ(result.exit_code, 89) << bad.name;
        EXPECT_NE(result.err.find(bad.message), std::string::npos) << bad.name << ": " << result.err;
    }
    EXPECT_TRUE(peer.requests().empty());
}

}  // namespace
}  // namespace clitest
