// Event monitoring through Tervane against slapd with the plug-in: changes
// made by other connections arrive as notifications.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <openldap.h>

#include "plugin_server.h"
#include "tervane.h"

using namespace plugin_test;

namespace {

char* text(const char* literal) { return const_cast<char*>(literal); }

struct Notification {
    int type = 0;
    int result = 0;
    std::string dn, requestor, detail, changed;
    int sequence = 0;
};

constexpr char kMarkerPrefix[] = "cn=Marker ";

// The next notification of msgid, or one with type 0 after the timeout.
// Notifications about markers (see wait_until_watching) are skipped.
Notification next_notification(LDAP* ld, int msgid, timeval timeout = {10, 0})
{
    Notification notification;
    LDAPMessage* message = nullptr;
    if (ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message) != LDAP_RES_INTERMEDIATE) {
        ldap_msgfree(message);
        return notification;
    }
    event_record* record = nullptr;
    EXPECT_EQ(ldap_parse_ds_event(ld, message, &notification.type, &notification.result, &record, 1), LDAP_SUCCESS);
    if (record != nullptr) {
        auto copy = [](const char* value) { return std::string(value != nullptr ? value : ""); };
        notification.dn = copy(record->r1.text1);
        notification.requestor = copy(record->r1.text2);
        notification.detail = copy(record->r1.text3);
        notification.changed = copy(record->r1.data);
        EXPECT_GT(record->r1.triple1, 0);  // the time
        EXPECT_GT(record->r1.triple2, 0);  // the sequence number
        notification.sequence = record->r1.triple2;
    }
    ldap_event_free(record);
    if (notification.dn.rfind(kMarkerPrefix, 0) == 0)
        return next_notification(ld, msgid, timeout);
    return notification;
}

void add_person(LDAP* ld, const char* dn, const char* cn)
{
    char* classes[] = {text("inetOrgPerson"), nullptr};
    char* cns[] = {text(cn), nullptr};
    char* sns[] = {text("Watched"), nullptr};
    LDAPMod mods[] = {{LDAP_MOD_ADD, text("objectClass"), {classes}},
                      {LDAP_MOD_ADD, text("cn"), {cns}},
                      {LDAP_MOD_ADD, text("sn"), {sns}}};
    LDAPMod* pointers[] = {&mods[0], &mods[1], &mods[2], nullptr};
    ASSERT_EQ(ldap_add_ext_s(ld, dn, pointers, nullptr, nullptr), LDAP_SUCCESS) << diagnostic(ld);
}

// A monitor request is asynchronous: changes made before slapd has read it
// are not reported. Adds markers under ou=groups until one is reported.
void wait_until_watching(LDAP* watcher, int msgid, LDAP* writer)
{
    static int markers = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string cn = std::string(kMarkerPrefix + 3) + std::to_string(++markers);
        std::string dn = "cn=" + cn + ",ou=groups,dc=example,dc=com";
        add_person(writer, dn.c_str(), cn.c_str());
        timeval timeout{0, 200000};
        LDAPMessage* message = nullptr;
        if (ldap_result(watcher, msgid, LDAP_MSG_ONE, &timeout, &message) == LDAP_RES_INTERMEDIATE) {
            ldap_msgfree(message);
            return;
        }
        ldap_msgfree(message);
    }
    FAIL() << "the monitor reported nothing";
}

// Starts a monitor of `wanted` on watcher; answers its message id once it
// reports the changes writer makes.
int watch(LDAP* watcher, std::vector<event_spec> wanted, LDAP* writer)
{
    int msgid = 0;
    EXPECT_EQ(ldap_monitor_events(watcher, static_cast<int>(wanted.size()), wanted.data(), &msgid), LDAP_SUCCESS);
    wait_until_watching(watcher, msgid, writer);
    return msgid;
}

// The same for a monitor that watches subtrees.
int watch_subtrees(LDAP* watcher, std::vector<event_spec_filtered> wanted, LDAP* writer)
{
    int msgid = 0;
    EXPECT_EQ(ldap_monitor_events_filtered(watcher, static_cast<int>(wanted.size()), wanted.data(), &msgid),
              LDAP_SUCCESS);
    wait_until_watching(watcher, msgid, writer);
    return msgid;
}

