// The debug log: written only while $debug is on, one whole line per event,
// never past the line area.
#include <gtest/gtest.h>

#include "debug_log.h"
#include "kandrel_test_support.h"

namespace {

using kandrel_test::ScopedDirectory;
namespace log = kandrel::log;

class DebugLog : public ::testing::Test {
protected:
    void TearDown() override { log::set_enabled(false); }
    ScopedDirectory directory_;
};

TEST_F(DebugLog, NothingIsWrittenWhileDebugIsOff)
{
    log::write(log::kSessionInitialized);
    log::write(log::kBadReference, "MESS:", "ENTY:1");
    EXPECT_FALSE(directory_.log_exists());
}

TEST_F(DebugLog, LinesAreAppendedInOrderEachWithALineEnd)
{
    log::set_enabled(true);
    log::write(log::kSessionInitialized);
    log::write(log::kBindFailed, "Can't contact LDAP server");
    EXPECT_EQ(directory_.log_text(),
              "    LDAP session initialized\nldap_simple_bind_s: Can't contact LDAP server\n");
}

TEST_F(DebugLog, PerCentSignsAreWrittenLiterally)
{
    log::set_enabled(true);
    log::write("100% done %d");
    log::write(log::kBadReference, "MESS:", "%s%n%x");
    EXPECT_EQ(directory_.log_text(),
              "100% done %d\nBad pointer type. Required MESS: but passed %s%n%x.\n");
}

TEST_F(DebugLog, LongLinesAreCutAtTheLineArea)
{
    log::set_enabled(true);
    const std::string passed = "ENTY:" + std::string(5000, 'a');
    log::write(log::kBadReference, "MESS:", passed.c_str());
    const std::string text = directory_.log_text();
    ASSERT_EQ(text.size(), log::kLineArea);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.rfind("Bad pointer type. Required MESS: but passed ENTY:aaa", 0), 0u);
}

TEST_F(DebugLog, AnUnwritableDirectoryLosesTheLineQuietly)
{
    log::set_enabled(true);
    std::filesystem::create_directory(directory_.path() / "ldap.log");
    log::write(log::kSessionInitialized);
    EXPECT_TRUE(std::filesystem::is_directory(directory_.path() / "ldap.log"));
}

}  // namespace
