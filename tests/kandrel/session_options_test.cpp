// $set_option and $get_option over the whole option table, each value
// checked against what the client library then reports.
#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "directory_test_support.h"
#include "ldap_client.h"

namespace {

using namespace kandrel_test;
using testhost::Arg;

struct RoundTrip {
    const char* name;
    std::int32_t option;
    Arg value;
    // What $get_option writes to Value afterwards: a text, or an integer
    // when text is null.
    const char* text;
    std::int32_t integer;
};

// Failures name the case, not its bytes.
void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

std::string name_of(const ::testing::TestParamInfo<RoundTrip>& info) { return info.param.name; }

class OptionRoundTrip : public DirectoryTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(OptionRoundTrip, WhatIsSetIsWhatTheLibraryReports)
{
    const RoundTrip& trip = GetParam();
    Session session(host_);
    session.open();
    EXPECT_EQ(session.integer(kSetOption, {Arg::integer(trip.option), trip.value}), 0);
    testhost::Reply got = session.call(kGetOption, {Arg::integer(trip.option), Arg::utf8("")});
    EXPECT_EQ(got.result->integer, 0);
    EXPECT_TRUE(got.changed[2]);
    if (trip.text != nullptr) {
        EXPECT_EQ(got.params[2].utf8(), trip.text);
    } else {
        EXPECT_EQ(got.params[2].integer, trip.integer);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryValueForm, OptionRoundTrip,
    ::testing::Values(
        RoundTrip{"Deref", 2, Arg::integer(3), nullptr, 3},
        RoundTrip{"SizeLimit", 3, Arg::integer(5), nullptr, 5},
        RoundTrip{"TimeLimit", 4, Arg::integer(7), nullptr, 7},
        RoundTrip{"ProtocolVersion", 17, Arg::integer(2), nullptr, 2},
        RoundTrip{"DebugLevel", 20481, Arg::integer(0), nullptr, 0},
        // Client-side codes cross in the host's numbering both ways.
        RoundTrip{"ResultCodeInTheHostsNumbering", 49, Arg::integer(81), nullptr, 81},
        RoundTrip{"ResultCode", 49, Arg::integer(32), nullptr, 32},
        RoundTrip{"HostName", 48, Arg::utf8("directory.example.com:1389"), "directory.example.com:1389", 0},
        RoundTrip{"ErrorString", 50, Arg::utf8("a diagnostic, 100%"), "a diagnostic, 100%", 0},
        RoundTrip{"MatchedDn", 51, Arg::utf8("ou=people,dc=example,dc=com"), "ou=people,dc=example,dc=com", 0},
        RoundTrip{"Timeout", 20482, Arg::utf8("tv_sec: 5\rtv_usec: 250\r"), "tv_sec: 5\rtv_usec: 250\r", 0},
        RoundTrip{"TimeoutWithAMissingItem", 20482, Arg::utf8("tv_usec: 9\r"), "tv_sec: 0\rtv_usec: 9\r", 0},
        RoundTrip{"NetworkTimeout", 20485, Arg::utf8("tv_sec: 12\r"), "tv_sec: 12\rtv_usec: 0\r", 0},
        RoundTrip{"ReferralList", 20487, Arg::utf8("ldap://a.example/,,ldap://b.example/"),
                  "ldap://a.example/,ldap://b.example/", 0},
        RoundTrip{"NoServerControls", 18, Arg::utf8(""), "", 0}),
    name_of);

class Options : public DirectoryTest {};

TEST_F(Options, NumbersOutsideEachTableAreRefusedWithoutCallingTheLibrary)
{
    Session session(host_);
    session.open();
    for (const std::int32_t option : {0, 1, 5, 6, 7, 10, 16, 20, 21, 22, 47, 20498, -1, 99999}) {
        EXPECT_EQ(session.integer(kSetOption, {Arg::integer(option), Arg::integer(1)}), -102) << option;
    }
    for (const std::int32_t option : {1, 8, 9, 20, 20498, -1, 99999}) {
        testhost::Reply got = session.call(kGetOption, {Arg::integer(option), Arg::utf8("kept")});
        EXPECT_EQ(got.result->integer, -102) << option;
        EXPECT_FALSE(got.changed[2]) << option;
    }
    // A time-out that cannot be converted is never taken as an empty one.
    EXPECT_EQ(session.integer(kSetOption, {Arg::integer(20482), Arg::text(U"tv_sec: 1\r\xD800")}), -102);
    EXPECT_EQ(session.integer(kSetOption, {Arg::integer(18), Arg::utf8("CTRL:0000ffff")}), -102)
        << "controls that are not alive";
}

TEST_F(Options, ReferralsAndRestartAreSwitchedByTheValueItself)
{
    Session session(host_);
    session.open();
    for (const std::int32_t option : {8, 9}) {
        EXPECT_EQ(session.integer(kSetOption, {Arg::integer(option), Arg::integer(0)}), 0);
        EXPECT_EQ(session.integer(kSetOption, {Arg::integer(option), Arg::integer(5)}), 0);
    }
}

TEST_F(Options, UnsetTimeoutsReadAsTheEmptyValue)
{
    Session session(host_);
    session.open();
    testhost::Reply got = session.call(kGetOption, {Arg::integer(20482), Arg::utf8("old")});
    EXPECT_EQ(got.result->integer, 0);
    EXPECT_TRUE(got.params[2].is_text(""));
}

TEST_F(Options, ApiInfoListsTheLibrarysOwnFactsInOrder)
{
    LDAPAPIInfo info{};
    info.ldapai_info_version = LDAP_API_INFO_VERSION;
    ASSERT_EQ(ldap_get_option(nullptr, LDAP_OPT_API_INFO, &info), LDAP_OPT_SUCCESS);
    std::string expected = collection({{"ldapai_info_version", std::to_string(info.ldapai_info_version)},
                                       {"ldapai_api_version", std::to_string(info.ldapai_api_version)},
                                       {"ldapai_protocol_version", std::to_string(info.ldapai_protocol_version)}});
    for (char** extension = info.ldapai_extensions; extension != nullptr && *extension != nullptr; ++extension) {
        expected += collection({{"ldapai_extensions", *extension}});
    }
    expected += collection({{"ldapai_vendor_name", info.ldapai_vendor_name},
                            {"ldapai_vendor_version", std::to_string(info.ldapai_vendor_version)}});
    ldap_memfree(info.ldapai_vendor_name);
    ldap_value_free(info.ldapai_extensions);

    Session session(host_);
    session.open();
    testhost::Reply got = session.call(kGetOption, {Arg::integer(0), Arg::utf8("")});
    EXPECT_EQ(got.result->integer, 0);
    EXPECT_EQ(got.params[2].utf8(), expected);
}

TEST_F(Options, FeatureInfoCompletesTheCollectionTheHostPassed)
{
    LDAPAPIFeatureInfo feature{};
    feature.ldapaif_info_version = LDAP_FEATURE_INFO_VERSION;
    feature.ldapaif_name = const_cast<char*>("THREAD_SAFE");
    ASSERT_EQ(ldap_get_option(nullptr, LDAP_OPT_API_FEATURE_INFO, &feature), LDAP_OPT_SUCCESS);

    Session session(host_);
    session.open();
    testhost::Reply got = session.call(
        kGetOption, {Arg::integer(21), Arg::utf8("note: kept\rldapaif_name: THREAD_SAFE\rldapaif_version: 99\r")});
    EXPECT_EQ(got.result->integer, 0);
    EXPECT_EQ(got.params[2].utf8(),
              collection({{"note", "kept"},
                          {"ldapaif_name", "THREAD_SAFE"},
                          {"ldapaif_version", std::to_string(feature.ldapaif_version)},
                          {"ldapaif_info_version", std::to_string(LDAP_FEATURE_INFO_VERSION)}}));

    got = session.call(kGetOption, {Arg::integer(21), Arg::utf8("ldapaif_name: NO_SUCH_FEATURE\r")});
    EXPECT_EQ(got.result->integer, -1) << "the library's own refusal";

    for (const char* without_name : {"", "other: x\r", "ldapaif_name:\r"}) {
        got = session.call(kGetOption, {Arg::integer(21), Arg::utf8(without_name)});
        EXPECT_EQ(got.result->integer, -102) << without_name;
        EXPECT_TRUE(got.params[2].is_text("Invalid feature name")) << without_name;
    }
}

TEST_F(Options, ControlListsCrossAsReferencesTheHostFrees)
{
    Session session(host_);
    session.open();
    testhost::Reply made = session.call(
        kCreatePersistentSearch, {Arg::integer(15), Arg::boolean(true), Arg::boolean(true),
                                  Arg::boolean(false), Arg::utf8("")});
    ASSERT_EQ(made.result->integer, 0);
    const std::string control = made.params[5].utf8();
    for (const std::int32_t option : {18, 19}) {
        EXPECT_EQ(session.integer(kSetOption, {Arg::integer(option), Arg::utf8(control)}), 0);
        testhost::Reply got = session.call(kGetOption, {Arg::integer(option), Arg::utf8("")});
        EXPECT_EQ(got.result->integer, 0);
        const std::string list = got.params[2].utf8();
        ASSERT_EQ(list.substr(0, 5), "CTRL:");
        EXPECT_NE(list, control) << "the library's copy is a list of its own";
        EXPECT_EQ(session.free(list), 0);
        EXPECT_EQ(session.integer(kSetOption, {Arg::integer(option), Arg::utf8("")}), 0);
        got = session.call(kGetOption, {Arg::integer(option), Arg::utf8("x")});
        EXPECT_TRUE(got.params[2].is_text(""));
    }
    EXPECT_EQ(session.free(control), 0);
    EXPECT_EQ(session.free(control), -102) << "freed once only";
}

}  // namespace