// The result code of a monitor's final answer, with the number of event
// specifications it lists in *count; -1 when the next message is no final
// answer.
int final_answer(LDAP* ld, int msgid, int* count = nullptr)
{
    timeval timeout{10, 0};
    LDAPMessage* message = nullptr;
    if (ldap_result(ld, msgid, LDAP_MSG_ONE, &timeout, &message) != LDAP_RES_EXTENDED) {
        ldap_msgfree(message);
        return -1;
    }
    int code = -1;
    int listed = 0;
    event_spec* specs = nullptr;
    EXPECT_EQ(ldap_parse_monitor_events_response(ld, message, &code, nullptr, &listed, &specs, 1), LDAP_SUCCESS);
    tervane_memfree(specs);
    if (count != nullptr)
        *count = listed;
    return code;
}

// The administrators' group holds exactly `member` (it may not be empty).
void set_administrator(LDAP* root, const char* member)
{
    char* members[] = {text(member), nullptr};
    LDAPMod replace = {LDAP_MOD_REPLACE, text("member"), {members}};
    LDAPMod* changes[] = {&replace, nullptr};
    ASSERT_EQ(ldap_modify_ext_s(root, kAdministrators, changes, nullptr, nullptr), LDAP_SUCCESS);
}

}  // namespace

TEST(EventMonitor, AMemberRemovedFromTheAdministratorsLosesTheMonitorBeforeTheNextNotification)
{
    Session watcher = connect(Who::operator_);
    Session root = connect(Who::root);
    int msgid = watch(watcher.get(), {{1, 0}}, root.get());
    set_administrator(root.get(), kRootDn);
    struct Restore {
        LDAP* root;
        ~Restore() { set_administrator(root, kOperatorDn); }
    } restore{root.get()};
    const char* dn = "cn=Unseen,ou=people,dc=example,dc=com";
    add_person(root.get(), dn, "Unseen");
    EXPECT_EQ(final_answer(watcher.get(), msgid), LDAP_INSUFFICIENT_ACCESS);
    EXPECT_EQ(ldap_delete_ext_s(root.get(), dn, nullptr, nullptr), LDAP_SUCCESS);
}

TEST(EventMonitor, AGroupMemberIsToldOnlyOfEntriesAndAttributesItMayRead)
{
    Session watcher = connect(Who::operator_);
    Session root = connect(Who::root);
    int msgid = watch(watcher.get(), {{1, 0}, {3, 0}}, root.get());
    const char* concealed = "cn=Concealed,ou=secret,dc=example,dc=com";
    const char* shown = "cn=Shown,ou=people,dc=example,dc=com";
    add_person(root.get(), concealed, "Concealed");
    add_person(root.get(), shown, "Shown");
    Notification added = next_notification(watcher.get(), msgid);
    EXPECT_EQ(added.dn, shown);
    // The password is no attribute the member may read.
    char* descriptions[] = {text("seen"), nullptr};
    char* passwords[] = {text("unseen"), nullptr};
    LDAPMod description = {LDAP_MOD_REPLACE, text("description"), {descriptions}};
    LDAPMod password = {LDAP_MOD_REPLACE, text("userPassword"), {passwords}};
    LDAPMod* changes[] = {&description, &password, nullptr};
    ASSERT_EQ(ldap_modify_ext_s(root.get(), concealed, changes, nullptr, nullptr), LDAP_SUCCESS);
    ASSERT_EQ(ldap_modify_ext_s(root.get(), shown, changes, nullptr, nullptr), LDAP_SUCCESS);
    Notification modified = next_notification(watcher.get(), msgid);
    EXPECT_EQ(modified.dn, shown);
    EXPECT_EQ(modified.changed, "description");
    // Its numbers leave no gap where a change was hidden.
    EXPECT_EQ(modified.sequence, added.sequence + 1);
    EXPECT_EQ(ldap_abandon_ext(watcher.get(), msgid, nullptr, nullptr), LDAP_SUCCESS);
    EXPECT_EQ(ldap_delete_ext_s(root.get(), concealed, nullptr, nullptr), LDAP_SUCCESS);
    EXPECT_EQ(ldap_delete_ext_s(root.get(), shown, nullptr, nullptr), LDAP_SUCCESS);
}

