// The tables the component announces: library name, constant prefix, class,
// property, method and constant tables, and the strings behind them.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "host_tables.h"
#include "kandrel_test_support.h"
#include "ldap_client.h"
#include "resource_strings.h"

namespace {

using kandrel_test::HostTest;
using kandrel_test::InProcessRequest;
using testhost::Snapshot;

class Tables : public HostTest {};

std::string cell_text(const Snapshot& cell) { return cell.utf8(); }

TEST_F(Tables, LibraryNameAndConstantPrefixAreReturnItems)
{
    testhost::Reply name = host_.message(HOSTMSG_LIBRARY_NAME);
    EXPECT_EQ(name.answer, 0);
    ASSERT_TRUE(name.result);
    EXPECT_TRUE(name.result->is_text("LDAP"));
    EXPECT_EQ(name.component_items, 1u);
    EXPECT_EQ(name.left_after_release, 0u);
    testhost::Reply prefix = host_.message(HOSTMSG_CONSTANT_PREFIX);
    EXPECT_EQ(prefix.answer, 1);
    ASSERT_TRUE(prefix.result);
    EXPECT_TRUE(prefix.result->is_text("kLDAP_"));
}

TEST_F(Tables, ClassTableHasTheOneSessionClass)
{
    testhost::Reply reply = host_.message(HOSTMSG_CLASS_TABLE, 0);
    EXPECT_EQ(reply.answer, 1);
    ASSERT_TRUE(reply.result);
    ASSERT_EQ(reply.result->type, HOST_TYPE_LIST);
    ASSERT_EQ(reply.result->rows.size(), 1u);
    const auto& row = reply.result->rows[0];
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[0].integer, 1001);
    EXPECT_EQ(cell_text(row[1]), "LDAPSession:LDAP Session Object");
    EXPECT_EQ(row[2].integer, 0);
    EXPECT_TRUE(row[3].is_text(""));
}

TEST_F(Tables, PropertyTableMarksOnlySessionReadOnly)
{
    testhost::Reply reply = host_.message(HOSTMSG_PROPERTY_TABLE);
    EXPECT_EQ(reply.answer, 1);
    ASSERT_TRUE(reply.result);
    const auto& rows = reply.result->rows;
    ASSERT_EQ(rows.size(), 3u);
    const int ids[] = {2100, 2101, 2102};
    const int flags[] = {1024, 0, 0};
    const char* names[] = {"$session:", "$utf8:", "$debug:"};
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(rows[i].size(), 7u);
        EXPECT_EQ(rows[i][0].integer, ids[i]);
        EXPECT_EQ(cell_text(rows[i][1]).rfind(names[i], 0), 0u) << cell_text(rows[i][1]);
        EXPECT_EQ(rows[i][2].integer, HOST_TYPE_BOOLEAN);
        EXPECT_EQ(rows[i][3].integer, flags[i]);
        EXPECT_EQ(rows[i][4].integer + rows[i][5].integer + rows[i][6].integer, 0);
    }
}

TEST_F(Tables, MethodTableHas35RowsInIdOrderWithTheirParameters)
{
    testhost::Reply reply = host_.message(HOSTMSG_METHOD_TABLE);
    EXPECT_EQ(reply.answer, 1);
    ASSERT_TRUE(reply.result);
    const auto& rows = reply.result->rows;
    ASSERT_EQ(rows.size(), 35u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 6u);
        EXPECT_EQ(rows[i][0].integer, 2000 + static_cast<int>(i));
        const std::string name = cell_text(rows[i][1]);
        const std::string method = name.substr(0, name.find(':'));
        EXPECT_EQ(method[0], '$');
        EXPECT_NE(name.find(method + "("), std::string::npos) << "help names its method: " << name;
        EXPECT_EQ(rows[i][5].type, HOST_TYPE_LIST);
    }
    EXPECT_EQ(cell_text(rows[1][1]), "$init:$init(Host,Port) opens the specified port on the host.");

    // $search_ext: eight parameters, the last six optional.
    const auto& search = rows[18][5].rows;
    ASSERT_EQ(search.size(), 8u);
    const char* names[] = {"Base", "Scope", "Filter", "Attrs", "AttrsOnly", "ServerControls",
                           "ClientControls", "Timeout"};
    for (std::size_t p = 0; p < search.size(); ++p) {
        EXPECT_EQ(cell_text(search[p][0]), names[p]);
        EXPECT_EQ(search[p][2].integer, p < 2 ? 0 : HOST_PARAM_OPTIONAL);
    }
    // $get_option writes its Value back; $get_values_len answers binary.
    EXPECT_EQ(rows[4][5].rows[1][2].integer, HOST_PARAM_REFERENCE);
    EXPECT_EQ(rows[4][5].rows[1][1].integer, HOST_TYPE_ANY);
    EXPECT_EQ(rows[25][2].integer, HOST_TYPE_BINARY);
    EXPECT_EQ(rows[0][5].rows.size(), 0u);
    // The two "Value" parameters are different strings with the same text.
    EXPECT_EQ(cell_text(rows[31][5].rows[2][0]), "Value");
    EXPECT_EQ(cell_text(rows[34][5].rows[2][0]), "Index");
}

