// The component built to load a library that exports every entry point but
// ldap_count_entries.
#include <gtest/gtest.h>

#include "debug_log.h"
#include "kandrel_test_support.h"
#include "library_binding.h"

namespace {

namespace library = kandrel::library;
using library::Entry;

class PartialLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library::load()); }
    void TearDown() override
    {
        library::release();
        kandrel::log::set_enabled(false);
    }
    kandrel_test::ScopedDirectory directory_;
};

TEST_F(PartialLibrary, OnlyTheMissingEntryPointFallsBack)
{
    for (std::size_t i = 0; i < library::kEntryCount; ++i) {
        const auto entry = static_cast<Entry>(i);
        EXPECT_EQ(library::is_fallback(entry), entry == Entry::ldap_count_entries)
            << library::kEntries[i].name;
    }
}

TEST_F(PartialLibrary, TheMissingEntryPointAnswersZeroAndNamesItselfInTheLog)
{
    int message_stand_in = 0;
    auto* message = reinterpret_cast<LDAPMessage*>(&message_stand_in);
    EXPECT_EQ(library::call<Entry::ldap_count_entries>(nullptr, message), 0);
    EXPECT_FALSE(directory_.log_exists());
    kandrel::log::set_enabled(true);
    EXPECT_EQ(library::call<Entry::ldap_count_entries>(nullptr, message), 0);
    EXPECT_EQ(directory_.log_text(), "Failed to find function ldap_count_entriesFail\n");
    // The entry points the library has reach it.
    EXPECT_EQ(library::call<Entry::ldap_count_messages>(nullptr, message), 3);
    EXPECT_EQ(library::call<Entry::ldap_count_references>(nullptr, message), 2);
    EXPECT_EQ(library::call<Entry::ldap_msgid>(message), 7);
    EXPECT_NE(library::call<Entry::ldap_init>("host", 389), nullptr);
    EXPECT_EQ(directory_.log_text(), "Failed to find function ldap_count_entriesFail\n");
}

TEST_F(PartialLibrary, CodesComeBackInTheHostNumberingAndGoBackForTheirText)
{
    EXPECT_EQ(library::call<Entry::ldap_simple_bind_s>(nullptr, "", ""), 81);
    EXPECT_EQ(library::call<Entry::ldap_modify_ext_s>(nullptr, "", nullptr, nullptr, nullptr), 82);
    LDAPControl* control = nullptr;
    EXPECT_EQ(library::call<Entry::ldap_create_persistentsearch_control>(nullptr, 1, 0, 0, 0, &control), 92);
    int id = 0;
    EXPECT_EQ(library::call<Entry::ldap_search_ext>(nullptr, "", 0, "", nullptr, 0, nullptr, nullptr,
                                                    nullptr, 0, &id),
              97);
    EXPECT_EQ(id, 9);
    // Outside the client-side range codes pass unchanged.
    EXPECT_EQ(library::call<Entry::ldap_delete_ext_s>(nullptr, "", nullptr, nullptr), 32);
    EXPECT_EQ(library::call<Entry::ldap_add_ext_s>(nullptr, "", nullptr, nullptr, nullptr), 68);
    LDAPMessage* result = nullptr;
    EXPECT_EQ(library::call<Entry::ldap_search_ext_s>(nullptr, "", 0, "", nullptr, 0, nullptr,
                                                      nullptr, nullptr, 0, &result),
              -18);
    // The option calls' -1 is their own refusal, not a client-side code.
    EXPECT_EQ(library::call<Entry::ldap_set_option>(nullptr, 17, nullptr), -1);
    EXPECT_EQ(library::call<Entry::ldap_get_option>(nullptr, 17, nullptr), -1);
    // ldap_result answers a message type or -1, not a result code.
    EXPECT_EQ(library::call<Entry::ldap_result>(nullptr, 1, 1, nullptr, &result), -1);
    EXPECT_STREQ(library::call<Entry::ldap_err2string>(81), "library code -1");
    EXPECT_STREQ(library::call<Entry::ldap_err2string>(97), "library code -17");
    EXPECT_STREQ(library::call<Entry::ldap_err2string>(32), "library code 32");
}

}  // namespace