TEST(EventMonitor, EventsArriveInTheOrderOfTheChanges)
{
    Session watcher = connect(Who::root);
    Session writer = connect(Who::root);
    int msgid = watch(watcher.get(), {{1, 0}, {2, 0}, {3, 0}}, writer.get());
    // One client adds, modifies and deletes one entry, each change waiting
    // for the one before: a client replaying the events must see them so.
    const char* dn = "cn=Churn,ou=people,dc=example,dc=com";
    char* values[] = {text("churn"), nullptr};
    LDAPMod description = {LDAP_MOD_REPLACE, text("description"), {values}};
    LDAPMod* changes[] = {&description, nullptr};
    constexpr int kRounds = 100;
    for (int round = 0; round < kRounds; ++round) {
        add_person(writer.get(), dn, "Churn");
        ASSERT_EQ(ldap_modify_ext_s(writer.get(), dn, changes, nullptr, nullptr), LDAP_SUCCESS);
        ASSERT_EQ(ldap_delete_ext_s(writer.get(), dn, nullptr, nullptr), LDAP_SUCCESS);
    }
    const int kOrder[] = {1, 3, 2};  // added, modified, deleted
    int previous = 0;
    for (int i = 0; i < 3 * kRounds; ++i) {
        Notification event = next_notification(watcher.get(), msgid);
        ASSERT_EQ(event.type, kOrder[i % 3]) << "event " << i;
        if (previous != 0) {
            EXPECT_EQ(event.sequence, previous + 1) << "event " << i;
        }
        previous = event.sequence;
    }
    EXPECT_EQ(ldap_abandon_ext(watcher.get(), msgid, nullptr, nullptr), LDAP_SUCCESS);
}

TEST(EventMonitor, ChangesByAnotherConnectionArriveAsNotifications)
{
    Session watcher = connect(Who::root);
    Session writer = connect(Who::operator_);
    Session root = connect(Who::root);
    int msgid = watch(watcher.get(), {{1, 0}, {2, 0}, {3, 0}, {4, 1}}, root.get());
    add_person(writer.get(), "cn=Watched,ou=people,dc=example,dc=com", "Watched");
    Notification added = next_notification(watcher.get(), msgid);
    EXPECT_EQ(added.type, 1);
    EXPECT_EQ(added.result, 0);
    EXPECT_EQ(added.dn, "cn=Watched,ou=people,dc=example,dc=com");
    EXPECT_EQ(added.requestor, kOperatorDn);
    EXPECT_EQ(added.detail, "inetOrgPerson");

    char* values[] = {text("watched"), nullptr};
    LDAPMod description = {LDAP_MOD_REPLACE, text("description"), {values}};
    LDAPMod* changes[] = {&description, nullptr};
    ASSERT_EQ(ldap_modify_ext_s(writer.get(), "cn=Watched,ou=people,dc=example,dc=com", changes, nullptr, nullptr),
              LDAP_SUCCESS);
    Notification modified = next_notification(watcher.get(), msgid);
    EXPECT_EQ(modified.type, 3);
    EXPECT_EQ(modified.changed, "description");

    // A rename the writer may not make still reports, with its result, for
    // status 1.
    EXPECT_EQ(ldap_rename_s(writer.get(), "cn=Watched,ou=people,dc=example,dc=com", "cn=Moved", kSuffix, 1, nullptr,
                            nullptr),
              LDAP_INSUFFICIENT_ACCESS);
    Notification refused = next_notification(watcher.get(), msgid);
    EXPECT_EQ(refused.type, 4);
    EXPECT_EQ(refused.result, LDAP_INSUFFICIENT_ACCESS);
    EXPECT_EQ(refused.detail, "cn=Moved,dc=example,dc=com");

    ASSERT_EQ(ldap_rename_s(writer.get(), "cn=Watched,ou=people,dc=example,dc=com", "cn=Moved", nullptr, 1, nullptr,
                            nullptr),
              LDAP_SUCCESS);
    Notification renamed = next_notification(watcher.get(), msgid);
    EXPECT_EQ(renamed.type, 4);
    EXPECT_EQ(renamed.detail, "cn=Moved,ou=people,dc=example,dc=com");

    // A delete the writer may not make is not reported for status 0.
    EXPECT_EQ(ldap_delete_ext_s(writer.get(), kUserDn, nullptr, nullptr), LDAP_INSUFFICIENT_ACCESS);
    ASSERT_EQ(ldap_delete_ext_s(writer.get(), "cn=Moved,ou=people,dc=example,dc=com", nullptr, nullptr), LDAP_SUCCESS);
    Notification deleted = next_notification(watcher.get(), msgid);
    EXPECT_EQ(deleted.type, 2);
    EXPECT_EQ(deleted.dn, "cn=Moved,ou=people,dc=example,dc=com");

    EXPECT_EQ(ldap_abandon_ext(watcher.get(), msgid, nullptr, nullptr), LDAP_SUCCESS);
    // The monitor's worker thread is free again: the connection still works.
    char* dn = nullptr;
    EXPECT_EQ(ldap_get_bind_dn(watcher.get(), &dn), LDAP_SUCCESS);
    tervane_memfree(dn);
}

