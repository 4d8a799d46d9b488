// Bulk update (LBURP): the three requests on the wire and the decoding of
// their answers, collected with ldap_result() as an application would.
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "peer_fixture.h"

using bertext::render;
using testpeer::handle_error;
using testpeer::set_handle_error;
namespace d = der;

namespace {

struct Results {
    int count = -1;
    lburp_operation_result* entries = nullptr;
    ~Results()
    {
        for (int i = 0; entries != nullptr && i < count; ++i)
            ldap_memfree(entries[i].error_message);
        tervane_memfree(entries);
    }
};

// One entry of an operation response value.
std::string entry(int operation, int code, const std::string& message, const std::string& matched = "o=x")
{
    return d::sequence(
        {d::integer(operation), d::sequence({d::integer(code), d::octets(matched), d::octets(message)})});
}

// Builders for the caller's records.
struct Mod {
    LDAPMod mod{};
    std::vector<char*> values;
    std::vector<berval> bytes;
    std::vector<berval*> bvalues;

    Mod(int op, const char* type, std::vector<const char*> texts)
    {
        mod.mod_op = op;
        mod.mod_type = const_cast<char*>(type);
        for (const char* text : texts)
            values.push_back(const_cast<char*>(text));
        values.push_back(nullptr);
        mod.mod_values = values.data();
    }
    Mod(int op, const char* type, std::vector<std::string_view> binary, bool)
    {
        mod.mod_op = op | LDAP_MOD_BVALUES;
        mod.mod_type = const_cast<char*>(type);
        bytes.reserve(binary.size());
        for (std::string_view value : binary) {
            bytes.push_back({value.size(), const_cast<char*>(value.data())});
            bvalues.push_back(&bytes.back());
        }
        bvalues.push_back(nullptr);
        mod.mod_bvalues = bvalues.data();
    }
};

LDAPControl control(const char* oid, char critical, const char* value)
{
    LDAPControl c{};
    c.ldctl_oid = const_cast<char*>(oid);
    c.ldctl_iscritical = critical;
    if (value != nullptr)
        c.ldctl_value = {std::strlen(value), const_cast<char*>(value)};
    return c;
}

lburp_operation operation(int type, const char* dn, void* specific = nullptr, LDAPControl** controls = nullptr)
{
    return {type, const_cast<char*>(dn), specific, controls};
}

}  // namespace

class Lburp : public PeerTest {
protected:
    // Sends one batch and answers the rendered request value ("" when it was
    // not sent).
    std::string batch(std::vector<lburp_operation*> operations, int sequence_number = 1)
    {
        operations.push_back(nullptr);
        std::size_t before = request_count();
        int msgid = 0;
        EXPECT_EQ(ldap_lburp_operation_request(ld, sequence_number, operations.data(), &msgid), 0);
        if (!peer.wait_for_requests(before + 1))
            return "";
        return sent_value();
    }
    // Sends an end request answered by reply and collects the answer, which
    // the parse functions can read whatever its name.
    void final_answer(testpeer::Reply reply, Message& into)
    {
        peer.reply(std::move(reply));
        int msgid = 0;
        ASSERT_EQ(ldap_lburp_end_request(ld, 1, &msgid), 0);
        receive(ld, msgid, LDAP_RES_EXTENDED, into);
    }
    // A result message the client library reads but that is not an extended
    // response.
    void bind_answer(Message& into)
    {
        berval password{6, const_cast<char*>("secret")};
        int msgid = 0;
        ASSERT_EQ(ldap_sasl_bind(ld, "cn=admin", LDAP_SASL_SIMPLE, &password, nullptr, nullptr, &msgid), 0);
        receive(ld, msgid, LDAP_RES_BIND, into);
    }
    // A notification, which is no final result at all.
    void intermediate_answer(Message& into)
    {
        auto reply = testpeer::Reply::error(0);
        reply.intermediates = {{std::string(LBURP_OID(9)), std::nullopt}};
        peer.reply(reply);
        int msgid = 0;
        ASSERT_EQ(ldap_lburp_start_request(ld, &msgid), 0);
        receive(ld, msgid, LDAP_RES_INTERMEDIATE, into);
    }
};

