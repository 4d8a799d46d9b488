// The synchronisation requests on slapd's replication (replica_set.h). A
// read-only replica refreshes when its syncrepl setting is written again:
// slapd then restarts the consumer, which asks its provider for every change
// since its last state. A refresh from scratch makes the replica anew.
// A server with no peers holds the only replica of each naming context:
// these requests are checked and succeed without effect.
#include <chrono>
#include <memory>
#include <thread>

#include "ber.h"
#include "configuration.h"
#include "directory.h"
#include "handlers.h"
#include "operation_names.h"
#include "replica_set.h"
#include "server_state.h"
#include "values.h"

namespace adminext {

namespace {

constexpr char kNothingToSynchronise[] = "nothing to synchronise: this server holds the only replica";
// The longest delay a synchronisation may be asked for: a day.
constexpr std::int32_t kLongestDelay = 86400;

std::optional<Run> read_checked(Request& request, std::string_view shape, const char* description, Reply& refused)
{
    std::optional<Run> run = read_run(request.value(), shape);
    if (!run)
        refused = Reply::malformed(std::string("the request value must be ") + description);
    return run;
}

// Writes the replica's syncrepl setting again, which restarts its consumer.
ChangeResult restart_consumer(const ReplicaDatabase& database)
{
    ChangeResult result =
        change_entry(database.config_dn, {{LDAP_MOD_REPLACE, "olcSyncrepl", unordered(database.syncrepl)}}, false);
    wake_server();  // the consumer's task starts now, not at the next connection
    return result;
}

void* refresh_task(void*, void* argument)
{
    std::unique_ptr<std::string> context(static_cast<std::string*>(argument));
    if (std::optional<ReplicaDatabase> database = own_database(*context); database && !database->syncrepl.empty())
        restart_consumer(*database);
    return nullptr;
}

// Refreshes the replica after `delay` seconds: a thread of its own waits,
// then hands the refresh to slapd's worker threads, on which internal
// operations run (it is dropped if slapd stops).
bool refresh_later(const std::string& context, std::int32_t delay)
{
    if (!can_run_on_worker_threads())
        return false;
    std::thread([context, delay] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(delay);
        while (std::chrono::steady_clock::now() < until)
            if (server_stopping())
                return;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto* argument = new std::string(context);
        if (server_stopping() || !run_on_a_worker_thread(refresh_task, argument))
            delete argument;
    }).detach();
    return true;
}

Reply refresh_own_replica(const std::string& context, std::int32_t delay)
{
    std::optional<ReplicaDatabase> database = own_database(context);
    if (!database)
        return Reply::error(code::kNoSuchObject, "this server holds no replica of " + context);
    if (database->syncrepl.empty())
        return Reply::error(code::kSuccess, "the writable replica of " + context + " has nothing to receive");
    if (delay < 0 || delay > kLongestDelay)
        return Reply::error(code::kUnwillingToPerform, "the delay must be 0 to 86400 seconds");
    if (delay > 0)
        return refresh_later(context, delay)
                   ? Reply::error(code::kSuccess, "the replica refreshes in " + std::to_string(delay) + " s")
                   : Reply::error(code::kOther, "this slapd cannot run a delayed refresh");
    ChangeResult restarted = restart_consumer(*database);
    if (restarted.code != code::kSuccess)
        return Reply::error(restarted.code, "the replica cannot be refreshed: " + restarted.message);
    return {};
}

std::string partition_sync_request(const std::string& server, const std::string& context)
{
    BerWriter request;
    request.octets(server);
    request.octets(context);
    request.integer(0);
    return request.bytes();
}

}  // namespace

// Request: OCTET STRING server, OCTET STRING naming context, INTEGER delay
// in seconds.
Reply request_partition_sync(Request& request)
{
    Reply refused;
    std::optional<Run> run = read_checked(request, "ssi", "two OCTET STRINGs and an INTEGER", refused);
    if (!run)
        return refused;
    if (settings().peers.empty())
        return Reply::error(code::kSuccess, kNothingToSynchronise);
    if (!is_self(run->strings[0]))
        return pass_on(request, run->strings[0], LDAPEXT_ADMIN_OID(25));
    return refresh_own_replica(run->strings[1], run->integers[0]);
}

// Request: OCTET STRING naming context, OCTET STRING server, OCTET STRING
// (not used). The server's read-only replica is made anew from its provider.
Reply receive_all_updates(Request& request)
{
    Reply refused;
    std::optional<Run> run = read_checked(request, "sss", "three OCTET STRINGs", refused);
    if (!run)
        return refused;
    if (settings().peers.empty())
        return Reply::error(code::kSuccess, kNothingToSynchronise);
    const std::string& context = run->strings[0];
    if (!is_self(run->strings[1]))
        return pass_on(request, run->strings[1], LDAPEXT_ADMIN_OID(21));
    std::optional<ReplicaDatabase> database = own_database(context);
    if (database && database->writable())
        return Reply::refused("the writable replica of " + context +
                              " on this server takes writes of its own: it is not made anew from another");
    if (Reply removed = remove_own_replica(context); removed.code != code::kSuccess)
        return removed;
    return become_replica(context, kReadOnly);
}

// Request: OCTET STRING naming context, OCTET STRING server (empty: this
// one). Every peer's read-only replica of the naming context refreshes.
Reply send_all_updates(Request& request)
{
    Reply refused;
    std::optional<Run> run = read_checked(request, "ss", "two OCTET STRINGs", refused);
    if (!run)
        return refused;
    if (settings().peers.empty())
        return Reply::error(code::kSuccess, kNothingToSynchronise);
    const std::string& context = run->strings[0];
    if (!run->strings[1].empty() && !is_self(run->strings[1]))
        return pass_on(request, run->strings[1], LDAPEXT_ADMIN_OID(23));
    if (!own_database(context))
        return Reply::error(code::kNoSuchObject, "this server holds no replica of " + context);
    int refreshed = 0;
    std::string failures;
    for (const Settings::Peer& peer : settings().peers) {
        Reply answer = forward(peer.dn, LDAPEXT_ADMIN_OID(25), partition_sync_request(peer.dn, context));
        if (answer.code == code::kSuccess)
            ++refreshed;
        else if (answer.code != code::kNoSuchObject)
            failures += "; " + peer.dn + ": " + answer.text;
    }
    if (!failures.empty())
        return Reply::error(code::kOther, "not every replica of " + context + " refreshes" + failures);
    return Reply::error(code::kSuccess, std::to_string(refreshed) + " peers hold a replica of " + context +
                                            "; the read-only ones refresh");
}

// Request: OCTET STRING server, INTEGER.
Reply request_schema_sync(Request& request)
{
    Reply refused;
    std::optional<Run> run = read_checked(request, "si", "an OCTET STRING and an INTEGER", refused);
    if (!run)
        return refused;
    if (settings().peers.empty())
        return Reply::error(code::kSuccess, kNothingToSynchronise);
    return Reply::refused(
        "slapd keeps each server's schema in its own configuration (cn=schema,cn=config): copying one server's "
        "schema over another's while it runs can leave that server's entries in violation of it, and slapd "
        "cannot remove a schema element that is in use; change the schema on each server");
}

}  // namespace adminext