TEST(EventMonitor, AnUpdateInsideAClientsTransactionIsNotReportedAsMade)
{
    Session watcher = connect(Who::root);
    Session root = connect(Who::root);
    int msgid = watch(watcher.get(), {{1, 0}, {3, 0}}, root.get());
    // slapd answers the update at once that it holds it; nothing changes
    // before the transaction ends, and this one is abandoned.
    berval* id = nullptr;
    ASSERT_EQ(ldap_txn_start_s(root.get(), nullptr, nullptr, &id), LDAP_SUCCESS);
    LDAPControl in_transaction{text(LDAP_CONTROL_TXN_SPEC), *id, 1};
    LDAPControl* controls[] = {&in_transaction, nullptr};
    char* values[] = {text("held"), nullptr};
    LDAPMod description = {LDAP_MOD_REPLACE, text("description"), {values}};
    LDAPMod* changes[] = {&description, nullptr};
    ASSERT_EQ(ldap_modify_ext_s(root.get(), kUserDn, changes, controls, nullptr), LDAP_SUCCESS);
    add_person(root.get(), "cn=After,ou=people,dc=example,dc=com", "After");
    EXPECT_EQ(next_notification(watcher.get(), msgid).dn, "cn=After,ou=people,dc=example,dc=com");
    // slapd 2.5 frees a transaction's updates when it ends, even while the
    // thread that answered the last one is still finishing (and crashes):
    // that thread has long finished by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int failed = 0;
    ASSERT_EQ(ldap_txn_end_s(root.get(), 0, id, nullptr, nullptr, &failed), LDAP_SUCCESS);
    ber_bvfree(id);
    EXPECT_EQ(ldap_abandon_ext(watcher.get(), msgid, nullptr, nullptr), LDAP_SUCCESS);
}

TEST(EventMonitor, AnOpenMonitorLetsSlapdChangeItsConfiguration)
{
    // slapd changes its configuration only once every worker thread is
    // idle or lets it pause; a monitor holds its thread until it ends.
    Session watcher = connect(Who::root);
    Session writer = connect(Who::root);
    int msgid = watch(watcher.get(), {{1, 0}}, writer.get());
    EXPECT_EQ(change_configuration(), LDAP_SUCCESS);
    add_person(writer.get(), "cn=Configured,ou=people,dc=example,dc=com", "Configured");
    EXPECT_EQ(next_notification(watcher.get(), msgid).dn, "cn=Configured,ou=people,dc=example,dc=com");
    EXPECT_EQ(ldap_abandon_ext(watcher.get(), msgid, nullptr, nullptr), LDAP_SUCCESS);
}

TEST(EventMonitor, AFilteredMonitorWatchesOneSubtree)
{
    Session watcher = connect(Who::root);
    Session writer = connect(Who::root);
    int msgid = watch_subtrees(watcher.get(), {{1, 0, text("ou=groups,dc=example,dc=com")}}, writer.get());
    add_person(writer.get(), "cn=Outside,ou=people,dc=example,dc=com", "Outside");
    add_person(writer.get(), "cn=Inside,ou=groups,dc=example,dc=com", "Inside");
    Notification inside = next_notification(watcher.get(), msgid);
    EXPECT_EQ(inside.dn, "cn=Inside,ou=groups,dc=example,dc=com");
    EXPECT_EQ(ldap_abandon_ext(watcher.get(), msgid, nullptr, nullptr), LDAP_SUCCESS);
}

TEST(EventMonitor, EventTypesThisServerDoesNotReportAreRefusedWithTheirList)
{
    Session ld = connect(Who::root);
    event_spec wanted[] = {{1, 0}, {12, 0}, {2, 7}};
    int msgid = 0;
    ASSERT_EQ(ldap_monitor_events(ld.get(), 3, wanted, &msgid), LDAP_SUCCESS);
    timeval timeout{10, 0};
    LDAPMessage* message = nullptr;
    ASSERT_EQ(ldap_result(ld.get(), msgid, LDAP_MSG_ALL, &timeout, &message), LDAP_RES_EXTENDED);
    int code = 0;
    char* error = nullptr;
    int count = 0;
    event_spec* refused = nullptr;
    ASSERT_EQ(ldap_parse_monitor_events_response(ld.get(), message, &code, &error, &count, &refused, 1), LDAP_SUCCESS);
    EXPECT_EQ(code, LDAP_UNWILLING_TO_PERFORM);
    EXPECT_NE(std::string(error).find("event types 1"), std::string::npos);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(refused[0].event_type, 12);
    EXPECT_EQ(refused[1].event_type, 2);
    EXPECT_EQ(refused[1].status, 7);
    tervane_memfree(refused);
    ldap_memfree(error);

    event_spec_filtered bad[] = {{1, 0, text("not a dn")}};
    ASSERT_EQ(ldap_monitor_events_filtered(ld.get(), 1, bad, &msgid), LDAP_SUCCESS);
    ASSERT_EQ(ldap_result(ld.get(), msgid, LDAP_MSG_ALL, &timeout, &message), LDAP_RES_EXTENDED);
    ASSERT_EQ(ldap_parse_monitor_events_response(ld.get(), message, &code, nullptr, &count, &refused, 1), LDAP_SUCCESS);
    EXPECT_EQ(code, LDAP_INVALID_DN_SYNTAX);
    EXPECT_EQ(count, 1);
    tervane_memfree(refused);
}

