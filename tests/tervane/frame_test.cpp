// The exchange shared by every synchronous export: response-name checks,
// result codes, value checks and outputs, run over every export of the
// administration families through the real client library.
#include <cstring>
#include <functional>
#include <ostream>

#include "library_leaks.h"
#include "operations.h"
#include "peer_fixture.h"

namespace d = der;

namespace {

// One synchronous export, called with valid arguments. `touched` reports
// whether any out-parameter changed.
struct SyncExport {
    const char* label;
    const char* request;
    const char* response;
    // A well-formed response value for exports that decode one.
    std::optional<std::string> value;
    std::function<int(LDAP*, bool& touched)> call;
    int decode_error = 83;
    // The response name is checked before the call's own result.
    bool name_first = false;
};

// Failure messages name the export rather than dump the record's bytes.
void PrintTo(const SyncExport& e, std::ostream* os) { *os << e.label; }

char kDn[] = "o=x";
char kServer[] = "cn=server";
char kAttribute[] = "cn";
char kFilter[] = "C$A$$$";
char kSizes[] = "1;3;";

template <class T>
bool changed(const T& before, const T& after)
{
    return std::memcmp(&before, &after, sizeof before) != 0;
}

int string_out(int (*fn)(LDAP*, char**), LDAP* ld, bool& touched)
{
    char sentinel = 0;
    char* text = &sentinel;
    int rc = fn(ld, &text);
    touched = text != &sentinel;
    if (touched)
        tervane_memfree(text);
    return rc;
}

int count_out(int (*fn)(LDAP*, char*, int*), LDAP* ld, bool& touched)
{
    int count = -7;
    int rc = fn(ld, kDn, &count);
    touched = count != -7;
    return rc;
}

std::vector<SyncExport> sync_exports()
{
    std::string no_attributes = d::sequence({d::sequence({d::integer(1)}), d::set({d::sequence({d::integer(3)})})});
    std::string info = d::concat({d::integer(1), d::integer(2), d::integer(3), d::integer(4), d::integer(5),
                                  d::octets("cn=r"), d::integer(6), d::integer(7)});
    return {
        {"get_bind_dn", ADMIN_OID(31), ADMIN_OID(32), d::octets("cn=a"),
         [](LDAP* ld, bool& t) { return string_out(ldap_get_bind_dn, ld, t); }},
        {"get_context_identity_name", ADMIN_OID(31), ADMIN_OID(32), d::octets("cn=a"),
         [](LDAP* ld, bool& t) { return string_out(ldap_get_context_identity_name, ld, t); }},
        {"get_effective_privileges", ADMIN_OID(33), ADMIN_OID(34), d::integer(5),
         [](LDAP* ld, bool& t) {
             int privileges = -7;
             int rc = ldap_get_effective_privileges(ld, kDn, kServer, kAttribute, &privileges);
             t = privileges != -7;
             return rc;
         }},
        {"get_effective_privileges_list", ADMIN_OID(103), ADMIN_OID(104), no_attributes,
         [](LDAP* ld, bool& t) {
             char* names[] = {kAttribute, nullptr};
             int privileges[1] = {-7};
             int rc = ldap_get_effective_privileges_list(ld, kDn, kServer, names, privileges);
             t = privileges[0] != -7;
             return rc;
         }},
        {"vorn_to_ldap", ADMIN_OID(1), ADMIN_OID(2), d::octets("o=x"),
         [](LDAP* ld, bool& t) {
             unsigned short name[] = {'x', 0};
             char sentinel = 0;
             char* dn = &sentinel;
             int rc = ldap_vorn_to_ldap(ld, name, &dn);
             t = dn != &sentinel;
             if (t)
                 tervane_memfree(dn);
             return rc;
         }},
        {"dns_to_x500_dn", ADMIN_OID(101), ADMIN_OID(102), d::octets("o=x"),
         [](LDAP* ld, bool& t) {
             char sentinel = 0;
             char* dn = &sentinel;
             int rc = ldap_dns_to_x500_dn(ld, kDn, &dn);
             t = dn != &sentinel;
             if (t)
                 tervane_memfree(dn);
             return rc;
         }},
        {"refresh_server", ADMIN_OID(9), ADMIN_OID(10), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_refresh_server(ld); }},
        {"split_partition", ADMIN_OID(3), ADMIN_OID(4), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_split_partition(ld, kDn, 1); }},
        {"create_naming_context", ADMIN_OID(3), ADMIN_OID(4), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_create_naming_context(ld, kDn, 1); }},
        {"merge_partitions", ADMIN_OID(5), ADMIN_OID(6), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_merge_partitions(ld, kDn, 1); }},
        {"merge_naming_contexts", ADMIN_OID(5), ADMIN_OID(6), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_merge_naming_contexts(ld, kDn, 1); }},
        {"abort_partition_operation", ADMIN_OID(29), ADMIN_OID(30), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_abort_partition_operation(ld, kDn, 1); }},
        {"abort_naming_context_operation", ADMIN_OID(29), ADMIN_OID(30), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_abort_naming_context_operation(ld, kDn, 1); }},
        {"partition_entry_count", ADMIN_OID(13), ADMIN_OID(14), d::integer(12),
         [](LDAP* ld, bool& t) { return count_out(ldap_partition_entry_count, ld, t); }},
        {"naming_context_entry_count", ADMIN_OID(13), ADMIN_OID(14), d::integer(12),
         [](LDAP* ld, bool& t) { return count_out(ldap_naming_context_entry_count, ld, t); }},
        {"split_orphan_partition", ADMIN_OID(39), ADMIN_OID(40), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_split_orphan_partition(ld, kDn, kServer); }},
        {"create_orphan_naming_context", ADMIN_OID(39), ADMIN_OID(40), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_create_orphan_naming_context(ld, kDn, kServer); }},
        {"remove_orphan_partition", ADMIN_OID(41), ADMIN_OID(42), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_remove_orphan_partition(ld, kDn, kServer); }},
        {"remove_orphan_naming_context", ADMIN_OID(41), ADMIN_OID(42), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_remove_orphan_naming_context(ld, kDn, kServer); }},
        {"add_replica", ADMIN_OID(7), ADMIN_OID(8), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_add_replica(ld, kDn, kServer, 1, 0); }},
        {"remove_replica", ADMIN_OID(11), ADMIN_OID(12), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_remove_replica(ld, kDn, kServer, 0); }},
        {"change_replica_type", ADMIN_OID(15), ADMIN_OID(16), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_change_replica_type(ld, kDn, kServer, 2, 0); }},
        {"get_replica_info", ADMIN_OID(17), ADMIN_OID(18), info,
         [](LDAP* ld, bool& t) {
             ReplicaInfo before;
             std::memset(&before, 0x5A, sizeof before);
             ReplicaInfo after = before;
             int rc = ldap_get_replica_info(ld, kDn, kServer, &after);
             t = changed(before, after);
             return rc;
         }},
        {"list_replicas", ADMIN_OID(19), ADMIN_OID(20), d::sequence({d::octets("cn=r1")}),
         [](LDAP* ld, bool& t) {
             char* sentinel[] = {nullptr};
             char** replicas = sentinel;
             int rc = ldap_list_replicas(ld, kDn, &replicas);
             t = replicas != sentinel;
             if (t)
                 ldap_value_free(replicas);
             return rc;
         }},
        {"receive_all_updates", ADMIN_OID(21), ADMIN_OID(22), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_receive_all_updates(ld, kDn, kServer, kDn); }},
        {"send_all_updates", ADMIN_OID(23), ADMIN_OID(24), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_send_all_updates(ld, kDn, kServer); }},
        {"request_partition_sync", ADMIN_OID(25), ADMIN_OID(26), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_request_partition_sync(ld, kServer, kDn, 3); }},
        {"request_naming_context_sync", ADMIN_OID(25), ADMIN_OID(26), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_request_naming_context_sync(ld, kServer, kDn, 3); }},
        {"request_schema_sync", ADMIN_OID(27), ADMIN_OID(28), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_request_schema_sync(ld, kServer, 3); }},
        {"trigger_back_process_1", ADMIN_OID(43), ADMIN_OID(44), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_trigger_back_process(ld, 1); }},
        {"trigger_back_process_2", ADMIN_OID(47), ADMIN_OID(48), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_trigger_back_process(ld, 2); }},
        {"trigger_back_process_3", ADMIN_OID(49), ADMIN_OID(50), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_trigger_back_process(ld, 3); }},
        {"trigger_back_process_4", ADMIN_OID(51), ADMIN_OID(52), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_trigger_back_process(ld, 4); }},
        {"trigger_back_process_5", ADMIN_OID(53), ADMIN_OID(54), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_trigger_back_process(ld, 5); }},
        {"trigger_back_process_6", ADMIN_OID(55), ADMIN_OID(56), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_trigger_back_process(ld, 6); }},
        {"set_replication_filter", ADMIN_OID(35), ADMIN_OID(36), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_set_replication_filter(ld, kServer, kFilter); }},
        {"restore_object", ADMIN_OID(98), ADMIN_OID(99), std::nullopt,
         [](LDAP* ld, bool& t) { t = false; return ldap_restore_object(ld, kDn, nullptr, kServer, kSizes, 3); },
         83, true},
        {"backup_object", ADMIN_OID(96), ADMIN_OID(97),
         d::concat({d::integer(1), d::integer(2), d::integer(3), d::octets("x"),
                    d::sequence({d::integer(1), d::set({d::sequence({d::integer(1)})})})}),
         [](LDAP* ld, bool& t) {
             char* state = nullptr;
             char* data = nullptr;
             char* sizes = nullptr;
             int length = -7;
             int rc = ldap_backup_object(ld, kDn, nullptr, &state, &data, &sizes, &length);
             t = state != nullptr || data != nullptr || sizes != nullptr || length != -7;
             tervane_memfree(state);
             tervane_memfree(data);
             tervane_memfree(sizes);
             return rc;
         },
         84, true},
    };
}

}  // namespace

