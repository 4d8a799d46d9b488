// Binding the real client library: every slot bound after connect, every slot
// on its fallback after disconnect, no second load, and result codes handed
// on in the host's numbering.
#include <gtest/gtest.h>

#include <cstring>

#include "debug_log.h"
#include "kandrel_test_support.h"
#include "library_binding.h"
#include "session.h"

namespace {

using kandrel_test::ScopedDirectory;
namespace library = kandrel::library;
using library::Entry;

bool every_slot_is_fallback()
{
    for (std::size_t i = 0; i < library::kEntryCount; ++i) {
        if (!library::is_fallback(static_cast<Entry>(i))) {
            return false;
        }
    }
    return true;
}

class LibraryBinding : public ::testing::Test {
protected:
    void TearDown() override
    {
        library::release();
        kandrel::log::set_enabled(false);
    }
};

TEST_F(LibraryBinding, EverySlotStartsOnItsFallback)
{
    library::release();
    EXPECT_FALSE(library::loaded());
    EXPECT_TRUE(every_slot_is_fallback());
}

TEST_F(LibraryBinding, ConnectBindsEverySlotAndASecondConnectDoesNotReload)
{
    const unsigned loads = library::load_count();
    ASSERT_TRUE(library::load());
    for (std::size_t i = 0; i < library::kEntryCount; ++i) {
        EXPECT_FALSE(library::is_fallback(static_cast<Entry>(i))) << library::kEntries[i].name;
    }
    EXPECT_TRUE(library::load());
    EXPECT_EQ(library::load_count(), loads + 1);
}

TEST_F(LibraryBinding, AfterDisconnectEveryCallReachesAFallback)
{
    ScopedDirectory directory;
    ASSERT_TRUE(library::load());
    library::release();
    EXPECT_FALSE(library::loaded());
    EXPECT_TRUE(every_slot_is_fallback());
    kandrel::log::set_enabled(true);
    EXPECT_EQ(library::call<Entry::ldap_init>("localhost", 389), nullptr);
    EXPECT_EQ(library::call<Entry::ldap_count_messages>(nullptr, nullptr), 0);
    library::call<Entry::ldap_memfree>(nullptr);
    EXPECT_EQ(directory.log_text(),
              "Failed to find function ldap_initFail\n"
              "Failed to find function ldap_count_messagesFail\n"
              "Failed to find function ldap_memfreeFail\n");
    // Connecting again loads the file again.
    const unsigned loads = library::load_count();
    EXPECT_TRUE(library::load());
    EXPECT_EQ(library::load_count(), loads + 1);
}

TEST(ResultCodes, ClientSideCodesBecomeTheHostNumbering)
{
    EXPECT_EQ(library::host_code(-1), 81);
    EXPECT_EQ(library::host_code(-2), 82);
    EXPECT_EQ(library::host_code(-17), 97);
    EXPECT_EQ(library::host_code(-18), -18);
    EXPECT_EQ(library::host_code(0), 0);
    EXPECT_EQ(library::host_code(32), 32);
    EXPECT_EQ(library::host_code(80), 80);
    for (int n = 1; n <= 17; ++n) {
        EXPECT_EQ(library::library_code(library::host_code(-n)), -n);
    }
    EXPECT_EQ(library::library_code(80), 80);
    EXPECT_EQ(library::library_code(98), 98);
    EXPECT_EQ(library::library_code(-1), -1);
}

TEST_F(LibraryBinding, ARealFailureArrivesAsServerDownAndItsTextStaysTheLibrarys)
{
    ASSERT_TRUE(library::load());
    LDAP* session = library::call<Entry::ldap_init>("127.0.0.1", 1);
    ASSERT_NE(session, nullptr);
    int version = LDAP_VERSION3;
    EXPECT_EQ(library::call<Entry::ldap_set_option>(session, LDAP_OPT_PROTOCOL_VERSION,
                                                   static_cast<const void*>(&version)),
              0);
    const int code = library::call<Entry::ldap_simple_bind_s>(session, "", "");
    EXPECT_EQ(code, 81) << "the library's -1 is handed on as SERVER_DOWN";
    EXPECT_STREQ(library::call<Entry::ldap_err2string>(code), "Can't contact LDAP server");
    EXPECT_EQ(library::call<Entry::ldap_unbind_s>(session), 0);
}

TEST_F(LibraryBinding, CopiesShareOneSessionThatIsUnboundOnceByTheLastHolder)
{
    ASSERT_TRUE(library::load());
    bool out_of_memory = true;
    kandrel::SessionRef first = kandrel::SessionRef::open("127.0.0.1", 1, out_of_memory);
    ASSERT_TRUE(first);
    EXPECT_FALSE(out_of_memory);
    kandrel::SessionRef second = first;
    kandrel::SessionRef third;
    third = second;
    EXPECT_EQ(first.holders(), 3);
    EXPECT_EQ(first.handle(), third.handle());
    EXPECT_EQ(second.reset(), 0);
    EXPECT_EQ(first.reset(), 0);
    EXPECT_EQ(third.holders(), 1);
    EXPECT_NE(third.handle(), nullptr) << "still usable by the last holder";
    EXPECT_EQ(third.reset(), 0) << "the last holder unbinds";
    EXPECT_FALSE(third);
    EXPECT_EQ(third.reset(), 0);
}

TEST_F(LibraryBinding, ASessionCannotBeOpenedWithoutTheLibrary)
{
    library::release();
    bool out_of_memory = true;
    EXPECT_FALSE(kandrel::SessionRef::open("127.0.0.1", 389, out_of_memory));
    EXPECT_FALSE(out_of_memory) << "the library's failure, not memory";
}

}  // namespace
