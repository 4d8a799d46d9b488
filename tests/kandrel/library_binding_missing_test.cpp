// The component built to load a client library file that does not exist.
#include <gtest/gtest.h>

#include "debug_log.h"
#include "kandrel_test_support.h"
#include "library_binding.h"

namespace {

namespace library = kandrel::library;
using library::Entry;

TEST(MissingLibrary, ConnectFailsQuietlyAndLeavesEverySlotOnItsFallback)
{
    kandrel_test::ScopedDirectory directory;
    EXPECT_FALSE(library::load());
    EXPECT_FALSE(library::loaded());
    for (std::size_t i = 0; i < library::kEntryCount; ++i) {
        EXPECT_TRUE(library::is_fallback(static_cast<Entry>(i))) << library::kEntries[i].name;
    }
    EXPECT_EQ(library::call<Entry::ldap_init>("localhost", 389), nullptr);
    EXPECT_FALSE(directory.log_exists()) << "nothing is logged while $debug is off";
    kandrel::log::set_enabled(true);
    EXPECT_EQ(library::call<Entry::ldap_search_ext_s>(nullptr, "", 0, "", nullptr, 0, nullptr,
                                                      nullptr, nullptr, 0, nullptr),
              0);
    EXPECT_EQ(directory.log_text(), "Failed to find function ldap_search_ext_sFail\n");
    kandrel::log::set_enabled(false);
}

TEST(MissingLibrary, EveryConnectTriesTheFileAgain)
{
    const unsigned loads = library::load_count();
    library::load();
    library::load();
    EXPECT_EQ(library::load_count(), loads + 2);
}

TEST(MissingLibrary, APlugInWithoutItsLibraryStillAnswersTheHostAndRunsCollections)
{
    testhost::Component component(KANDREL_ABSENT_PLUGIN_PATH);
    ASSERT_TRUE(component.loaded());
    testhost::TestHost host(component);
    EXPECT_EQ(host.connect(), 525);
    const HostLParam instance = kandrel_test::fresh_instance();
    EXPECT_EQ(host.create(instance), 1);
    const testhost::Reply reply = host.call(instance, kandrel_test::kGetAtt,
                                            {testhost::Arg::utf8("a: 1\r"), testhost::Arg::utf8("a")});
    EXPECT_EQ(reply.answer, 1);
    EXPECT_TRUE(reply.result->is_text("1"));
    EXPECT_EQ(host.destroy(instance), 0);
    EXPECT_EQ(host.disconnect(), 1);
}

}  // namespace