class SyncFrame : public PeerTest, public ::testing::WithParamInterface<SyncExport> {
protected:
    int call(bool& touched) { return GetParam().call(ld, touched); }
    void reply_with_name(std::optional<std::string> name, int code = 0)
    {
        testpeer::Reply reply = testpeer::Reply::error(code);
        reply.name = std::move(name);
        reply.value = GetParam().value;
        peer.reply(reply);
    }
};

TEST_P(SyncFrame, MatchingResponseSucceedsAndWritesTheOutputs)
{
    reply_with_name(GetParam().response);
    bool touched = false;
    EXPECT_EQ(call(touched), 0);
    EXPECT_EQ(touched, GetParam().value.has_value());
    EXPECT_EQ(sent_name(), GetParam().request);
    EXPECT_FALSE(peer.last_request().had_controls);
}

TEST_P(SyncFrame, MissingOrWrongResponseNameGives92AndWritesNothing)
{
    std::string expected = GetParam().response;
    std::optional<std::string> names[] = {
        std::nullopt,                                   // no name at all
        expected + "0",                                 // extends the expected name
        expected.substr(0, expected.size() - 1),        // a prefix of it
        GetParam().request,                             // the request's own name
    };
    // (Empty names: EmptyResponseNameCountsAsAMissingOne.)
    for (const auto& name : names) {
        testpeer::Reply reply = testpeer::Reply::error(0);
        reply.name = name;
        reply.value = GetParam().value;
        peer.reply(reply);
        bool touched = true;
        EXPECT_EQ(call(touched), 92) << (name ? *name : "<no name>");
        EXPECT_FALSE(touched);
    }
}

