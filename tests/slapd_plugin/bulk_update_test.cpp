// The bulk-update stream through Tervane against slapd with the plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "bulk_client.h"
#include "plugin_server.h"

using namespace plugin_test;

namespace {

char* text(const char* literal) { return const_cast<char*>(literal); }

int count_under(const std::string& dn)
{
    Session ld = connect(Who::root);
    int count = -1;
    EXPECT_EQ(ldap_partition_entry_count(ld.get(), text(dn.c_str()), &count), LDAP_SUCCESS);
    return count;
}

void add_container(const std::string& ou)
{
    Session ld = connect(Who::root);
    char* classes[] = {text("organizationalUnit"), nullptr};
    std::string name = ou;
    char* ous[] = {name.data(), nullptr};
    LDAPMod object_class = {LDAP_MOD_ADD, text("objectClass"), {classes}};
    LDAPMod unit = {LDAP_MOD_ADD, text("ou"), {ous}};
    LDAPMod* mods[] = {&object_class, &unit, nullptr};
    std::string dn = "ou=" + ou + "," + kPeople;
    ASSERT_EQ(ldap_add_ext_s(ld.get(), dn.c_str(), mods, nullptr, nullptr), LDAP_SUCCESS);
}

lburp_operation operation(int type, const char* dn, void* specific)
{
    lburp_operation op{};
    op.type = type;
    op.dn = const_cast<char*>(dn);
    op.specific = specific;
    return op;
}

}  // namespace

TEST(BulkUpdate, TenThousandEntriesLoadInBatchesAndAreCounted)
{
    add_container("load");
    const std::string parent = std::string("ou=load,") + kPeople;
    Session ld = connect(Who::root);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    ASSERT_EQ(start_value, 1000);  // the most operations a batch may hold
    for (int batch = 0; batch < 10; ++batch) {
        AddBatch adds(parent, "Load", batch * 1000 + 1, 1000);
        int msgid = send_batch(ld.get(), batch + 1, adds.operations());
        ASSERT_GT(msgid, 0);
        BatchAnswer answer = read_batch_answer(ld.get(), msgid);
        ASSERT_EQ(answer.rc, LDAP_SUCCESS);
        ASSERT_EQ(answer.result_code, LDAP_SUCCESS);
        ASSERT_EQ(answer.results.size(), 1000u);
        for (std::size_t i = 0; i < answer.results.size(); ++i) {
            ASSERT_EQ(answer.results[i].first, static_cast<int>(i + 1));
            ASSERT_EQ(answer.results[i].second, LDAP_SUCCESS) << i;
        }
    }
    EXPECT_EQ(end_stream(ld.get(), 11), LDAP_SUCCESS);
    EXPECT_EQ(count_under(parent), 10001);
}

TEST(BulkUpdate, EachOperationOfABatchHasItsOwnResultInOrder)
{
    add_container("mixed");
    Session ld = connect(Who::root);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    AddBatch adds(std::string("ou=mixed,") + kPeople, "Mixed", 1, 1);
    AddBatch again(std::string("ou=mixed,") + kPeople, "Mixed", 1, 1);
    char* mails[] = {text("renamed@example.com"), nullptr};
    LDAPMod mail = {LDAP_MOD_REPLACE, text("mail"), {mails}};
    LDAPMod* changes[] = {&mail, nullptr};
    lburp_operation modify = operation(LBURP_OP_MODIFY, "cn=Mixed 000001,ou=mixed,ou=people,dc=example,dc=com", changes);
    lburp_operation rename = operation(LBURP_OP_RENAME, "cn=Mixed 000001,ou=mixed,ou=people,dc=example,dc=com",
                                       text("cn=Renamed"));
    lburp_operation remove_missing = operation(LBURP_OP_DELETE, "cn=Nobody,ou=mixed,ou=people,dc=example,dc=com", nullptr);
    lburp_operation remove = operation(LBURP_OP_DELETE, "cn=Renamed,ou=mixed,ou=people,dc=example,dc=com", nullptr);
    lburp_operation* batch[] = {adds.operations()[0], again.operations()[0], &modify, &rename, &remove_missing,
                                &remove, nullptr};
    BatchAnswer answer = read_batch_answer(ld.get(), send_batch(ld.get(), 1, batch));
    ASSERT_EQ(answer.rc, LDAP_SUCCESS);
    std::vector<std::pair<int, int>> expected = {{1, LDAP_SUCCESS}, {2, LDAP_ALREADY_EXISTS}, {3, LDAP_SUCCESS},
                                                 {4, LDAP_SUCCESS}, {5, LDAP_NO_SUCH_OBJECT}, {6, LDAP_SUCCESS}};
    EXPECT_EQ(answer.results, expected);
    EXPECT_EQ(end_stream(ld.get(), 2), LDAP_SUCCESS);
}