TEST_F(Lburp, StartSendsTheProtocolNameInASequenceAndRecordsTheResult)
{
    set_handle_error(ld, 55);
    int msgid = 0;
    int rc = ldap_lburp_start_request(ld, &msgid);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(peer.wait_for_requests(1));
    EXPECT_EQ(handle_error(ld), rc);
    EXPECT_EQ(sent_name(), LBURP_OID(1));
    EXPECT_EQ(sent_value(), std::string("{'") + LDAPEXT_BULK_UPDATE_STYLE + "'}");
    EXPECT_EQ(peer.last_request().message_id, msgid);
    EXPECT_FALSE(peer.last_request().had_controls);
}

TEST_F(Lburp, EndSendsTheSequenceNumberInMinimalDer)
{
    int msgid = 0;
    ASSERT_EQ(ldap_lburp_end_request(ld, 5, &msgid), 0);
    ASSERT_TRUE(peer.wait_for_requests(1));
    EXPECT_EQ(sent_name(), LBURP_OID(4));
    EXPECT_EQ(bertext::hex(*peer.last_request().value), "30 03 02 01 05");
}

TEST_F(Lburp, StreamOfTwoBatchesIsSentAndItsAnswersDecoded)
{
    // Batch 1: add with text values, delete with a non-critical control
    // without value, modify with an empty control list.
    Mod cn(LDAP_MOD_ADD, "cn", {"a"}), classes(LDAP_MOD_ADD, "objectClass", {"person", "top"});
    LDAPMod* add_mods[] = {&cn.mod, &classes.mod, nullptr};
    LDAPControl plain = control("1.2.3", 0, nullptr);
    LDAPControl* delete_controls[] = {&plain, nullptr};
    Mod mail(LDAP_MOD_REPLACE, "mail", {"a@x"}), phone(LDAP_MOD_DELETE, "phone", {});
    phone.mod.mod_values = nullptr;
    LDAPMod* modify_mods[] = {&mail.mod, &phone.mod, nullptr};
    LDAPControl* no_controls[] = {nullptr};
    lburp_operation add = operation(LBURP_OP_ADD, "cn=a,o=x", add_mods);
    lburp_operation remove = operation(LBURP_OP_DELETE, "cn=old,o=x", nullptr, delete_controls);
    lburp_operation modify = operation(LBURP_OP_MODIFY, "cn=a,o=x", modify_mods, no_controls);
    lburp_operation* first[] = {&add, &remove, &modify, nullptr};

    // Batch 2: add with binary values, rename with a critical control with a
    // value, modify with binary values.
    Mod photo(LDAP_MOD_ADD, "photo", {std::string_view("\x00\x01\xff", 3)}, true);
    LDAPMod* photo_mods[] = {&photo.mod, nullptr};
    LDAPControl critical = control("1.2.4", 1, "v");
    LDAPControl* rename_controls[] = {&critical, nullptr};
    Mod cert(LDAP_MOD_ADD, "cert", {std::string_view("\x00", 1)}, true);
    LDAPMod* cert_mods[] = {&cert.mod, nullptr};
    lburp_operation add_binary = operation(LBURP_OP_ADD, "cn=p,o=x", photo_mods);
    lburp_rename moved{const_cast<char*>("cn=b"), 1, const_cast<char*>("ou=people,o=x")};
    lburp_operation rename = operation(LBURP_OP_RENAME_EXTENDED, "cn=a,o=x", &moved, rename_controls);
    lburp_operation modify_binary = operation(LBURP_OP_MODIFY, "cn=p,o=x", cert_mods);
    lburp_operation* second[] = {&add_binary, &rename, &modify_binary, nullptr};

    peer.reply(testpeer::Reply::success_named(LBURP_OID(2), d::sequence({d::integer(17)})));
    peer.reply(testpeer::Reply::success_named(
        LBURP_OID(7), d::concat({entry(1, 0, ""), entry(2, 32, "no such entry"), entry(3, 0, "")})));
    peer.reply(testpeer::Reply::success_named(LBURP_OID(7), d::concat({entry(1, 0, ""), entry(2, 0, "renamed")})));
    peer.reply(testpeer::Reply::success_named(LBURP_OID(5)));
    int start_id = 0, first_id = 0, second_id = 0, end_id = 0;
    ASSERT_EQ(ldap_lburp_start_request(ld, &start_id), 0);
    ASSERT_EQ(ldap_lburp_operation_request(ld, 1, first, &first_id), 0);
    ASSERT_EQ(ldap_lburp_operation_request(ld, 2, second, &second_id), 0);
    ASSERT_EQ(ldap_lburp_end_request(ld, 3, &end_id), 0);

    ASSERT_TRUE(peer.wait_for_requests(4));
    auto requests = peer.requests();
    EXPECT_EQ(requests[1].name, LBURP_OID(6));
    EXPECT_EQ(render(*requests[1].value),
              "{int 1, "
              "{[68]{'cn=a,o=x', {{'cn', set{'a'}}, {'objectClass', set{'person', 'top'}}}}}, "
              "{[4a]'cn=old,o=x', [a0]{{'1.2.3'}}}, "
              "{[66]{'cn=a,o=x', {{enum 2, {'mail', set{'a@x'}}}, {enum 1, {'phone', set{}}}}}, [a0]{}}}");
    EXPECT_EQ(render(*requests[2].value),
              "{int 2, "
              "{[68]{'cn=p,o=x', {{'photo', set{'\\x00\\x01\\xff'}}}}}, "
              "{[6c]{'cn=a,o=x', 'cn=b', true, [80]'ou=people,o=x'}, [a0]{{'1.2.4', true, 'v'}}}, "
              "{[66]{'cn=p,o=x', {{enum 0, {'cert', set{'\\x00'}}}}}}}");
    // BOOLEAN TRUE is the byte ff: for the new-RDN flag and the criticality.
    std::string rename_hex = bertext::hex(*requests[2].value);
    EXPECT_NE(rename_hex.find("04 04 63 6e 3d 62 01 01 ff"), std::string::npos);
    EXPECT_NE(rename_hex.find("04 05 31 2e 32 2e 34 01 01 ff"), std::string::npos);
    EXPECT_EQ(bertext::hex(*requests[3].value), "30 03 02 01 03");

    Message start, batch1, batch2, end;
    receive(ld, start_id, LDAP_RES_EXTENDED, start);
    receive(ld, first_id, LDAP_RES_EXTENDED, batch1);
    receive(ld, second_id, LDAP_RES_EXTENDED, batch2);
    receive(ld, end_id, LDAP_RES_EXTENDED, end);
    int result_code = -1, start_value = -1;
    EXPECT_EQ(ldap_parse_lburp_start_response(ld, start.release(), &result_code, nullptr, &start_value, 1), 0);
    EXPECT_EQ(start_value, 17);
    Results one, two;
    EXPECT_EQ(ldap_parse_lburp_operation_response(ld, batch1.release(), &result_code, nullptr, &one.count,
                                                  &one.entries, 1),
              0);
    ASSERT_EQ(one.count, 3);
    EXPECT_EQ(one.entries[1].operation_number, 2);
    EXPECT_EQ(one.entries[1].result_code, 32);
    EXPECT_STREQ(one.entries[1].error_message, "no such entry");
    EXPECT_STREQ(one.entries[2].error_message, "");
    EXPECT_EQ(ldap_parse_lburp_operation_response(ld, batch2.release(), &result_code, nullptr, &two.count,
                                                  &two.entries, 1),
              0);
    ASSERT_EQ(two.count, 2);
    EXPECT_EQ(two.entries[1].operation_number, 2);
    EXPECT_STREQ(two.entries[1].error_message, "renamed");
    set_handle_error(ld, 55);
    EXPECT_EQ(ldap_parse_lburp_end_response(ld, end.release(), &result_code, nullptr, 1), 0);
    EXPECT_EQ(handle_error(ld), 0);
}

