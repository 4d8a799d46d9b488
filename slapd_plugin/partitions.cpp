// Partitions are the databases of slapd's configuration and this server
// holds the only replica of each: entry counts and the replica list and
// details are answered from that; synchronisation requests have nothing to
// do and succeed.
#include <ctime>

#include "configuration.h"
#include "directory.h"
#include "handlers.h"
#include "values.h"

namespace adminext {

namespace {

const std::time_t kStarted = std::time(nullptr);

// Replica details: type 0 (the master copy), state 0 (on), replica number 1,
// flags 0, the time the server started; the server; two counters, 0.
constexpr std::int32_t kMasterReplica = 0;
constexpr std::int32_t kReplicaOn = 0;
constexpr std::int32_t kReplicaNumber = 1;

Reply not_a_naming_context(const std::string& dn)
{
    return Reply::error(code::kNoSuchObject, dn + " is not a naming context of this server");
}

constexpr char kNothingToSynchronise[] = "nothing to synchronise: this server holds the only replica";

Reply accept_shape(Request& request, std::string_view shape, const char* description)
{
    if (!read_run(request.value(), shape))
        return Reply::malformed(std::string("the request value must be ") + description);
    return Reply::error(code::kSuccess, kNothingToSynchronise);
}

}  // namespace

// Request: OCTET STRING dn. Answer: INTEGER, the entries at and below dn.
Reply partition_entry_count(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "s");
    if (!run)
        return Reply::malformed("the request value must be one OCTET STRING");
    int count = 0;
    if (int rc = count_entries(request.pblock(), run->strings[0], &count); rc != code::kSuccess)
        return Reply::error(rc, "the entries under " + run->strings[0] + " cannot be counted");
    return Reply::success(write_integer(count));
}

// Request: OCTET STRING naming context. Answer: SEQUENCE OF OCTET STRING,
// this server alone.
Reply list_replicas(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "s");
    if (!run)
        return Reply::malformed("the request value must be one OCTET STRING");
    if (!is_naming_context(run->strings[0]))
        return not_a_naming_context(run->strings[0]);
    return Reply::success(write_strings({settings().server}));
}

// Request: OCTET STRING server, OCTET STRING naming context.
Reply replica_info(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "ss");
    if (!run)
        return Reply::malformed("the request value must be two OCTET STRINGs");
    const std::string& server = run->strings[0];
    const std::string& context = run->strings[1];
    if (!is_naming_context(context))
        return not_a_naming_context(context);
    if (normalize_dn(server) != normalize_dn(settings().server))
        return Reply::error(code::kNoSuchObject, "no replica of " + context + " is held by " + server +
                                                      "; this server is " + settings().server);
    const std::int32_t head[5] = {kMasterReplica, kReplicaOn, kReplicaNumber, 0, static_cast<std::int32_t>(kStarted)};
    const std::int32_t tail[2] = {0, 0};
    return Reply::success(write_replica_info(head, settings().server, tail));
}

// Synchronisation with other replicas: there are none. The requests are
// checked and succeed without effect.
Reply accept_receive_all_updates(Request& request)
{
    return accept_shape(request, "sss", "three OCTET STRINGs");
}

Reply accept_send_all_updates(Request& request) { return accept_shape(request, "ss", "two OCTET STRINGs"); }

Reply accept_partition_sync(Request& request)
{
    return accept_shape(request, "ssi", "two OCTET STRINGs and an INTEGER");
}

Reply accept_schema_sync(Request& request) { return accept_shape(request, "si", "an OCTET STRING and an INTEGER"); }

// Background processes and the refresh: slapd has none to run and no cache
// to refresh.
Reply accept_without_value(Request& request)
{
    if (request.has_value() && !request.value().empty())
        return Reply::malformed("this request carries no value");
    return Reply::error(code::kSuccess, "nothing to do: slapd runs no such process and keeps no cache to refresh");
}

}  // namespace adminext