TEST(EventMonitor, OrdinaryUsersMayNotMonitor)
{
    Session ld = connect(Who::user);
    event_spec wanted[] = {{1, 0}};
    int msgid = 0;
    ASSERT_EQ(ldap_monitor_events(ld.get(), 1, wanted, &msgid), LDAP_SUCCESS);
    int count = -1;
    EXPECT_EQ(final_answer(ld.get(), msgid, &count), LDAP_INSUFFICIENT_ACCESS);
    EXPECT_EQ(count, 0);
}

TEST(EventMonitor, AClientThatReadsTooSlowlyIsToldExactlyHowManyNotificationsItMissed)
{
    // A receive buffer of a few kilobytes: slapd's writes to the watcher
    // block early, and the monitor's queue (queue=1000) overflows.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(server().port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    LDAP* raw = nullptr;
    ASSERT_EQ(ldap_init_fd(fd, LDAP_PROTO_TCP, server().uri().c_str(), &raw), LDAP_SUCCESS);
    Session watcher(raw);
    int version = LDAP_VERSION3;
    ldap_set_option(raw, LDAP_OPT_PROTOCOL_VERSION, &version);
    berval password{std::strlen(kRootPassword), const_cast<char*>(kRootPassword)};
    ASSERT_EQ(ldap_sasl_bind_s(raw, kRootDn, LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr), LDAP_SUCCESS);

    Session writer = connect(Who::root);
    // Notifications of about 3 KB, long names of changed attributes: 5000
    // are more than the socket buffers hold.
    const std::string cn(200, 'n');
    const std::string dn = "cn=" + cn + "," + kPeople;
    add_person(writer.get(), dn.c_str(), cn.c_str());
    int msgid = watch(watcher.get(), {{1, 0}, {3, 0}}, writer.get());
    constexpr int kChanges = 5000;
    char* values[] = {text("slow"), nullptr};
    std::string types[3];
    LDAPMod descriptions[3];
    LDAPMod* changes[4] = {};
    for (int i = 0; i < 3; ++i) {
        types[i] = "description;lang-" + std::string(1000, static_cast<char>('a' + i));
        descriptions[i] = {LDAP_MOD_REPLACE, types[i].data(), {values}};
        changes[i] = &descriptions[i];
    }
    for (int i = 0; i < kChanges; ++i)
        ASSERT_EQ(ldap_modify_ext_s(writer.get(), dn.c_str(), changes, nullptr, nullptr), LDAP_SUCCESS);

    // Now read: what arrived and what the final answer counts add up.
    int arrived = 0;
    for (;;) {
        timeval timeout{10, 0};
        LDAPMessage* message = nullptr;
        int type = ldap_result(raw, msgid, LDAP_MSG_ONE, &timeout, &message);
        if (type == LDAP_RES_INTERMEDIATE) {
            ++arrived;
            ldap_msgfree(message);
            continue;
        }
        ASSERT_EQ(type, LDAP_RES_EXTENDED) << arrived << " notifications arrived";
        int code = -1;
        char* reason = nullptr;
        EXPECT_EQ(ldap_parse_monitor_events_response(raw, message, &code, &reason, nullptr, nullptr, 1),
                  LDAP_SUCCESS);
        EXPECT_EQ(code, LDAP_BUSY);
        std::string said = reason != nullptr ? reason : "";
        ldap_memfree(reason);
        std::size_t at = said.find(": ");
        ASSERT_NE(at, std::string::npos) << said;
        int dropped = std::atoi(said.c_str() + at + 2);
        EXPECT_GT(dropped, 0) << said;
        EXPECT_EQ(arrived + dropped, kChanges) << said;
        break;
    }
    EXPECT_EQ(ldap_delete_ext_s(writer.get(), dn.c_str(), nullptr, nullptr), LDAP_SUCCESS);
}