TEST_P(SyncFrame, ServerErrorIsPassedThroughUnchangedWithOutputsUntouched)
{
    reply_with_name(GetParam().response, 50);
    bool touched = true;
    EXPECT_EQ(call(touched), 50);
    EXPECT_FALSE(touched);
}

TEST_P(SyncFrame, MissingValueGives1OnlyForExportsThatDecodeOne)
{
    testpeer::Reply reply = testpeer::Reply::success_named(GetParam().response);
    peer.reply(reply);
    bool touched = true;
    EXPECT_EQ(call(touched), GetParam().value ? 1 : 0);
    EXPECT_FALSE(touched);
}

// The exports that decode a response value.
class DecodingFrame : public SyncFrame {};

TEST_P(DecodingFrame, ZeroLengthOrTruncatedValueFailsToDecodeWithoutTouchingOutputs)
{
    const std::string& good = *GetParam().value;
    for (std::string bad : {std::string(), good.substr(0, good.size() - 1), good.substr(0, 1)}) {
        peer.reply(testpeer::Reply::success_named(GetParam().response, bad));
        bool touched = true;
        EXPECT_EQ(call(touched), GetParam().decode_error) << bertext::hex(bad);
        // A partial decode may keep what it read before the failure; a value
        // of no bytes never reaches the decoder.
        if (bad.empty()) {
            EXPECT_FALSE(touched);
        }
    }
}

