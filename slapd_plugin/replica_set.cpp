#include "replica_set.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "configuration.h"
#include "directory.h"
#include "names.h"

namespace adminext {

const char kNoPeers[] =
    "this server holds the only replica of each of its naming contexts (no peer= servers are configured): "
    "replicas cannot be added, removed or changed";

namespace {

const std::vector<std::string> kDatabaseTypes = {"olcSuffix",   "olcSyncrepl", "olcDbDirectory",
                                                 "olcDbMaxSize", "olcDbNoSync", "olcAccess",
                                                 "olcLimits",  "olcRootDN",   "createTimestamp",
                                                 "olcDbIndex"};

std::optional<ReplicaDatabase> database_from(const std::vector<LdifEntry>& found)
{
    if (found.empty())
        return std::nullopt;
    const LdifEntry& entry = found.front();
    auto first = [&](const char* type) {
        const std::vector<std::string>& values = values_of(entry, type);
        return values.empty() ? std::string() : values.front();
    };
    return ReplicaDatabase{entry.dn,
                           values_of(entry, "olcSyncrepl"),
                           first("olcSuffix"),
                           first("olcDbDirectory"),
                           first("olcDbMaxSize"),
                           first("olcDbNoSync"),
                           first("createTimestamp"),
                           first("olcRootDN"),
                           values_of(entry, "olcAccess"),
                           values_of(entry, "olcLimits"),
                           values_of(entry, "olcDbIndex")};
}

std::string suffix_filter(const std::string& context) { return "(olcSuffix=" + filter_value(context) + ")"; }

Reply relayed(const PeerAnswer& answer)
{
    Reply reply = Reply::error(answer.code, answer.text);
    if (answer.code == code::kSuccess && !answer.value.empty())
        reply.value = answer.value;
    return reply;
}

// Has the provider's database serve replicas: the syncprov module and
// overlay, added to its configuration unless they are there.
Reply serve_replicas(Peer& provider, const ReplicaDatabase& database)
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


// The server= a peer's plug-in is loaded with (its olcPlugin value in its
// configuration); nothing when it gives none.
std::optional<std::string> peer_server_name(Peer& peer)
{
    std::vector<LdifEntry> frontend;
    peer.search("olcDatabase={-1}frontend,cn=config", LDAP_SCOPE_BASE, "(objectClass=*)", {"olcPlugin"}, &frontend);
    for (const LdifEntry& entry : frontend)
        for (const std::string& plugin : values_of(entry, "olcPlugin")) {
            if (plugin.find(" admin_extensions_init") == std::string::npos)
                continue;
            const std::size_t at = plugin.rfind(" server=");  // the last one holds
            if (at == std::string::npos)
                return std::nullopt;
            const std::size_t start = at + 8;
            return plugin.substr(start, plugin.find(' ', start) - start);
        }
    return std::nullopt;
}

// The access rules the provider applies to the database: its own, then
// the provider's global ones (its frontend's), then what slapd does where
// no rule applies (nothing is granted once there are rules; all may read
// where there are none). The replica thus never reaches this server's own
// global rules: it grants exactly what the provider grants.
std::vector<std::string> provider_access(Peer& provider, const ReplicaDatabase& database)
{
    std::vector<std::string> rules = unordered(database.access);
    std::vector<LdifEntry> frontend;
    provider.search("olcDatabase={-1}frontend,cn=config", LDAP_SCOPE_BASE, "(objectClass=*)", {"olcAccess"},
                    &frontend);
    for (const LdifEntry& entry : frontend)
        for (const std::string& rule : unordered(values_of(entry, "olcAccess")))
            rules.push_back(rule);
    rules.push_back(rules.empty() ? "to * by * read" : "to * by * none");
    return rules;
}

}  // namespace

std::optional<ReplicaDatabase> own_database(const std::string& context)
{
    return database_from(read_entries("cn=config", LDAP_SCOPE_ONELEVEL, suffix_filter(context), kDatabaseTypes));
}

std::optional<ReplicaDatabase> peer_database(Peer& peer, const std::string& context)
{
    std::vector<LdifEntry> found;
    peer.search("cn=config", LDAP_SCOPE_ONELEVEL, suffix_filter(context), kDatabaseTypes, &found);
    return database_from(found);
}

bool is_self(const std::string& server) { return normalize_dn(server) == normalize_dn(settings().server); }

std::vector<std::string> unordered(const std::vector<std::string>& values)
{
    std::vector<std::string> plain;
    for (const std::string& value : values)
        plain.push_back(value.size() > 1 && value[0] == '{' && value.find('}') != std::string::npos
                            ? value.substr(value.find('}') + 1)
                            : value);
    return plain;
}

std::int32_t replica_id(const std::string& syncrepl)
{
    const std::size_t at = syncrepl.find("rid=");
    return at == std::string::npos ? 0
                                   : static_cast<std::int32_t>(std::strtol(syncrepl.c_str() + at + 4, nullptr, 10));
}

std::unique_ptr<Peer> reach(const std::string& server, Reply& refused)
{
    std::optional<std::string> uri = server_uri(server);
    if (!uri) {
        refused = Reply::error(code::kNoSuchObject,
                               server + " is neither this server (" + settings().server + ") nor one of its peers");
        return nullptr;
    }
    std::string error;
    std::unique_ptr<Peer> peer = Peer::open(*uri, error);
    if (!peer) {
        refused = Reply::error(code::kUnavailable, error);
        return nullptr;
    }
    // The server there must call itself what this one calls it: else a
    // request passed on to it would be passed on again, round the set.
    std::optional<std::string> name = peer_server_name(*peer);
    if (name && normalize_dn(*name) != normalize_dn(server)) {
        refused = Reply::refused(*uri + " is " + *name + ", not " + server + ": the servers' peer= names disagree");
        return nullptr;
    }
    return peer;
}

Reply forward(const std::string& server, const char* name, const std::string& value)
{
    Reply refused;
    std::unique_ptr<Peer> peer = reach(server, refused);
    if (!peer)
        return refused;
    return relayed(peer->extended(name, value));
}

Reply pass_on(const Request& request, const std::string& server, const char* name)
{
    return forward(server, name, std::string(request.value()));
}

// This server becomes a read-only replica of the naming context: a new
// database that syncrepl fills from a server of the set that holds the
// writable one, with that database's access rules and limits.
Reply become_replica(const std::string& context)
{
    if (own_database(context))
        return Reply::error(code::kAlreadyExists, "this server already holds a replica of " + context);
    std::unique_ptr<Peer> provider;
    std::optional<ReplicaDatabase> source;
    std::string provider_uri;
    std::string unreachable_peers;
    for (const Settings::Peer& server : settings().peers) {
        Reply unreachable;
        std::unique_ptr<Peer> peer = reach(server.dn, unreachable);
        if (!peer) {
            unreachable_peers += "; " + server.dn + ": " + unreachable.text;
            continue;
        }
        std::optional<ReplicaDatabase> database = peer_database(*peer, context);
        if (database && database->syncrepl.empty()) {
            provider = std::move(peer);
            source = std::move(database);
            provider_uri = server.uri;
            break;
        }
    }
    if (!provider)
        return Reply::refused("no peer of this server holds a writable replica of " + context + unreachable_peers);
    // The provider's own name of the naming context goes into the settings,
    // never the request's.
    const std::string& suffix = source->suffix;
    if (suffix.empty() || suffix.find_first_of("\"\\") != std::string::npos)
        return Reply::refused("a naming context whose name holds a quote or a backslash cannot be replicated");
    std::vector<std::string> access = provider_access(*provider, *source);
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
    // A provider reached over ldap:// is read through TLS (StartTLS), so the
    // replicator's password and the data never cross the network in clear.
    const std::string syncrepl = std::string("rid=") + number + " provider=" + provider_uri +
                                 " bindmethod=simple binddn=\"" + settings().replicator + "\" credentials=" +
                                 replicator_secret() + " searchbase=\"" + suffix +
                                 "\" type=refreshAndPersist retry=\"5 +\" timeout=1 network-timeout=5" +
                                 (provider_uri.rfind("ldap://", 0) == 0 ? " starttls=critical" : "");
    std::vector<Modification> attributes = {
        {LDAP_MOD_ADD, "objectClass", {"olcDatabaseConfig", "olcMdbConfig"}},
        {LDAP_MOD_ADD, "olcDatabase", {"mdb"}},
        {LDAP_MOD_ADD, "olcSuffix", {suffix}},
        {LDAP_MOD_ADD, "olcAccess", access},
        {LDAP_MOD_ADD, "olcDbDirectory", {directory}},
        {LDAP_MOD_ADD, "olcDbMaxSize", {source->max_size.empty() ? "1073741824" : source->max_size}},
        // syncrepl writes as the database's root DN: the provider's, with
        // no password here, so nobody binds as it on this server.
        {LDAP_MOD_ADD, "olcRootDN", {source->root_dn.empty() ? settings().replicator : source->root_dn}},
        {LDAP_MOD_ADD, "olcSyncrepl", {syncrepl}},
        {LDAP_MOD_ADD, "olcUpdateRef", {provider_uri}},
    };
    if (!source->limits.empty())
        attributes.push_back({LDAP_MOD_ADD, "olcLimits", unordered(source->limits)});
    // The provider's indexes, and those syncrepl looks entries up by: without
    // them each change it receives searches the whole copy.
    std::vector<std::string> indexes = source->indexes;
    for (const char* needed : {"entryUUID eq", "entryCSN eq"}) {
        const std::string type = std::string(needed).substr(0, std::string(needed).find(' '));
        const bool present = std::any_of(indexes.begin(), indexes.end(), [&](const std::string& index) {
            return strncasecmp(index.c_str(), type.c_str(), type.size()) == 0 &&
                   (index.size() == type.size() || index[type.size()] == ' ' || index[type.size()] == ',');
        });
        if (!present)
            indexes.emplace_back(needed);
    }
    attributes.push_back({LDAP_MOD_ADD, "olcDbIndex", indexes});
    // The replica flushes its writes as its provider does.
    if (!source->no_sync.empty())
        attributes.push_back({LDAP_MOD_ADD, "olcDbNoSync", {source->no_sync}});
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
    std::optional<ReplicaDatabase> database = own_database(context);
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

}  // namespace adminext