TEST(BulkUpdate, ABatchThatArrivesEarlyIsAppliedAfterTheOnesBeforeIt)
{
    add_container("ordered");
    Session ld = connect(Who::root);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    AddBatch adds(std::string("ou=ordered,") + kPeople, "Ordered", 1, 1);
    char* mails[] = {text("second@example.com"), nullptr};
    LDAPMod mail = {LDAP_MOD_REPLACE, text("mail"), {mails}};
    LDAPMod* changes[] = {&mail, nullptr};
    lburp_operation modify = operation(LBURP_OP_MODIFY, "cn=Ordered 000001,ou=ordered,ou=people,dc=example,dc=com",
                                       changes);
    lburp_operation* second[] = {&modify, nullptr};
    // The modification needs the entry that batch 1 adds.
    int second_id = send_batch(ld.get(), 2, second);
    int first_id = send_batch(ld.get(), 1, adds.operations());
    BatchAnswer first = read_batch_answer(ld.get(), first_id);
    BatchAnswer later = read_batch_answer(ld.get(), second_id);
    ASSERT_EQ(first.results.size(), 1u);
    EXPECT_EQ(first.results[0].second, LDAP_SUCCESS);
    ASSERT_EQ(later.results.size(), 1u);
    EXPECT_EQ(later.results[0].second, LDAP_SUCCESS);
    // Batch 1 again: already applied.
    BatchAnswer repeated = read_batch_answer(ld.get(), send_batch(ld.get(), 1, adds.operations()));
    EXPECT_EQ(repeated.result_code, LDAP_PROTOCOL_ERROR);
    EXPECT_EQ(end_stream(ld.get(), 3), LDAP_SUCCESS);
    // The stream is closed.
    BatchAnswer closed = read_batch_answer(ld.get(), send_batch(ld.get(), 3, adds.operations()));
    EXPECT_EQ(closed.result_code, LDAP_PROTOCOL_ERROR);
}

TEST(BulkUpdate, ABatchWaitingForItsTurnLetsSlapdChangeItsConfiguration)
{
    // slapd changes its configuration only once every worker thread is
    // idle or lets it pause; batch 2 holds one while it waits for batch 1.
    add_container("paused");
    const std::string parent = std::string("ou=paused,") + kPeople;
    Session ld = connect(Who::root);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    AddBatch first(parent, "Paused", 1, 1), second(parent, "Paused", 2, 1);
    int waiting = send_batch(ld.get(), 2, second.operations());
    EXPECT_EQ(change_configuration(), LDAP_SUCCESS);
    EXPECT_EQ(read_batch_answer(ld.get(), send_batch(ld.get(), 1, first.operations())).results,
              (std::vector<std::pair<int, int>>{{1, 0}}));
    EXPECT_EQ(read_batch_answer(ld.get(), waiting).results, (std::vector<std::pair<int, int>>{{1, 0}}));
    EXPECT_EQ(end_stream(ld.get(), 3), LDAP_SUCCESS);
}