TEST_F(Tables, EveryParameterHasItsTypeAndItsOptionalAndByReferenceFlags)
{
    const std::int32_t C = HOST_TYPE_CHARACTER, I = HOST_TYPE_INTEGER, B = HOST_TYPE_BOOLEAN, A = HOST_TYPE_ANY;
    const std::int32_t O = HOST_PARAM_OPTIONAL, R = HOST_PARAM_REFERENCE;
    struct Parameter {
        std::int32_t type;
        std::int32_t flags;
    };
    // Methods 2000 to 2034, their parameters in order.
    const std::vector<std::vector<Parameter>> expected = {
        {}, {{C, 0}, {I, 0}}, {}, {{I, 0}, {A, 0}}, {{I, 0}, {A, R}}, {{C, O}, {C, O}},
        {{C, 0}, {C, 0}, {C, 0}, {C, 0}}, {{C, 0}, {C, 0}, {C, 0}, {C, 0}}, {{C, 0}, {C, 0}, {C, 0}},
        {{C, 0}}, {{C, 0}}, {{C, 0}}, {{C, 0}}, {{C, 0}}, {{C, 0}}, {{C, 0}},
        {{C, 0}, {I, R}, {C, R}, {C, R}, {C, R}, {C, R}, {B, 0}},
        {{C, 0}, {C, 0}, {C, R}, {B, 0}},
        {{C, 0}, {I, 0}, {C, O}, {C, O}, {B, O}, {C, O}, {C, O}, {I, O}},
        {{C, 0}, {I, 0}, {C, O}, {C, O}, {B, O}, {C, O}, {C, O}, {I, O}},
        {{C, 0}}, {{C, 0}}, {{C, 0}}, {{C, 0}, {C, R}}, {{C, 0}, {C, 0}}, {{C, 0}, {C, 0}},
        {{C, 0}, {C, 0}}, {{C, 0}, {C, O}, {C, O}}, {{C, 0}}, {{I, 0}, {I, 0}, {I, O}},
        {{I, 0}, {B, 0}, {B, 0}, {B, 0}, {C, R}}, {{C, 0}, {C, 0}, {C, 0}}, {{C, 0}, {C, 0}, {C, 0}},
        {{C, 0}, {C, 0}}, {{C, 0}, {C, 0}, {C, 0}},
    };
    testhost::Reply reply = host_.message(HOSTMSG_METHOD_TABLE);
    ASSERT_EQ(reply.result->rows.size(), expected.size());
    for (std::size_t m = 0; m < expected.size(); ++m) {
        const auto& parameters = reply.result->rows[m][5].rows;
        ASSERT_EQ(parameters.size(), expected[m].size()) << 2000 + m;
        for (std::size_t p = 0; p < parameters.size(); ++p) {
            EXPECT_EQ(parameters[p][1].integer, expected[m][p].type) << 2000 + m << " parameter " << p + 1;
            EXPECT_EQ(parameters[p][2].integer, expected[m][p].flags) << 2000 + m << " parameter " << p + 1;
            EXPECT_EQ(parameters[p][3].integer, 0);
        }
    }
}

