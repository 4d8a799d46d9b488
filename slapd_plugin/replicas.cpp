// Replicas on slapd's own replication. The other servers of a set are the
// plug-in's peer= arguments; a server holds a replica of a naming
// context when a database of its configuration has that suffix. The writable
// replica (type 0) is a database of its own; a read-only replica (type 2) is
// a database that slapd keeps a copy of a writable one in with syncrepl
// (refreshAndPersist), its provider serving it through the syncprov overlay.
// Each server answers for its own replicas: a request naming another server
// is passed to it, as the replicator, and its answer passed back.
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <memory>

#include "configuration.h"
#include "directory.h"
#include "handlers.h"
#include "names.h"
#include "operation_names.h"
#include "peer.h"
#include "values.h"

namespace adminext {

namespace {

constexpr std::int32_t kWritable = 0;
constexpr std::int32_t kReadOnly = 2;
constexpr std::int32_t kReplicaOn = 0;
constexpr std::int32_t kReplicaNew = 1;  // its first refresh has not ended

constexpr char kNoSet[] =
    "this server holds the only replica of each of its naming contexts (no peer= servers are configured): "
    "replicas cannot be added, removed or changed";

// A database of a server's configuration and what a replica needs of it.
struct Database {
    std::string config_dn;
    std::vector<std::string> syncrepl;  // empty: the writable replica
    std::string directory, max_size, created, root_dn;
    std::vector<std::string> access, limits;
};

const std::vector<std::string> kDatabaseTypes = {"olcSyncrepl", "olcDbDirectory", "olcDbMaxSize",   "olcAccess",
                                                 "olcLimits",   "olcRootDN",      "createTimestamp"};

std::optional<Database> database_from(const std::vector<LdifEntry>& found)
{
    if (found.empty())
        return std::nullopt;
    const LdifEntry& entry = found.front();
    auto first = [&](const char* type) {
        const std::vector<std::string>& values = values_of(entry, type);
        return values.empty() ? std::string() : values.front();
    };
    return Database{entry.dn,
                    values_of(entry, "olcSyncrepl"),
                    first("olcDbDirectory"),
                    first("olcDbMaxSize"),
                    first("createTimestamp"),
                    first("olcRootDN"),
                    values_of(entry, "olcAccess"),
                    values_of(entry, "olcLimits")};
}

std::string suffix_filter(const std::string& context) { return "(olcSuffix=" + filter_value(context) + ")"; }

// This server's database of the naming context.
std::optional<Database> own_database(const std::string& context)
{
    return database_from(read_entries("cn=config", LDAP_SCOPE_ONELEVEL, suffix_filter(context), kDatabaseTypes));
}

std::optional<Database> peer_database(Peer& peer, const std::string& context)
{
    std::vector<LdifEntry> found;
    peer.search("cn=config", LDAP_SCOPE_ONELEVEL, suffix_filter(context), kDatabaseTypes, &found);
    return database_from(found);
}

bool is_self(const std::string& server) { return normalize_dn(server) == normalize_dn(settings().server); }

// The replica number a syncrepl setting carries ("{0}rid=002 provider=...").
std::int32_t replica_id(const std::string& syncrepl)
{
    std::size_t at = syncrepl.find("rid=");
    return at == std::string::npos ? 0 : static_cast<std::int32_t>(std::strtol(syncrepl.c_str() + at + 4, nullptr, 10));
}

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

Reply relayed(const PeerAnswer& answer)
{
    Reply reply = Reply::error(answer.code, answer.text);
    if (answer.code == code::kSuccess && !answer.value.empty())
        reply.value = answer.value;
    return reply;
}

// Opens a connection to another server of the set as the replicator.
std::unique_ptr<Peer> reach(const std::string& server, Reply& refused)
{
    std::optional<std::string> uri = server_uri(server);
    if (!uri) {
        refused = Reply::error(code::kNoSuchObject, server + " is neither this server (" + settings().server +
                                                        ") nor one of its peers");
        return nullptr;
    }
    std::string error;
    std::unique_ptr<Peer> peer = Peer::open(*uri, error);
    if (!peer)
        refused = Reply::error(code::kUnavailable, error);
    return peer;
}

// Passes the request on to the server it names.
Reply forward(const std::string& server, const char* name, Request& request)
{
    Reply refused;
    std::unique_ptr<Peer> peer = reach(server, refused);
    if (!peer)
        return refused;
    return relayed(peer->extended(name, std::string(request.value())));
}

// Has the provider's database serve replicas: the syncprov module and
// overlay, added to its configuration unless they are there.
Reply serve_replicas(Peer& provider, const Database& database)
{
    std::vector<LdifEntry> found;
    provider.search("cn=config", LDAP_SCOPE_ONELEVEL, "(objectClass=olcModuleList)", {"olcModuleLoad"}, &found);
    bool loaded = false;
    for (const LdifEntry& modules : found)
        for (const std::string& module : values_of(modules, "olcModuleLoad"))
            loaded = loaded || module.find("syncprov") != std::string::npos;
    if (!loaded) {
        // ModList points into the values: they must outlive it.
        const std::vector<Modification> module = {{LDAP_MOD_ADD, "olcModuleLoad", {"syncprov"}}};
        const std::vector<Modification> modules = {{LDAP_MOD_ADD, "objectClass", {"olcModuleList"}},
                                                   {LDAP_MOD_ADD, "olcModuleLoad", {"syncprov"}}};
        ModList load(found.empty() ? modules : module);
        PeerAnswer answer = found.empty() ? provider.add("cn=module,cn=config", load.get())
                                          : provider.modify(found.front().dn, load.get());
        if (answer.code != code::kSuccess)
            return Reply::error(answer.code, "the provider cannot load syncprov: " + answer.text);
    }
    std::vector<LdifEntry> overlays;
    provider.search(database.config_dn, LDAP_SCOPE_ONELEVEL, "(objectClass=olcSyncProvConfig)", {"1.1"}, &overlays);
    if (!overlays.empty())
        return {};
    const std::vector<Modification> attributes = {
        {LDAP_MOD_ADD, "objectClass", {"olcOverlayConfig", "olcSyncProvConfig"}},
        {LDAP_MOD_ADD, "olcOverlay", {"syncprov"}}};
    ModList overlay(attributes);
    PeerAnswer answer = provider.add("olcOverlay=syncprov," + database.config_dn, overlay.get());
    if (answer.code != code::kSuccess)
        return Reply::error(answer.code, "the provider cannot serve replicas (syncprov): " + answer.text);
    return {};
}

// The values of a list with their "{n}" order prefixes left out.
std::vector<std::string> unordered(const std::vector<std::string>& values)
{
    std::vector<std::string> plain;
    for (const std::string& value : values)
        plain.push_back(value.size() > 1 && value[0] == '{' && value.find('}') != std::string::npos
                            ? value.substr(value.find('}') + 1)
                            : value);
    return plain;
}

// This server becomes a read-only replica of the naming context: a new
// database that syncrepl fills from a server of the set that holds the
// writable one, with that database's access rules and limits.
Reply become_replica(const std::string& context)
{
    if (own_database(context))
        return Reply::error(code::kAlreadyExists, "this server already holds a replica of " + context);
    if (context.find('"') != std::string::npos)
        return Reply::refused("a naming context whose name holds a quote cannot be replicated");
    std::unique_ptr<Peer> provider;
    std::optional<Database> source;
    std::string provider_uri;
    for (const Settings::Peer& server : settings().peers) {
        Reply unreachable;
        std::unique_ptr<Peer> peer = reach(server.dn, unreachable);
        if (!peer)
            continue;
        std::optional<Database> database = peer_database(*peer, context);
        if (database && database->syncrepl.empty()) {
            provider = std::move(peer);
            source = std::move(database);
            provider_uri = server.uri;
            break;
        }
    }
    if (!provider)
        return Reply::refused("no peer of this server holds a writable replica of " + context);
    if (Reply refused = serve_replicas(*provider, *source); refused.code != code::kSuccess)
        return refused;

    std::int32_t rid = 0;
    for (const LdifEntry& entry : read_entries("cn=config", LDAP_SCOPE_ONELEVEL, "(olcSyncrepl=*)", {"olcSyncrepl"}))
        for (const std::string& value : values_of(entry, "olcSyncrepl"))
            rid = std::max(rid, replica_id(value));
    if (rid >= 999)
        return Reply::refused("this server has used every replica number (1 to 999)");
    char number[16];
    std::snprintf(number, sizeof number, "%03d", static_cast<int>(rid) + 1);
    const std::string directory = settings().replicas + "/replica-" + number;
    if (mkdir(directory.c_str(), 0700) != 0)
        return Reply::error(code::kOther, "the database folder " + directory + " cannot be made");
    const std::string syncrepl = std::string("rid=") + number + " provider=" + provider_uri +
                                 " bindmethod=simple binddn=\"" + settings().replicator + "\" credentials=" +
                                 replicator_secret() + " searchbase=\"" + context +
                                 "\" type=refreshAndPersist retry=\"5 +\" timeout=5 network-timeout=5";
    std::vector<Modification> attributes = {
        {LDAP_MOD_ADD, "objectClass", {"olcDatabaseConfig", "olcMdbConfig"}},
        {LDAP_MOD_ADD, "olcDatabase", {"mdb"}},
        {LDAP_MOD_ADD, "olcSuffix", {context}},
        {LDAP_MOD_ADD, "olcDbDirectory", {directory}},
        {LDAP_MOD_ADD, "olcDbMaxSize", {source->max_size.empty() ? "1073741824" : source->max_size}},
        // syncrepl writes as the database's root DN: the provider's, with
        // no password here, so nobody binds as it on this server.
        {LDAP_MOD_ADD, "olcRootDN", {source->root_dn.empty() ? settings().replicator : source->root_dn}},
        {LDAP_MOD_ADD, "olcSyncrepl", {syncrepl}},
        {LDAP_MOD_ADD, "olcUpdateRef", {provider_uri}},
    };
    if (!source->access.empty())
        attributes.push_back({LDAP_MOD_ADD, "olcAccess", unordered(source->access)});
    if (!source->limits.empty())
        attributes.push_back({LDAP_MOD_ADD, "olcLimits", unordered(source->limits)});
    ModList entry(attributes);
    ChangeResult added = add_entry("olcDatabase=mdb,cn=config", entry.get());
    if (added.code != code::kSuccess) {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
        return Reply::error(added.code == 0 ? code::kOther : added.code,
                            "the replica's database cannot be configured: " + added.message);
    }
    return Reply::error(code::kSuccess, "the replica is being refreshed from " + provider_uri);
}

Reply remove_own_replica(const std::string& context)
{
    std::optional<Database> database = own_database(context);
    if (!database)
        return Reply::error(code::kNoSuchObject, "this server holds no replica of " + context);
    if (database->syncrepl.empty())
        return Reply::refused("the writable replica of " + context +
                              " cannot be removed: it is the only one (the read-only replicas copy it)");
    ChangeResult removed = delete_entry(database->config_dn);
    if (removed.code != code::kSuccess)
        return Reply::error(removed.code, "the replica's database cannot be removed: " + removed.message);
    // Its files go too, when this plug-in made them.
    const std::string folder = settings().replicas + "/replica-";
    if (database->directory.compare(0, folder.size(), folder) == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(database->directory, ignored);
    }
    return {};
}

Reply own_replica_info(const std::string& context)
{
    std::optional<Database> database = own_database(context);
    if (!database)
        return Reply::error(code::kNoSuchObject, "this server (" + settings().server + ") holds no replica of " + context);
    const bool writable = database->syncrepl.empty();
    // A read-only replica is new until its first refresh has ended: slapd
    // then stores the provider's state (contextCSN) in the suffix entry.
    bool refreshed = writable;
    for (const LdifEntry& entry : read_entries(context, LDAP_SCOPE_BASE, "(objectClass=*)", {"contextCSN"}))
        refreshed = refreshed || !values_of(entry, "contextCSN").empty();
    const std::int32_t head[5] = {writable ? kWritable : kReadOnly, refreshed ? kReplicaOn : kReplicaNew,
                                  writable ? 1 : replica_id(database->syncrepl.front()), 0,
                                  static_cast<std::int32_t>(generalized_time(database->created))};
    const std::int32_t tail[2] = {0, 0};
    return Reply::success(write_replica_info(head, settings().server, tail));
}

}  // namespace

// Request: INTEGER flags, INTEGER type, OCTET STRING server, OCTET STRING
// naming context.
Reply add_replica(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "iiss");
    if (!run)
        return Reply::malformed("the request value must be two INTEGERs and two OCTET STRINGs");
    if (settings().peers.empty())
        return Reply::refused(kNoSet);
    if (run->integers[1] != kReadOnly)
        return Reply::refused("this server adds read-only replicas (type 2) only; the writable replica (type 0) is "
                              "the database that holds the naming context, and slapd keeps one writable replica");
    const std::string& server = run->strings[0];
    if (!is_self(server))
        return forward(server, LDAPEXT_ADMIN_OID(7), request);
    return become_replica(run->strings[1]);
}

// Request: INTEGER flags, OCTET STRING server, OCTET STRING naming context.
Reply remove_replica(Request& request)
{
    std::optional<Run> run = read_run(request.value(), "iss");
    if (!run)
        return Reply::malformed("the request value must be an INTEGER and two OCTET STRINGs");
    if (settings().peers.empty())
        return Reply::refused(kNoSet);
    if (!is_self(run->strings[0]))
        return forward(run->strings[0], LDAPEXT_ADMIN_OID(11), request);
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
        return forward(server, LDAPEXT_ADMIN_OID(17), request);
    }
    return own_replica_info(run->strings[1]);
}

}  // namespace adminext