TEST(BulkUpdate, AnAdministratorsChangesAreCheckedAgainstTheAccessRules)
{
    add_container("guarded");
    Session ld = connect(Who::operator_);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    AddBatch allowed(std::string("ou=guarded,") + kPeople, "Guarded", 1, 1);
    AddBatch denied("ou=staff,dc=example,dc=com", "Denied", 1, 1);
    char* values[] = {text("changed"), nullptr};
    LDAPMod description = {LDAP_MOD_REPLACE, text("description"), {values}};
    LDAPMod* changes[] = {&description, nullptr};
    lburp_operation modify_denied = operation(LBURP_OP_MODIFY, kUserDn, changes);
    lburp_operation remove_denied = operation(LBURP_OP_DELETE, kUserDn, nullptr);
    lburp_operation rename_denied = operation(LBURP_OP_RENAME, kUserDn, text("uid=renamed"));
    lburp_operation* batch[] = {allowed.operations()[0], denied.operations()[0], &modify_denied, &remove_denied,
                                &rename_denied, nullptr};
    BatchAnswer answer = read_batch_answer(ld.get(), send_batch(ld.get(), 1, batch));
    std::vector<std::pair<int, int>> expected = {{1, LDAP_SUCCESS},
                                                 {2, LDAP_INSUFFICIENT_ACCESS},
                                                 {3, LDAP_INSUFFICIENT_ACCESS},
                                                 {4, LDAP_INSUFFICIENT_ACCESS},
                                                 {5, LDAP_INSUFFICIENT_ACCESS}};
    EXPECT_EQ(answer.results, expected);
    EXPECT_EQ(end_stream(ld.get(), 2), LDAP_SUCCESS);
    EXPECT_EQ(count_under("ou=staff,dc=example,dc=com"), 3);
}

TEST(BulkUpdate, AnAttributeTypeTheSchemaDoesNotKnowRefusesTheWholeChange)
{
    add_container("unknown");
    Session ld = connect(Who::root);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    const char* dn = "cn=Unknown,ou=unknown,ou=people,dc=example,dc=com";
    char* classes[] = {text("person"), nullptr};
    char* names[] = {text("Unknown"), nullptr};
    char* unknown[] = {text("z"), nullptr};
    LDAPMod object_class = {LDAP_MOD_ADD, text("objectClass"), {classes}};
    LDAPMod cn = {LDAP_MOD_ADD, text("cn"), {names}}, sn = {LDAP_MOD_ADD, text("sn"), {names}};
    LDAPMod no_such_type = {LDAP_MOD_ADD, text("noSuchType"), {unknown}};
    LDAPMod* entry[] = {&object_class, &cn, &sn, &no_such_type, nullptr};
    LDAPMod* changes[] = {&no_such_type, nullptr};
    lburp_operation add = operation(LBURP_OP_ADD, dn, entry);
    lburp_operation modify = operation(LBURP_OP_MODIFY, kUserDn, changes);
    lburp_operation* batch[] = {&add, &modify, nullptr};
    BatchAnswer answer = read_batch_answer(ld.get(), send_batch(ld.get(), 1, batch));
    std::vector<std::pair<int, int>> expected = {{1, LDAP_UNDEFINED_TYPE}, {2, LDAP_UNDEFINED_TYPE}};
    EXPECT_EQ(answer.results, expected);
    EXPECT_EQ(end_stream(ld.get(), 2), LDAP_SUCCESS);
    EXPECT_EQ(count_under("ou=unknown,ou=people,dc=example,dc=com"), 1);  // the container alone
}

TEST(BulkUpdate, ARootDnOfAnotherDatabaseIsCheckedLikeAnyoneElse)
{
    // It may send administration requests, but slapd's rules of
    // dc=example,dc=com give it no write access there.
    Session ld = connect(Who::other_root);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    AddBatch add(kPeople, "Foreign", 1, 1);
    char* values[] = {text("changed"), nullptr};
    LDAPMod description = {LDAP_MOD_REPLACE, text("description"), {values}};
    LDAPMod* changes[] = {&description, nullptr};
    lburp_operation modify = operation(LBURP_OP_MODIFY, kUserDn, changes);
    // Nor does it in the configuration's database.
    char* passwords[] = {text("taken"), nullptr};
    LDAPMod root_password = {LDAP_MOD_REPLACE, text("olcRootPW"), {passwords}};
    LDAPMod* configuration_changes[] = {&root_password, nullptr};
    lburp_operation configure = operation(LBURP_OP_MODIFY, "olcDatabase={1}mdb,cn=config", configuration_changes);
    lburp_operation* batch[] = {add.operations()[0], &modify, &configure, nullptr};
    BatchAnswer answer = read_batch_answer(ld.get(), send_batch(ld.get(), 1, batch));
    std::vector<std::pair<int, int>> expected = {
        {1, LDAP_INSUFFICIENT_ACCESS}, {2, LDAP_INSUFFICIENT_ACCESS}, {3, LDAP_INSUFFICIENT_ACCESS}};
    EXPECT_EQ(answer.results, expected);
    EXPECT_EQ(end_stream(ld.get(), 2), LDAP_SUCCESS);
}