TEST_F(Lburp, DeleteIsTheNameAloneAsAPrimitiveOfItsTag)
{
    lburp_operation remove = operation(LBURP_OP_DELETE, "cn=a,o=x");
    EXPECT_EQ(batch({&remove}), "{int 1, {[4a]'cn=a,o=x'}}");
    EXPECT_EQ(batch({}, 9), "{int 9}");
}

TEST_F(Lburp, ExtendedRenameCarriesTheFlagAndTheNewSuperiorOnlyWhenGiven)
{
    LDAPControl plain = control("1.2.3", 0, nullptr);
    LDAPControl* controls[] = {&plain, nullptr};
    struct Case {
        int delete_old_rdn;
        const char* new_superior;
        LDAPControl** controls;
        const char* expected;
    } cases[] = {
        {0, nullptr, nullptr, "{int 1, {[6c]{'cn=a,o=x', 'cn=b', false}}}"},
        {1, nullptr, nullptr, "{int 1, {[6c]{'cn=a,o=x', 'cn=b', true}}}"},
        {7, nullptr, nullptr, "{int 1, {[6c]{'cn=a,o=x', 'cn=b', true}}}"},
        {0, "ou=new,o=x", nullptr, "{int 1, {[6c]{'cn=a,o=x', 'cn=b', false, [80]'ou=new,o=x'}}}"},
        {1, "ou=new,o=x", controls, "{int 1, {[6c]{'cn=a,o=x', 'cn=b', true, [80]'ou=new,o=x'}, [a0]{{'1.2.3'}}}}"},
        {0, nullptr, controls, "{int 1, {[6c]{'cn=a,o=x', 'cn=b', false}, [a0]{{'1.2.3'}}}}"},
    };
    for (const Case& c : cases) {
        lburp_rename moved{const_cast<char*>("cn=b"), c.delete_old_rdn, const_cast<char*>(c.new_superior)};
        lburp_operation rename = operation(LBURP_OP_RENAME_EXTENDED, "cn=a,o=x", &moved, c.controls);
        EXPECT_EQ(batch({&rename}), c.expected);
    }
    // The flag's TRUE is ff, its FALSE 00.
    std::string last = bertext::hex(*peer.last_request().value);
    EXPECT_NE(last.find("04 04 63 6e 3d 62 01 01 00"), std::string::npos);
}