TEST_F(Tables, ConstantValuesAgreeWithTheClientLibrarysOwnNumbers)
{
    // The library's macros where it has one. Client-side result codes are
    // negative in the library and 80 + n in the table.
    const std::map<std::string, int> library = {
        {"SUCCESS", LDAP_SUCCESS}, {"OPERATIONS_ERROR", LDAP_OPERATIONS_ERROR},
        {"PROTOCOL_ERROR", LDAP_PROTOCOL_ERROR}, {"TIMELIMIT_EXCEEDED", LDAP_TIMELIMIT_EXCEEDED},
        {"SIZELIMIT_EXCEEDED", LDAP_SIZELIMIT_EXCEEDED}, {"COMPARE_FALSE", LDAP_COMPARE_FALSE},
        {"COMPARE_TRUE", LDAP_COMPARE_TRUE}, {"STRONG_AUTH_NOT_SUPPORTED", LDAP_STRONG_AUTH_NOT_SUPPORTED},
        {"STRONG_AUTH_REQUIRED", LDAP_STRONG_AUTH_REQUIRED}, {"REFERRAL", LDAP_REFERRAL},
        {"ADMINLIMIT_EXCEEDED", LDAP_ADMINLIMIT_EXCEEDED},
        {"UNAVAILABLE_CRITICAL_EXTENSION", LDAP_UNAVAILABLE_CRITICAL_EXTENSION},
        {"CONFIDENTIALITY_REQUIRED", LDAP_CONFIDENTIALITY_REQUIRED},
        {"SASL_BIND_IN_PROGRESS", LDAP_SASL_BIND_IN_PROGRESS}, {"NO_SUCH_ATTRIBUTE", LDAP_NO_SUCH_ATTRIBUTE},
        {"UNDEFINED_TYPE", LDAP_UNDEFINED_TYPE}, {"INAPPROPRIATE_MATCHING", LDAP_INAPPROPRIATE_MATCHING},
        {"CONSTRAINT_VIOLATION", LDAP_CONSTRAINT_VIOLATION}, {"TYPE_OR_VALUE_EXISTS", LDAP_TYPE_OR_VALUE_EXISTS},
        {"INVALID_SYNTAX", LDAP_INVALID_SYNTAX}, {"NO_SUCH_OBJECT", LDAP_NO_SUCH_OBJECT},
        {"ALIAS_PROBLEM", LDAP_ALIAS_PROBLEM}, {"INVALID_DN_SYNTAX", LDAP_INVALID_DN_SYNTAX},
        {"IS_LEAF", LDAP_IS_LEAF}, {"ALIAS_DEREF_PROBLEM", LDAP_ALIAS_DEREF_PROBLEM},
        {"INAPPROPRIATE_AUTH", LDAP_INAPPROPRIATE_AUTH}, {"INVALID_CREDENTIALS", LDAP_INVALID_CREDENTIALS},
        {"INSUFFICIENT_ACCESS", LDAP_INSUFFICIENT_ACCESS}, {"BUSY", LDAP_BUSY}, {"UNAVAILABLE", LDAP_UNAVAILABLE},
        {"UNWILLING_TO_PERFORM", LDAP_UNWILLING_TO_PERFORM}, {"LOOP_DETECT", LDAP_LOOP_DETECT},
        {"SORT_CONTROL_MISSING", 60}, {"INDEX_RANGE_ERROR", 61}, {"NAMING_VIOLATION", LDAP_NAMING_VIOLATION},
        {"OBJECT_CLASS_VIOLATION", LDAP_OBJECT_CLASS_VIOLATION},
        {"NOT_ALLOWED_ON_NONLEAF", LDAP_NOT_ALLOWED_ON_NONLEAF}, {"NOT_ALLOWED_ON_RDN", LDAP_NOT_ALLOWED_ON_RDN},
        {"ALREADY_EXISTS", LDAP_ALREADY_EXISTS}, {"NO_OBJECT_CLASS_MODS", LDAP_NO_OBJECT_CLASS_MODS},
        {"RESULTS_TOO_LARGE", LDAP_RESULTS_TOO_LARGE}, {"AFFECTS_MULTIPLE_DSAS", LDAP_AFFECTS_MULTIPLE_DSAS},
        {"OTHER", LDAP_OTHER}, {"SERVER_DOWN", 80 - LDAP_SERVER_DOWN}, {"LOCAL_ERROR", 80 - LDAP_LOCAL_ERROR},
        {"ENCODING_ERROR", 80 - LDAP_ENCODING_ERROR}, {"DECODING_ERROR", 80 - LDAP_DECODING_ERROR},
        {"TIMEOUT", 80 - LDAP_TIMEOUT}, {"AUTH_UNKNOWN", 80 - LDAP_AUTH_UNKNOWN},
        {"FILTER_ERROR", 80 - LDAP_FILTER_ERROR}, {"USER_CANCELLED", 80 - LDAP_USER_CANCELLED},
        {"PARAM_ERROR", 80 - LDAP_PARAM_ERROR}, {"NO_MEMORY", 80 - LDAP_NO_MEMORY},
        {"CONNECT_ERROR", 80 - LDAP_CONNECT_ERROR}, {"NOT_SUPPORTED", 80 - LDAP_NOT_SUPPORTED},
        {"CONTROL_NOT_FOUND", 80 - LDAP_CONTROL_NOT_FOUND}, {"NO_RESULTS_RETURNED", 80 - LDAP_NO_RESULTS_RETURNED},
        {"MORE_RESULTS_TO_RETURN", 80 - LDAP_MORE_RESULTS_TO_RETURN}, {"CLIENT_LOOP", 80 - LDAP_CLIENT_LOOP},
        {"REFERRAL_LIMIT_EXCEEDED", 80 - LDAP_REFERRAL_LIMIT_EXCEEDED},
        {"OPT_API_INFO", LDAP_OPT_API_INFO}, {"OPT_DEREF", LDAP_OPT_DEREF}, {"OPT_SIZELIMIT", LDAP_OPT_SIZELIMIT},
        {"OPT_TIMELIMIT", LDAP_OPT_TIMELIMIT}, {"OPT_REFERRALS", LDAP_OPT_REFERRALS},
        {"OPT_RESTART", LDAP_OPT_RESTART}, {"OPT_PROTOCOL_VERSION", LDAP_OPT_PROTOCOL_VERSION},
        {"OPT_SERVER_CONTROLS", LDAP_OPT_SERVER_CONTROLS}, {"OPT_CLIENT_CONTROLS", LDAP_OPT_CLIENT_CONTROLS},
        {"OPT_API_FEATURE_INFO", LDAP_OPT_API_FEATURE_INFO}, {"OPT_HOST_NAME", LDAP_OPT_HOST_NAME},
        {"OPT_RESULT_CODE", LDAP_OPT_RESULT_CODE}, {"OPT_ERROR_NUMBER", LDAP_OPT_ERROR_NUMBER},
        {"OPT_ERROR_STRING", LDAP_OPT_ERROR_STRING}, {"OPT_MATCHED_DN", LDAP_OPT_MATCHED_DN},
        {"OPT_DEBUG_LEVEL", LDAP_OPT_DEBUG_LEVEL}, {"OPT_TIMEOUT", LDAP_OPT_TIMEOUT},
        {"OPT_NETWORK_TIMEOUT", LDAP_OPT_NETWORK_TIMEOUT}, {"OPT_REFERRAL_LIST", LDAP_OPT_REFERRAL_URLS},
        {"OPT_SESSION_REFCNT", LDAP_OPT_SESSION_REFCNT},
        {"SCOPE_DEFAULT", LDAP_SCOPE_DEFAULT}, {"SCOPE_BASE", LDAP_SCOPE_BASE},
        {"SCOPE_ONELEVEL", LDAP_SCOPE_ONELEVEL}, {"SCOPE_SUBTREE", LDAP_SCOPE_SUBTREE},
        {"MSG_ONE", LDAP_MSG_ONE}, {"MSG_ALL", LDAP_MSG_ALL}, {"MSG_RECEIVED", LDAP_MSG_RECEIVED},
        {"RES_ANY", LDAP_RES_ANY},
        {"ADD", LDAP_CONTROL_PERSIST_ENTRY_CHANGE_ADD}, {"DELETE", LDAP_CONTROL_PERSIST_ENTRY_CHANGE_DELETE},
        {"MODIFY", LDAP_CONTROL_PERSIST_ENTRY_CHANGE_MODIFY}, {"MODDN", LDAP_CONTROL_PERSIST_ENTRY_CHANGE_RENAME},
        {"ANY", 15},
    };
    testhost::Reply reply = host_.message(HOSTMSG_CONSTANT_TABLE);
    std::size_t checked = 0;
    for (const auto& row : reply.result->rows) {
        std::string text = cell_text(row[1]);
        text = text.substr(text.find('~') == std::string::npos ? 0 : text.find('~') + 1);
        const std::string name = text.substr(0, text.find(':'));
        const std::size_t value_start = name.size() + 1;
        const int value = std::stoi(text.substr(value_start, text.find(':', value_start) - value_start));
        const auto known = library.find(name);
        ASSERT_NE(known, library.end()) << name;
        EXPECT_EQ(value, known->second) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 93u);
}