TEST(BulkUpdate, AStreamCannotBeStartedByAnOrdinaryUserNorTwiceOnOneConnection)
{
    Session user = connect(Who::user);
    int start_value = 0;
    EXPECT_EQ(start_stream(user.get(), &start_value), LDAP_INSUFFICIENT_ACCESS);
    Session ld = connect(Who::root);
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    EXPECT_EQ(start_stream(ld.get(), &start_value), LDAP_UNWILLING_TO_PERFORM);
    EXPECT_EQ(end_stream(ld.get(), 1), LDAP_SUCCESS);
}

TEST(BulkUpdate, TwoClientsLoadAtOnce)
{
    add_container("first");
    add_container("second");
    auto load = [](const std::string& ou) {
        Session ld = connect(Who::root);
        int start_value = 0;
        ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
        for (int batch = 0; batch < 5; ++batch) {
            AddBatch adds("ou=" + ou + "," + kPeople, ou, batch * 100 + 1, 100);
            BatchAnswer answer = read_batch_answer(ld.get(), send_batch(ld.get(), batch + 1, adds.operations()));
            ASSERT_EQ(answer.results.size(), 100u);
            for (auto [number, code] : answer.results)
                ASSERT_EQ(code, LDAP_SUCCESS) << number;
        }
        ASSERT_EQ(end_stream(ld.get(), 6), LDAP_SUCCESS);
    };
    std::thread first(load, "first");
    std::thread second(load, "second");
    first.join();
    second.join();
    EXPECT_EQ(count_under(std::string("ou=first,") + kPeople), 501);
    EXPECT_EQ(count_under(std::string("ou=second,") + kPeople), 501);
}

