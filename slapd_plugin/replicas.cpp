// The replica requests: add, remove, list and describe (replica_set.h).
#include <cstdio>
#include <ctime>

#include "configuration.h"
#include "directory.h"
#include "handlers.h"
#include "operation_names.h"
#include "replica_set.h"
#include "values.h"

namespace adminext {

namespace {

constexpr std::int32_t kReplicaOn = 0;
constexpr std::int32_t kReplicaNew = 1;  // its first refresh has not ended


std::time_t generalized_time(const std::string& text)
{
    std::tm parts{};
    if (text.size() < 14 || std::sscanf(text.c_str(), "%4d%2d%2d%2d%2d%2d", &parts.tm_year, &parts.tm_mon,
                                        &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 6)
        return 0;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return timegm(&parts);
}

Reply own_replica_info(const std::string& context)
{
    std::optional<ReplicaDatabase> database = own_database(context);
    if (!database)
        return Reply::error(code::kNoSuchObject, "this server (" + settings().server + ") holds no replica of " + context);
    const std::int32_t type = database->type();
    // A copy is new until its first refresh has ended: slapd then stores
    // the provider's state (contextCSN) in the suffix entry.
    bool refreshed = type == kWritable;
    for (const LdifEntry& entry : read_entries(context, LDAP_SCOPE_BASE, "(objectClass=*)", {"contextCSN"}))
        refreshed = refreshed || !values_of(entry, "contextCSN").empty();
    const std::int32_t head[5] = {type, refreshed ? kReplicaOn : kReplicaNew,
                                  type == kWritable ? 1 : replica_id(database->syncrepl.front()), 0,
                                  static_cast<std::int32_t>(generalized_time(database->created))};
    const std::int32_t tail[2] = {0, 0};
    return Reply::success(write_replica_info(head, settings().server, tail));
}

// The types a replica may be given: secondary (writable) or read-only.
Reply check_type(std::int32_t type)
{
    if (type == kSecondary || type == kReadOnly)
        return {};
    if (type == kWritable)
        return Reply::refused("a naming context has one master replica (type 0), the database that first held it; "
                              "a writable replica is a secondary one (type 1)");
    return Reply::refused("replica type " + std::to_string(type) +
                          " is none of this server's: 0 master, 1 secondary (writable), 2 read-only");
}

}  // namespace

namespace {

// Request: INTEGER flags, INTEGER type, OCTET STRING server, OCTET STRING
// naming context: done here by `own`, or passed on to the server named.
Reply typed_replica_request(Request& request, const char* name,
                            Reply (*own)(const std::string& context, std::int32_t type))
{
    std::optional<Run> run = read_run(request.value(), "iiss");
    if (!run)
        return Reply::malformed("the request value must be two INTEGERs and two OCTET STRINGs");
    if (settings().peers.empty())
        return Reply::refused(kNoPeers);
    if (Reply refused = check_type(run->integers[1]); refused.code != code::kSuccess)
        return refused;
    if (!is_self(run->strings[0]))
        return pass_on(request, run->strings[0], name);
    return own(run->strings[1], run->integers[1]);
}

}  // namespace

Reply add_replica(Request& request) { return typed_replica_request(request, LDAPEXT_ADMIN_OID(7), become_replica); }

Reply change_replica_type(Request& request)
{
    return typed_replica_request(request, LDAPEXT_ADMIN_OID(15), change_own_replica_type);
}

// Request: INTEGER flags, OCTET STRING server, OCTET STRING naming context.
Reply remove_replica(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "iss");
    if (!run)
        return Reply::malformed("the request value must be an INTEGER and two OCTET STRINGs");
    if (settings().peers.empty())
        return Reply::refused(kNoPeers);
    if (!is_self(run->strings[0]))
        return pass_on(request, run->strings[0], LDAPEXT_ADMIN_OID(11));
    return remove_own_replica(run->strings[1]);
}

// Request: OCTET STRING naming context. Answer: SEQUENCE OF OCTET STRING,
// the servers that hold a replica of it.
Reply list_replicas(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "s");
    if (!run)
        return Reply::malformed("the request value must be one OCTET STRING");
    const std::string& context = run->strings[0];
    std::vector<std::string> holders;
    if (own_database(context))
        holders.push_back(settings().server);
    for (const Settings::Peer& server : settings().peers) {
        Reply unreachable;
        std::unique_ptr<Peer> peer = reach(server.dn, unreachable);
        if (peer && peer_database(*peer, context))
            holders.push_back(server.dn);
    }
    if (holders.empty())
        return Reply::error(code::kNoSuchObject, context + " is not a naming context of this server or its set");
    return Reply::success(write_strings(holders));
}

// Request: OCTET STRING server, OCTET STRING naming context.
Reply replica_info(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "ss");
    if (!run)
        return Reply::malformed("the request value must be two OCTET STRINGs");
    const std::string& server = run->strings[0];
    if (!is_self(server)) {
        if (settings().peers.empty())
            return Reply::error(code::kNoSuchObject, "no replica of " + run->strings[1] + " is held by " + server +
                                                         "; this server is " + settings().server);
        return pass_on(request, server, LDAPEXT_ADMIN_OID(17));
    }
    return own_replica_info(run->strings[1]);
}

}  // namespace adminext