TEST_F(Tables, ConstantTableHas93WellFormedRows)
{
    testhost::Reply reply = host_.message(HOSTMSG_CONSTANT_TABLE);
    EXPECT_EQ(reply.answer, 1);
    ASSERT_TRUE(reply.result);
    const auto& rows = reply.result->rows;
    ASSERT_EQ(rows.size(), 93u);
    EXPECT_EQ(rows[0][0].integer, 5001);
    EXPECT_EQ(cell_text(rows[0][1]), "Result Codes~SUCCESS:0:LDAP_SUCCESS:operation was successful.");
    std::set<std::string> titles;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0].integer, 5001 + static_cast<int>(i));
        std::string text = cell_text(rows[i][1]);
        if (const std::size_t tilde = text.find('~'); tilde != std::string::npos) {
            titles.insert(text.substr(0, tilde));
            text = text.substr(tilde + 1);
        }
        // NAME:value:C-name, then ":description" except for MSG_RECEIVED.
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t colon = fields.size() < 3 ? text.find(':', start) : std::string::npos;
            fields.push_back(text.substr(start, colon - start));
            if (colon == std::string::npos) {
                break;
            }
            start = colon + 1;
        }
        ASSERT_GE(fields.size(), 3u) << text;
        EXPECT_FALSE(fields[0].empty()) << text;
        EXPECT_EQ(fields[1].find_first_not_of("-0123456789"), std::string::npos) << text;
        const bool type_group = i >= 88;
        EXPECT_EQ(fields[2], type_group ? fields[0] : "LDAP_" + fields[0]) << text;
        const std::string description = fields.size() > 3 ? fields[3] : "";
        const bool empty_description = (i >= 74 && i <= 79) || (i >= 80 && i <= 87);
        EXPECT_EQ(description.empty(), empty_description) << text;
    }
    EXPECT_EQ(titles, (std::set<std::string>{"Result Codes", "Options", "Flags", "Parameter 'Type'"}));
    EXPECT_EQ(cell_text(rows[86][1]), "MSG_RECEIVED:2:LDAP_MSG_RECEIVED");
    EXPECT_EQ(cell_text(rows[72][1]), "OPT_ERROR_NUMBER:49:LDAP_OPT_ERROR_NUMBER:sets/gets the LDAP result code");
    EXPECT_EQ(cell_text(rows[88][1]), "Parameter 'Type'~ADD:1:ADD:used with $create_persistent_search_cont");
    EXPECT_EQ(cell_text(rows[59][1]).rfind("REFERRAL_LIMIT_EXCEEDED:97:", 0), 0u);
}