namespace {

// The entries below ou=<ou>,ou=people as sorted "dn|type: value" lines,
// with "twin" for the name <ou>, to compare two subtrees.
std::vector<std::string> subtree_text(const std::string& ou)
{
    Session ld = connect(Who::root);
    std::vector<std::string> lines;
    for (const auto& [dn, attributes] : search_entries(ld.get(), "ou=" + ou + "," + kPeople, LDAP_SCOPE_SUBTREE))
        for (const auto& [type, values] : attributes)
            for (const std::string& value : values) {
                std::string line = dn + "|" + type + ": " + value;
                for (std::size_t at; (at = line.find(ou)) != std::string::npos;)
                    line.replace(at, ou.size(), "twin");
                lines.push_back(line);
            }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

TEST(BulkUpdate, EachChangeAnswersAndStoresWhatSlapdDoesOverTheProtocol)
{
    // The same changes, as the same administrator, through one batch into
    // ou=twin-stream and one by one over the protocol into ou=twin-protocol.
    const std::vector<std::string> person = {"inetOrgPerson"};
    struct Row {
        const char* what;
        int type;
        const char* rdn;
        std::vector<ModSpec> mods;
        int expected;
    };
    const std::vector<Row> rows = {
        {"binary values and a non-ASCII name", LBURP_OP_ADD, "cn=Zo\xC3\xAB",
         {{LDAP_MOD_ADD, "objectClass", person}, {LDAP_MOD_ADD, "cn", {"Zo\xC3\xAB"}},
          {LDAP_MOD_ADD, "sn", {"\xC3\x85ngstr\xC3\xB6m"}},
          {LDAP_MOD_ADD, "jpegPhoto", {std::string("\xFF\xD8\x00\x01\x80", 5)}}},
         LDAP_SUCCESS},
        {"an attribute type the schema does not know", LBURP_OP_ADD, "cn=Unknown",
         {{LDAP_MOD_ADD, "objectClass", person}, {LDAP_MOD_ADD, "cn", {"Unknown"}}, {LDAP_MOD_ADD, "sn", {"U"}},
          {LDAP_MOD_ADD, "noSuchType", {"z"}}},
         LDAP_UNDEFINED_TYPE},
        {"a value outside its syntax", LBURP_OP_ADD, "cn=Badmail",
         {{LDAP_MOD_ADD, "objectClass", person}, {LDAP_MOD_ADD, "cn", {"Badmail"}}, {LDAP_MOD_ADD, "sn", {"B"}},
          {LDAP_MOD_ADD, "mail", {"caf\xC3\xA9@example.com"}}},
         LDAP_INVALID_SYNTAX},
        {"a required attribute missing", LBURP_OP_ADD, "cn=Nosurname",
         {{LDAP_MOD_ADD, "objectClass", {"person"}}, {LDAP_MOD_ADD, "cn", {"Nosurname"}}},
         LDAP_OBJECT_CLASS_VIOLATION},
        {"a value given twice", LBURP_OP_ADD, "cn=Twice",
         {{LDAP_MOD_ADD, "objectClass", person}, {LDAP_MOD_ADD, "cn", {"Twice", "twice"}}, {LDAP_MOD_ADD, "sn", {"T"}}},
         LDAP_TYPE_OR_VALUE_EXISTS},
        {"an entry that exists", LBURP_OP_ADD, "cn=Zo\xC3\xAB",
         {{LDAP_MOD_ADD, "objectClass", person}, {LDAP_MOD_ADD, "cn", {"Zo\xC3\xAB"}}, {LDAP_MOD_ADD, "sn", {"Z"}}},
         LDAP_ALREADY_EXISTS},
        {"a counter", LBURP_OP_ADD, "cn=Counter",
         {{LDAP_MOD_ADD, "objectClass", {"inetOrgPerson", "posixAccount"}}, {LDAP_MOD_ADD, "cn", {"Counter"}},
          {LDAP_MOD_ADD, "sn", {"C"}}, {LDAP_MOD_ADD, "uid", {"counter"}}, {LDAP_MOD_ADD, "uidNumber", {"1000"}},
          {LDAP_MOD_ADD, "gidNumber", {"100"}}, {LDAP_MOD_ADD, "homeDirectory", {"/home/counter"}}},
         LDAP_SUCCESS},
        {"an increment", LBURP_OP_MODIFY, "cn=Counter", {{LDAP_MOD_INCREMENT, "uidNumber", {"5"}}}, LDAP_SUCCESS},
        {"an increment of text", LBURP_OP_MODIFY, "cn=Counter", {{LDAP_MOD_INCREMENT, "sn", {"1"}}},
         LDAP_CONSTRAINT_VIOLATION},
        {"a replace outside the syntax", LBURP_OP_MODIFY, "cn=Zo\xC3\xAB",
         {{LDAP_MOD_REPLACE, "mail", {"caf\xC3\xA9"}}}, LDAP_INVALID_SYNTAX},
        {"a value it has", LBURP_OP_MODIFY, "cn=Zo\xC3\xAB", {{LDAP_MOD_ADD, "cn", {"zo\xC3\xAB"}}},
         LDAP_TYPE_OR_VALUE_EXISTS},
        {"a value it lacks", LBURP_OP_MODIFY, "cn=Zo\xC3\xAB", {{LDAP_MOD_DELETE, "description", {"none"}}},
         LDAP_NO_SUCH_ATTRIBUTE},
        {"two values of a single-valued type", LBURP_OP_MODIFY, "cn=Zo\xC3\xAB",
         {{LDAP_MOD_REPLACE, "displayName", {"a", "b"}}}, LDAP_CONSTRAINT_VIOLATION},
        {"a type its classes do not allow", LBURP_OP_MODIFY, "cn=Zo\xC3\xAB",
         {{LDAP_MOD_ADD, "uidNumber", {"7"}}}, LDAP_OBJECT_CLASS_VIOLATION},
        {"a change of nothing", LBURP_OP_MODIFY, "cn=Zo\xC3\xAB", {}, LDAP_SUCCESS},
        {"an entry that does not exist", LBURP_OP_MODIFY, "cn=Nobody", {{LDAP_MOD_ADD, "description", {"x"}}},
         LDAP_NO_SUCH_OBJECT},
        {"several changes", LBURP_OP_MODIFY, "cn=Zo\xC3\xAB",
         {{LDAP_MOD_ADD, "description", {"one", "two"}}, {LDAP_MOD_DELETE, "description", {"one"}},
          {LDAP_MOD_REPLACE, "displayName", {"Zo\xC3\xAB"}}},
         LDAP_SUCCESS},
    };
    add_container("twin-stream");
    add_container("twin-protocol");
    auto dn_in = [](const Row& row, const char* ou) { return std::string(row.rdn) + ",ou=" + ou + "," + kPeople; };

    Session protocol = connect(Who::operator_);
    std::vector<std::pair<int, std::string>> over_protocol;
    for (const Row& row : rows) {
        Mods mods(row.mods);
        std::string dn = dn_in(row, "twin-protocol");
        int rc = row.type == LBURP_OP_ADD ? ldap_add_ext_s(protocol.get(), dn.c_str(), mods.get(), nullptr, nullptr)
                                          : ldap_modify_ext_s(protocol.get(), dn.c_str(), mods.get(), nullptr, nullptr);
        over_protocol.emplace_back(rc, diagnostic(protocol.get()));
    }

    Session ld = connect(Who::operator_);
    int start_value = 0;
    ASSERT_EQ(start_stream(ld.get(), &start_value), LDAP_SUCCESS);
    std::vector<std::unique_ptr<Mods>> mods;
    std::vector<std::string> dns;
    std::vector<lburp_operation> operations;
    for (const Row& row : rows) {
        mods.push_back(std::make_unique<Mods>(row.mods));
        dns.push_back(dn_in(row, "twin-stream"));
    }
    for (std::size_t i = 0; i < rows.size(); ++i)
        operations.push_back(operation(rows[i].type, dns[i].c_str(), mods[i]->get()));
    std::vector<lburp_operation*> batch;
    for (lburp_operation& op : operations)
        batch.push_back(&op);
    batch.push_back(nullptr);
    BatchAnswer answer = read_batch_answer(ld.get(), send_batch(ld.get(), 1, batch.data()));
    ASSERT_EQ(answer.results.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(over_protocol[i].first, rows[i].expected) << rows[i].what << ": " << over_protocol[i].second;
        EXPECT_EQ(answer.results[i].second, rows[i].expected) << rows[i].what << ": " << answer.messages[i];
        // slapd's own reason; where it gives none, the result's name.
        if (!over_protocol[i].second.empty()) {
            EXPECT_EQ(answer.messages[i], over_protocol[i].second) << rows[i].what;
        }
    }
    // Where no database is, slapd's answer is no global superior knowledge.
    Mods nowhere({{LDAP_MOD_ADD, "objectClass", {"organization"}}, {LDAP_MOD_ADD, "o", {"nowhere"}}});
    lburp_operation outside = operation(LBURP_OP_ADD, "o=nowhere", nowhere.get());
    lburp_operation* outside_batch[] = {&outside, nullptr};
    BatchAnswer refused = read_batch_answer(ld.get(), send_batch(ld.get(), 2, outside_batch));
    ASSERT_EQ(refused.results.size(), 1u);
    EXPECT_EQ(refused.results[0].second,
              ldap_add_ext_s(protocol.get(), "o=nowhere", nowhere.get(), nullptr, nullptr));
    EXPECT_EQ(refused.messages[0], diagnostic(protocol.get()));
    EXPECT_EQ(end_stream(ld.get(), 3), LDAP_SUCCESS);
    EXPECT_EQ(subtree_text("twin-stream"), subtree_text("twin-protocol"));
}