TEST_F(Lburp, PlainRenameReadsOnlyTheClassicFourFieldsAndKeepsTheOldRdnAndParent)
{
    // A caller built against the classic record: whatever lies after its
    // four fields belongs to someone else and must not reach the wire.
    struct {
        int type;
        char* dn;
        void* specific;
        LDAPControl** controls;
        int unrelated_number;
        char* unrelated_text;
    } classic{LBURP_OP_RENAME, const_cast<char*>("cn=a,o=x"), const_cast<char*>("cn=b"), nullptr, 1,
              const_cast<char*>("ou=elsewhere")};
    EXPECT_EQ(batch({reinterpret_cast<lburp_operation*>(&classic)}), "{int 1, {[6c]{'cn=a,o=x', 'cn=b', false}}}");
}

TEST_F(Lburp, ControlsLeaveOutFalseCriticalityAndMissingValue)
{
    LDAPControl plain = control("1.1", 0, nullptr), empty_value = control("1.2", 1, ""),
                valued = control("1.3", 0, "v\x01");
    LDAPControl* controls[] = {&plain, &empty_value, &valued, nullptr};
    lburp_operation remove = operation(LBURP_OP_DELETE, "cn=a", nullptr, controls);
    EXPECT_EQ(batch({&remove}), "{int 1, {[4a]'cn=a', [a0]{{'1.1'}, {'1.2', true, ''}, {'1.3', 'v\\x01'}}}}");
}