TEST_F(Tables, OtherClassesGetNoPropertyOrMethodTable)
{
    for (const std::uint32_t message : {HOSTMSG_PROPERTY_TABLE, HOSTMSG_METHOD_TABLE}) {
        testhost::Reply reply = host_.message(message, 1002);
        EXPECT_EQ(reply.answer, 0);
        EXPECT_EQ(reply.component_items, 0u);
    }
}

TEST_F(Tables, RowsGoIntoAListTheHostPassesAsItemZero)
{
    testhost::Reply reply = host_.table_into_list(HOSTMSG_METHOD_TABLE);
    EXPECT_EQ(reply.answer, 1);
    EXPECT_EQ(reply.component_items, 0u);
    ASSERT_TRUE(reply.result);
    EXPECT_EQ(reply.result->rows.size(), 35u);
    reply = host_.table_into_list(HOSTMSG_CONSTANT_TABLE);
    EXPECT_EQ(reply.component_items, 0u);
    EXPECT_EQ(reply.result->rows.size(), 93u);
}

TEST_F(Tables, EnumerationPassesEveryStringOnce)
{
    const std::vector<std::u32string> strings = host_.enumerate_strings();
    EXPECT_EQ(strings.size(), 175u);
    ASSERT_FALSE(strings.empty());
    EXPECT_EQ(strings.front(), U"LDAP");
    EXPECT_EQ(strings.back(), U"LDAPWndProc");
}

TEST(ResourceStrings, LoaderCutsToTheCapacityLessOne)
{
    InProcessRequest request;  // hands the host's services to the component
    HostChar characters[256] = {};
    const std::int32_t count =
        kandrel::resources::load(kandrel::resources::module(), 2016, characters, 80);
    EXPECT_EQ(count, 79);
    HostShortString text{};
    text.capacity = 80;
    kandrel::resources::load(kandrel::resources::module(), 2016, text);
    EXPECT_EQ(text.length, 79);
    EXPECT_EQ(text.text[79], 0u);
    EXPECT_EQ(kandrel::resources::load(nullptr, 2016, characters, 80), 0);
    EXPECT_EQ(kandrel::resources::load(kandrel::resources::module(), 4242, characters, 80), 0);
}

}  // namespace