TEST_P(SyncFrame, EmptyResponseNameCountsAsAMissingOne)
{
    // The client library aborts the process when it parses a name of no
    // characters (a leading NUL empties it too), so the frame must see it
    // first.
    for (std::string name : {std::string(), std::string(1, '\0')}) {
        for (int code : {0, 50}) {
            reply_with_name(name, code);
            bool touched = true;
            EXPECT_EQ(call(touched), code == 0 || GetParam().name_first ? 92 : code) << code;
            EXPECT_FALSE(touched);
        }
    }
}

TEST_P(SyncFrame, ConnectionClosedWithoutAnswerGivesTheClientLibrarysCode)
{
    testpeer::Reply reply;
    reply.close_connection = true;
    peer.reply(reply);
    bool touched = true;
    // Without any response there is no name to check, not even for the
    // exports that check the name first.
    EXPECT_EQ(call(touched), LDAP_SERVER_DOWN);
    EXPECT_FALSE(touched);
}

TEST_P(SyncFrame, NoExtendedResponseGivesTheClientLibrarysReason)
{
    // Messages that stand where the response should be, with the client
    // library's code for each.
    struct Case {
        const char* label;
        std::function<std::string(int)> message;
        int expected;
    } cases[] = {
        {"notice of disconnection",
         [](int) {
             return d::sequence({d::integer(0), d::element(0x78, d::concat({d::enumerated(52), d::octets(""),
                                                                          d::octets("bye"),
                                                                          d::octets(LDAP_NOTICE_OF_DISCONNECTION,
                                                                                    0x8A)}))});
         },
         LDAP_UNAVAILABLE},
        {"bind response",
         [](int id) {
             return d::sequence({d::integer(id), d::element(0x61, d::concat({d::enumerated(0), d::octets(""),
                                                                           d::octets("")}))});
         },
         LDAP_PARAM_ERROR},
        {"extended response the library cannot read",
         [](int id) { return d::sequence({d::integer(id), d::element(0x78, d::enumerated(0))}); },
         LDAP_DECODING_ERROR},
    };
    for (const Case& c : cases) {
        peer.set_responder([&](const testpeer::Request& request) {
            testpeer::Reply reply;
            reply.raw_message = c.message(request.message_id);
            return reply;
        });
        testpeer::LdapHandle fresh(peer.connect());
        bool touched = true;
        std::optional<LibraryLeaksIgnored> library_leaks;
        if (c.expected == LDAP_UNAVAILABLE)
            library_leaks.emplace();
        EXPECT_EQ(GetParam().call(fresh, touched), c.expected) << c.label;
        library_leaks.reset();
        EXPECT_FALSE(touched) << c.label;
    }
}

TEST_P(SyncFrame, NullHandleIsRefused)
{
    bool touched = true;
    EXPECT_EQ(GetParam().call(nullptr, touched), 89);
    EXPECT_FALSE(touched);
}

std::string export_label(const ::testing::TestParamInfo<SyncExport>& info) { return info.param.label; }

std::vector<SyncExport> decoding_exports()
{
    std::vector<SyncExport> decoding;
    for (SyncExport& e : sync_exports())
        if (e.value)
            decoding.push_back(e);
    return decoding;
}

INSTANTIATE_TEST_SUITE_P(AllSynchronousExports, SyncFrame, ::testing::ValuesIn(sync_exports()), export_label);
INSTANTIATE_TEST_SUITE_P(DecodingExports, DecodingFrame, ::testing::ValuesIn(decoding_exports()), export_label);

TEST(OperationNames, ResponseNamesPairWithRequestNamesByTheirLastArc)
{
    for (const tervane::ExopSpec* operation : tervane::ops::paired) {
        ASSERT_NE(operation->response_name, nullptr) << operation->request_name;
        EXPECT_EQ(testpeer::paired_name(operation->request_name), operation->response_name);
    }
    EXPECT_EQ(tervane::ops::get_replication_filter.response_name, nullptr);
}