TEST_F(Lburp, UnknownOperationTypeIs92RecordedAndNothingIsSent)
{
    lburp_operation remove = operation(LBURP_OP_DELETE, "cn=a");
    lburp_operation search = operation(0x63, "cn=a");
    lburp_operation* operations[] = {&remove, &search, nullptr};
    set_handle_error(ld, 55);
    int msgid = -7;
    EXPECT_EQ(ldap_lburp_operation_request(ld, 1, operations, &msgid), 92);
    EXPECT_EQ(handle_error(ld), 92);
    EXPECT_EQ(msgid, -7);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(Lburp, MissingPointersAreRefusedWithoutSendingOrRecording)
{
    LDAPControl no_oid = control(nullptr, 0, nullptr);
    LDAPControl* bad_controls[] = {&no_oid, nullptr};
    Mod untyped(LDAP_MOD_ADD, nullptr, {"a"});
    LDAPMod* untyped_mods[] = {&untyped.mod, nullptr};
    berval broken{3, nullptr};
    berval* broken_values[] = {&broken, nullptr};
    LDAPMod broken_mod{};
    broken_mod.mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
    broken_mod.mod_type = const_cast<char*>("cn");
    broken_mod.mod_bvalues = broken_values;
    LDAPMod* broken_mods[] = {&broken_mod, nullptr};
    lburp_rename no_rdn{nullptr, 1, const_cast<char*>("o=x")};
    lburp_operation cases[] = {
        operation(LBURP_OP_DELETE, nullptr),
        operation(LBURP_OP_ADD, "cn=a"),
        operation(LBURP_OP_MODIFY, "cn=a"),
        operation(LBURP_OP_RENAME, "cn=a"),
        operation(LBURP_OP_RENAME_EXTENDED, "cn=a"),
        operation(LBURP_OP_RENAME_EXTENDED, "cn=a", &no_rdn),
        operation(LBURP_OP_ADD, "cn=a", untyped_mods),
        operation(LBURP_OP_MODIFY, "cn=a", broken_mods),
        operation(LBURP_OP_DELETE, "cn=a", nullptr, bad_controls),
    };
    set_handle_error(ld, 55);
    int msgid = -7;
    for (lburp_operation& bad : cases) {
        lburp_operation* operations[] = {&bad, nullptr};
        EXPECT_EQ(ldap_lburp_operation_request(ld, 1, operations, &msgid), 89);
    }
    EXPECT_EQ(ldap_lburp_operation_request(ld, 1, nullptr, &msgid), 89);
    EXPECT_EQ(ldap_lburp_start_request(ld, nullptr), 89);
    EXPECT_EQ(ldap_lburp_end_request(nullptr, 1, &msgid), 89);
    EXPECT_EQ(msgid, -7);
    EXPECT_EQ(handle_error(ld), 55);
    EXPECT_EQ(request_count(), 0u);
}

TEST_F(Lburp, StartResponseGivesTheStartValueOnlyUnderItsName)
{
    struct Case {
        const char* label;
        testpeer::Reply reply;
        int expected;
        int start_value;
    } cases[] = {
        {"value", testpeer::Reply::success_named(LBURP_OID(2), d::sequence({d::integer(42)})), 0, 42},
        {"no value", testpeer::Reply::success_named(LBURP_OID(2)), 0, -1},
        {"no name", testpeer::Reply::error(0), 92, -1},
        {"operation name", testpeer::Reply::success_named(LBURP_OID(7), d::sequence({d::integer(42)})), 92, -1},
        {"zero bytes", testpeer::Reply::success_named(LBURP_OID(2), ""), 84, -1},
        {"cut short", testpeer::Reply::success_named(LBURP_OID(2), std::string("\x30\x03\x02\x02\x01", 5)), 84,
         -1},
    };
    for (Case& c : cases) {
        c.reply.result_code = 51;
        c.reply.diagnostic = "busy";
        Message answer;
        final_answer(c.reply, answer);
        set_handle_error(ld, 55);
        int result_code = -1, start_value = -1;
        char* message = nullptr;
        EXPECT_EQ(ldap_parse_lburp_start_response(ld, answer.release(), &result_code, &message, &start_value, 1),
                  c.expected)
            << c.label;
        EXPECT_EQ(handle_error(ld), c.expected) << c.label;
        EXPECT_EQ(start_value, c.start_value) << c.label;
        EXPECT_EQ(result_code, 51) << c.label;
        EXPECT_STREQ(message, "busy") << c.label;
        ldap_memfree(message);
    }
}

TEST_F(Lburp, StartResponseWithValueNeedsTheStartValueOutput)
{
    Message with_value, without_value;
    final_answer(testpeer::Reply::success_named(LBURP_OID(2), d::sequence({d::integer(42)})), with_value);
    final_answer(testpeer::Reply::success_named(LBURP_OID(2)), without_value);
    set_handle_error(ld, 55);
    EXPECT_EQ(ldap_parse_lburp_start_response(ld, with_value.message, nullptr, nullptr, nullptr, 0), 89);
    EXPECT_EQ(handle_error(ld), 89);
    EXPECT_EQ(ldap_parse_lburp_start_response(ld, without_value.message, nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(handle_error(ld), 0);
}

TEST_F(Lburp, EndResponseChecksOnlyTheName)
{
    struct Case {
        testpeer::Reply reply;
        int expected;
    } cases[] = {
        {testpeer::Reply::success_named(LBURP_OID(5)), 0},
        {testpeer::Reply::success_named(LBURP_OID(5), "\x30\x05"), 0},  // the value is not read
        {testpeer::Reply::error(0), 92},
        {testpeer::Reply::success_named(LBURP_OID(50)), 92},
    };
    for (Case& c : cases) {
        Message answer;
        final_answer(c.reply, answer);
        set_handle_error(ld, 55);
        int result_code = -1;
        EXPECT_EQ(ldap_parse_lburp_end_response(ld, answer.release(), &result_code, nullptr, 1), c.expected);
        EXPECT_EQ(handle_error(ld), c.expected);
        EXPECT_EQ(result_code, 0);
    }
}

TEST_F(Lburp, OperationResponseListsTheEntriesWithRoomForOneMore)
{
    Message answer;
    final_answer(testpeer::Reply::success_named(
                     LBURP_OID(7), d::concat({entry(4, 0, "", "cn=hidden"), entry(5, 68, "already exists")})),
                 answer);
    Results results;
    int result_code = -1;
    ASSERT_EQ(ldap_parse_lburp_operation_response(ld, answer.release(), &result_code, nullptr, &results.count,
                                                  &results.entries, 1),
              0);
    ASSERT_EQ(results.count, 2);
    EXPECT_EQ(results.entries[0].operation_number, 4);
    EXPECT_EQ(results.entries[0].result_code, 0);
    EXPECT_STREQ(results.entries[0].error_message, "");
    EXPECT_EQ(results.entries[1].operation_number, 5);
    EXPECT_EQ(results.entries[1].result_code, 68);
    EXPECT_STREQ(results.entries[1].error_message, "already exists");
    EXPECT_EQ(results.entries[2].error_message, nullptr);  // the spare entry is there and empty
}

TEST_F(Lburp, OperationResponseOfManyEntriesKeepsThemAllInOrder)
{
    std::string value;
    for (int i = 0; i < 1000; ++i)
        value += entry(i, i % 7, "m" + std::to_string(i));
    Message answer;
    final_answer(testpeer::Reply::success_named(LBURP_OID(7), value), answer);
    Results results;
    ASSERT_EQ(ldap_parse_lburp_operation_response(ld, answer.release(), nullptr, nullptr, &results.count,
                                                  &results.entries, 1),
              0);
    ASSERT_EQ(results.count, 1000);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(results.entries[i].operation_number, i);
        EXPECT_EQ(results.entries[i].result_code, i % 7);
        EXPECT_EQ(results.entries[i].error_message, "m" + std::to_string(i));
    }
    EXPECT_EQ(results.entries[1000].error_message, nullptr);
}

TEST_F(Lburp, OperationResponseRowsGiveTheirResultsAndRecordThem)
{
    std::string two = d::concat({entry(1, 0, "a"), entry(2, 0, "b")});
    // The value may end after an entry's number; bytes that form no whole
    // element are a cut list, and a result that lacks a field is an error.
    std::string second_cut = two.substr(0, two.size() - 2);
    std::string no_message =
        entry(1, 0, "a") + d::sequence({d::integer(2), d::sequence({d::integer(0), d::octets("o=x")})});
    struct Case {
        const char* label;
        testpeer::Reply reply;
        int expected;
        int count;  // -1: no array handed out
    } cases[] = {
        {"no value", testpeer::Reply::success_named(LBURP_OID(7)), 0, -1},
        {"zero bytes", testpeer::Reply::success_named(LBURP_OID(7), ""), 0, 0},
        {"entry ends after its number",
         testpeer::Reply::success_named(LBURP_OID(7), entry(1, 0, "a") + d::sequence({d::integer(2)})), 0, 1},
        {"no name", testpeer::Reply::error(0), 92, -1},
        {"start name", testpeer::Reply::success_named(LBURP_OID(2), two), 92, -1},
        {"second entry cut short", testpeer::Reply::success_named(LBURP_OID(7), second_cut), 84, -1},
        {"second result without message", testpeer::Reply::success_named(LBURP_OID(7), no_message), 84, -1},
        {"number unreadable", testpeer::Reply::success_named(LBURP_OID(7), d::octets("ab")), 84, -1},
    };
    for (Case& c : cases) {
        Message answer;
        final_answer(c.reply, answer);
        set_handle_error(ld, 55);
        Results results;
        EXPECT_EQ(ldap_parse_lburp_operation_response(ld, answer.release(), nullptr, nullptr, &results.count,
                                                      &results.entries, 1),
                  c.expected)
            << c.label;
        EXPECT_EQ(handle_error(ld), c.expected) << c.label;
        if (c.count < 0) {
            EXPECT_EQ(results.entries, nullptr) << c.label;
            EXPECT_EQ(results.count, 0) << c.label;
        } else {
            EXPECT_NE(results.entries, nullptr) << c.label;
            EXPECT_EQ(results.count, c.count) << c.label;
        }
    }
}

TEST_F(Lburp, OperationResponseIsNotDecodedWithoutBothOutputs)
{
    Message answer;
    final_answer(testpeer::Reply::success_named(LBURP_OID(7), entry(1, 0, "a")), answer);
    int count = -1;
    lburp_operation_result sentinel{}, *entries = &sentinel;
    EXPECT_EQ(ldap_parse_lburp_operation_response(ld, answer.message, nullptr, nullptr, nullptr, &entries, 0), 0);
    EXPECT_EQ(entries, nullptr);
    EXPECT_EQ(ldap_parse_lburp_operation_response(ld, answer.message, nullptr, nullptr, &count, nullptr, 0), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(Lburp, MessagesTheLibraryCannotReadGiveItsCodeRecordedInEveryParse)
{
    Message bind, notification;
    bind_answer(bind);
    intermediate_answer(notification);
    struct Case {
        LDAPMessage* message;
        int expected;
    } cases[] = {{bind.message, LDAP_PARAM_ERROR}, {notification.message, LDAP_NO_RESULTS_RETURNED}};
    for (const Case& c : cases) {
        int start_value = -1, count = -1;
        Results results;
        set_handle_error(ld, 55);
        // freeit is set, but a refused message stays the caller's.
        EXPECT_EQ(ldap_parse_lburp_start_response(ld, c.message, nullptr, nullptr, &start_value, 1), c.expected);
        EXPECT_EQ(handle_error(ld), c.expected);
        set_handle_error(ld, 55);
        EXPECT_EQ(ldap_parse_lburp_operation_response(ld, c.message, nullptr, nullptr, &results.count,
                                                      &results.entries, 1),
                  c.expected);
        EXPECT_EQ(handle_error(ld), c.expected);
        EXPECT_EQ(results.entries, nullptr);
        set_handle_error(ld, 55);
        EXPECT_EQ(ldap_parse_lburp_end_response(ld, c.message, nullptr, nullptr, 1), c.expected);
        EXPECT_EQ(handle_error(ld), c.expected);
        EXPECT_EQ(start_value, -1);
        (void)count;
    }
    set_handle_error(ld, 55);
    EXPECT_EQ(ldap_parse_lburp_end_response(ld, nullptr, nullptr, nullptr, 0), 89);
    EXPECT_EQ(handle_error(ld), 89);
    EXPECT_EQ(ldap_parse_lburp_start_response(ld, nullptr, nullptr, nullptr, nullptr, 0), 89);
    EXPECT_EQ(ldap_parse_lburp_operation_response(ld, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 89);
    EXPECT_EQ(ldap_parse_lburp_end_response(nullptr, bind.message, nullptr, nullptr, 0), 89);
}

TEST_F(Lburp, FailedSendIsReturnedAndRecorded)
{
    LDAP* unreachable = nullptr;
    ASSERT_EQ(ldap_initialize(&unreachable, "ldap://127.0.0.1:1"), LDAP_SUCCESS);
    testpeer::LdapHandle handle(unreachable);
    int version = LDAP_VERSION3;
    ldap_set_option(unreachable, LDAP_OPT_PROTOCOL_VERSION, &version);
    int msgid = 0;
    lburp_operation* none[] = {nullptr};
    std::function<int()> sends[] = {
        [&] { return ldap_lburp_start_request(unreachable, &msgid); },
        [&] { return ldap_lburp_operation_request(unreachable, 1, none, &msgid); },
        [&] { return ldap_lburp_end_request(unreachable, 1, &msgid); },
    };
    for (auto& send : sends) {
        set_handle_error(unreachable, 55);
        EXPECT_EQ(send(), LDAP_SERVER_DOWN);
        EXPECT_EQ(handle_error(unreachable), LDAP_SERVER_DOWN);
    }
}

TEST_F(Lburp, MalformedFinalMessageGivesTheLibrarysCodeAndServerCode80IsOnlyReported)
{
    // The result-parsing calls answer 0 or the library's own (negative)
    // codes; a server's 80 reaches *result_code and nothing else.
    auto extended = [](int id, const std::string& content) {
        return d::sequence({d::integer(id), d::element(0x78, content)});
    };
    std::string name = d::octets(LBURP_OID(7), 0x8A);
    struct Case {
        const char* label;
        std::function<std::string(int)> message;
        int expected;
        int result_code;
    } cases[] = {
        {"no fields", [&](int id) { return extended(id, ""); }, LDAP_DECODING_ERROR, LDAP_DECODING_ERROR},
        {"no diagnostic", [&](int id) { return extended(id, d::enumerated(0) + d::octets("")); },
         LDAP_DECODING_ERROR, LDAP_DECODING_ERROR},
        {"server result 80",
         [&](int id) { return extended(id, d::enumerated(80) + d::octets("") + d::octets("") + name); }, 0, 80},
    };
    for (Case& c : cases) {
        peer.set_responder([&](const testpeer::Request& request) {
            testpeer::Reply reply;
            reply.raw_message = c.message(request.message_id);
            return reply;
        });
        int msgid = 0;
        ASSERT_EQ(ldap_lburp_end_request(ld, 1, &msgid), 0);
        Message answer;
        receive(ld, msgid, LDAP_RES_EXTENDED, answer);
        set_handle_error(ld, 55);
        int result_code = -1;
        Results results;
        EXPECT_EQ(ldap_parse_lburp_operation_response(ld, answer.message, &result_code, nullptr, &results.count,
                                                      &results.entries, 0),
                  c.expected)
            << c.label;
        EXPECT_EQ(handle_error(ld), c.expected) << c.label;
        EXPECT_EQ(result_code, c.result_code) << c.label;
        EXPECT_EQ(results.entries, nullptr) << c.label;
    }
}
