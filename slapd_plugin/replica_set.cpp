#include "replica_set.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "configuration.h"
#include "directory.h"
#include "names.h"
#include "server_state.h"

namespace adminext {

const char kNoPeers[] =
    "this server holds the only replica of each of its naming contexts (no peer= servers are configured): "
    "replicas cannot be added, removed or changed";

namespace {

const std::vector<std::string> kDatabaseTypes = {"olcSuffix",   "olcSyncrepl", "olcDbDirectory",
                                                 "olcDbMaxSize", "olcDbNoSync", "olcAccess",
                                                 "olcLimits",  "olcRootDN",   "createTimestamp",
                                                 "olcDbIndex", "olcMultiProvider", "olcUpdateRef"};

// The folders of the databases the plug-in makes for replicas.
constexpr char kReplicaFolder[] = "/replica-";

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
                           strcasecmp(first("olcMultiProvider").c_str(), "TRUE") == 0,
                           first("olcSuffix"),
                           first("olcDbDirectory"),
                           first("olcDbMaxSize"),
                           first("olcDbNoSync"),
                           first("createTimestamp"),
                           first("olcRootDN"),
                           values_of(entry, "olcAccess"),
                           values_of(entry, "olcLimits"),
                           values_of(entry, "olcDbIndex"),
                           values_of(entry, "olcUpdateRef")};
}

std::string suffix_filter(const std::string& context) { return "(olcSuffix=" + filter_value(context) + ")"; }

Reply relayed(const PeerAnswer& answer)
{
    Reply reply = Reply::error(answer.code, answer.text);
    if (answer.code == code::kSuccess && !answer.value.empty())
        reply.value = answer.value;
    return reply;
}

// A server's configuration (cn=config): this server's through internal
// operations, a peer's over LDAP as the replicator. Replication changes
// both sides alike.
class Config {
public:
    virtual ~Config() = default;
    virtual std::vector<LdifEntry> search(const std::string& base, int scope, const std::string& filter,
                                          const std::vector<std::string>& types) = 0;
    virtual ChangeResult change(const std::string& dn, const std::vector<Modification>& changes, bool add) = 0;
};

class OwnConfig final : public Config {
public:
    std::vector<LdifEntry> search(const std::string& base, int scope, const std::string& filter,
                                  const std::vector<std::string>& types) override
    {
        return read_entries(base, scope, filter, types);
    }
    ChangeResult change(const std::string& dn, const std::vector<Modification>& changes, bool add) override
    {
        return change_entry(dn, changes, add);
    }
};

class PeerConfig final : public Config {
public:
    explicit PeerConfig(Peer& peer) : peer_(peer) {}
    std::vector<LdifEntry> search(const std::string& base, int scope, const std::string& filter,
                                  const std::vector<std::string>& types) override
    {
        std::vector<LdifEntry> found;
        peer_.search(base, scope, filter, types, &found);
        return found;
    }
    ChangeResult change(const std::string& dn, const std::vector<Modification>& changes, bool add) override
    {
        ModList list(changes);
        PeerAnswer answer = add ? peer_.add(dn, list.get()) : peer_.modify(dn, list.get());
        return {answer.code, answer.text};
    }

private:
    Peer& peer_;
};

// Has a database serve replicas: the syncprov module and overlay, added to
// its server's configuration unless they are there.
Reply serve_replicas(Config& config, const ReplicaDatabase& database)
{
    std::vector<LdifEntry> found =
        config.search("cn=config", LDAP_SCOPE_ONELEVEL, "(objectClass=olcModuleList)", {"olcModuleLoad"});
    bool loaded = false;
    for (const LdifEntry& modules : found)
        for (const std::string& module : values_of(modules, "olcModuleLoad"))
            loaded = loaded || module.find("syncprov") != std::string::npos;
    if (!loaded) {
        std::vector<Modification> load = {{LDAP_MOD_ADD, "olcModuleLoad", {"syncprov"}}};
        if (found.empty())
            load.insert(load.begin(), Modification{LDAP_MOD_ADD, "objectClass", {"olcModuleList"}});
        ChangeResult result = config.change(found.empty() ? "cn=module,cn=config" : found.front().dn, load, found.empty());
        if (result.code != code::kSuccess)
            return Reply::error(result.code, "syncprov cannot be loaded: " + result.message);
    }
    if (!config.search(database.config_dn, LDAP_SCOPE_ONELEVEL, "(objectClass=olcSyncProvConfig)", {"1.1"}).empty())
        return {};
    ChangeResult added = config.change("olcOverlay=syncprov," + database.config_dn,
                                       {{LDAP_MOD_ADD, "objectClass", {"olcOverlayConfig", "olcSyncProvConfig"}},
                                        {LDAP_MOD_ADD, "olcOverlay", {"syncprov"}}},
                                       true);
    if (added.code != code::kSuccess)
        return Reply::error(added.code, database.config_dn + " cannot serve replicas (syncprov): " + added.message);
    return {};
}

// The settings a server's plug-in is loaded with (its olcPlugin value);
// nothing when they cannot be read.
std::optional<Settings> plugin_settings(Config& config)
{
    for (const LdifEntry& entry : config.search("olcDatabase={-1}frontend,cn=config", LDAP_SCOPE_BASE,
                                                "(objectClass=*)", {"olcPlugin"}))
        for (const std::string& plugin : values_of(entry, "olcPlugin")) {
            std::vector<std::string> words;
            for (std::size_t at = 0; at < plugin.size();) {
                const std::size_t end = std::min(plugin.find(' ', at), plugin.size());
                if (end > at)
                    words.push_back(plugin.substr(at, end - at));
                at = end + 1;
            }
            // "{n} type path init arguments...": the arguments follow the
            // plug-in's init function.
            const auto init = std::find(words.begin(), words.end(), "admin_extensions_init");
            if (init == words.end())
                continue;
            std::string ignored;
            return parse_settings({init + 1, words.end()}, "", ignored);
        }
    return std::nullopt;
}

// The server number of each server of the set, for slapd's multi-provider
// replication (olcServerID): its place among the set's names, from 1. Every
// server of a set names the same servers, so each computes the same numbers.
int server_number(const std::string& server)
{
    std::vector<std::string> names = {normalize_dn(settings().server).value_or(settings().server)};
    for (const Settings::Peer& peer : settings().peers)
        names.push_back(normalize_dn(peer.dn).value_or(peer.dn));
    std::sort(names.begin(), names.end());
    const std::string name = normalize_dn(server).value_or(server);
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin()) + 1;
}

// Gives a server its number unless it has one; refused when it has another.
Reply number_server(Config& config, const std::string& server)
{
    const std::string number = std::to_string(server_number(server));
    std::string present;
    for (const LdifEntry& entry : config.search("cn=config", LDAP_SCOPE_BASE, "(objectClass=*)", {"olcServerID"}))
        for (const std::string& value : values_of(entry, "olcServerID"))
            present = value;
    if (present == number)
        return {};
    if (!present.empty())
        return Reply::refused(server + " has the server number " + present + " where the set gives it " + number +
                              " (its place among the set's server names)");
    ChangeResult set = config.change("cn=config", {{LDAP_MOD_REPLACE, "olcServerID", {number}}}, false);
    if (set.code != code::kSuccess)
        return Reply::error(set.code, server + " cannot be given its server number: " + set.message);
    return {};
}

// The syncrepl setting by which a database copies the naming context from
// provider_uri.
std::string syncrepl_setting(int rid, const std::string& provider_uri, const std::string& suffix)
{
    char number[16];
    std::snprintf(number, sizeof number, "%03d", rid);
    // A provider reached over ldap:// is read through TLS (StartTLS), so the
    // replicator's password and the data never cross the network in clear.
    return std::string("rid=") + number + " provider=" + provider_uri + " bindmethod=simple binddn=\"" +
           settings().replicator + "\" credentials=" + replicator_secret() + " searchbase=\"" + suffix +
           "\" type=refreshAndPersist retry=\"5 +\" timeout=1 network-timeout=5" +
           (provider_uri.rfind("ldap://", 0) == 0 ? " starttls=critical" : "");
}

// The next replica number free on a server.
int next_replica_id(Config& config)
{
    std::int32_t rid = 0;
    for (const LdifEntry& entry : config.search("cn=config", LDAP_SCOPE_ONELEVEL, "(olcSyncrepl=*)", {"olcSyncrepl"}))
        for (const std::string& value : values_of(entry, "olcSyncrepl"))
            rid = std::max(rid, replica_id(value));
    return rid + 1;
}

// The provider= of a syncrepl setting.
std::string provider_of(const std::string& syncrepl)
{
    const std::size_t at = syncrepl.find("provider=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + 9;
    return syncrepl.substr(start, syncrepl.find(' ', start) - start);
}

// The peer whose database another server's syncrepl reads from.
const Settings::Peer* peer_at(const std::string& uri)
{
    for (const Settings::Peer& peer : settings().peers)
        if (peer.uri == uri)
            return &peer;
    return nullptr;
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
    PeerConfig config(*peer);
    std::optional<Settings> there = plugin_settings(config);
    if (there && normalize_dn(there->server) != normalize_dn(server)) {
        refused =
            Reply::refused(*uri + " is " + there->server + ", not " + server + ": the servers' peer= names disagree");
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

namespace {

// Waits until this server's replica of the naming context has had its
// first refresh (slapd then stores its provider's state, contextCSN, in the
// suffix entry); false after ten minutes or when slapd stops. The consumer
// yields whenever slapd pauses (for each configuration change) and goes on
// when slapd's listener next looks at its tasks: woken meanwhile.
bool refreshed(const std::string& context)
{
    for (int waited = 0; waited < 6000 && !server_stopping(); ++waited) {
        wake_server();
        for (const LdifEntry& entry : read_entries(context, LDAP_SCOPE_BASE, "(objectClass=*)", {"contextCSN"}))
            if (!values_of(entry, "contextCSN").empty())
                return true;
        allow_pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Makes a writable database on a peer also a consumer of this server's
// (multi-provider), so that writes made here reach it.
Reply provide_to(Peer& peer, const std::string& context)
{
    PeerConfig config(peer);
    std::optional<ReplicaDatabase> database = peer_database(peer, context);
    std::optional<Settings> there = plugin_settings(config);
    if (!database || !database->writable())
        return Reply::refused("the peer holds no writable replica of " + context);
    const std::optional<std::string> self = normalize_dn(settings().server);
    std::string my_uri;
    for (const Settings::Peer& known : there ? there->peers : std::vector<Settings::Peer>{})
        if (normalize_dn(known.dn) == self)
            my_uri = known.uri;
    if (my_uri.empty())
        return Reply::refused("the peer does not name this server (" + settings().server + ") with a peer= of its own");
    for (const std::string& value : database->syncrepl)
        if (provider_of(value) == my_uri)
            return {};
    std::vector<Modification> changes = {
        {LDAP_MOD_ADD, "olcSyncrepl", {syncrepl_setting(next_replica_id(config), my_uri, database->suffix)}},
        {LDAP_MOD_REPLACE, "olcMultiProvider", {"TRUE"}}};
    if (!database->update_ref.empty())
        changes.push_back({LDAP_MOD_DELETE, "olcUpdateRef", {}});
    ChangeResult changed = config.change(database->config_dn, changes, false);
    if (changed.code != code::kSuccess)
        return Reply::error(changed.code, "the peer's replica cannot read from this server: " + changed.message);
    return {};
}

// Stops a peer's database reading from this server's; it stays writable
// when it reads from another provider still, or has no syncrepl left.
Reply stop_providing_to(Peer& peer, const std::string& context)
{
    PeerConfig config(peer);
    std::optional<ReplicaDatabase> database = peer_database(peer, context);
    if (!database)
        return {};
    std::vector<std::string> mine;
    std::optional<Settings> there = plugin_settings(config);
    const std::optional<std::string> self = normalize_dn(settings().server);
    for (const Settings::Peer& known : there ? there->peers : std::vector<Settings::Peer>{})
        if (normalize_dn(known.dn) == self)
            for (const std::string& value : database->syncrepl)
                if (provider_of(value) == known.uri)
                    mine.push_back(value);
    if (mine.empty())
        return {};
    std::vector<Modification> changes;
    // Multi-provider needs a syncrepl: it goes first when none stays.
    if (mine.size() == database->syncrepl.size())
        changes.push_back({LDAP_MOD_REPLACE, "olcMultiProvider", {"FALSE"}});
    changes.push_back({LDAP_MOD_DELETE, "olcSyncrepl", mine});
    ChangeResult changed = config.change(database->config_dn, changes, false);
    if (changed.code != code::kSuccess)
        return Reply::error(changed.code, "the peer's replica cannot stop reading from this server: " + changed.message);
    return {};
}

// Every peer stops reading from this server's replica.
Reply stop_providing(const std::string& context)
{
    for (const Settings::Peer& server : settings().peers) {
        Reply unreachable;
        std::unique_ptr<Peer> peer = reach(server.dn, unreachable);
        if (!peer)
            return Reply::error(unreachable.code, "the replicas that read from this one cannot all be told: " +
                                                      unreachable.text);
        if (Reply refused = stop_providing_to(*peer, context); refused.code != code::kSuccess)
            return refused;
    }
    return {};
}

// This server's own replica of the naming context becomes writable: it
// serves replicas (syncprov), has a server number, takes writes, and its
// provider reads from it in turn.
Reply make_writable(const std::string& context, const ReplicaDatabase& database, Peer& provider)
{
    OwnConfig own;
    PeerConfig theirs(provider);
    std::optional<Settings> there = plugin_settings(theirs);
    for (Reply refused : {number_server(own, settings().server),
                          there ? number_server(theirs, there->server) : Reply::refused("the provider's settings cannot be read"),
                          serve_replicas(own, database)})
        if (refused.code != code::kSuccess)
            return refused;
    std::vector<Modification> changes = {{LDAP_MOD_REPLACE, "olcMultiProvider", {"TRUE"}}};
    if (!database.update_ref.empty())
        changes.push_back({LDAP_MOD_DELETE, "olcUpdateRef", {}});
    ChangeResult changed = own.change(database.config_dn, changes, false);
    if (changed.code != code::kSuccess)
        return Reply::error(changed.code, "the replica cannot take writes: " + changed.message);
    if (!refreshed(context))
        return Reply::error(code::kBusy, "the replica's first refresh has not ended; its provider does not read from it yet");
    return provide_to(provider, context);
}

}  // namespace

std::int32_t ReplicaDatabase::type() const
{
    if (!writable())
        return kReadOnly;
    return directory.find(kReplicaFolder) != std::string::npos ? kSecondary : kWritable;
}

// This server becomes a replica of the naming context: a new database that
// syncrepl fills from a server of the set that holds a writable one, with
// that database's access rules and limits; a secondary one then takes
// writes too, its provider reading from it in turn.
Reply become_replica(const std::string& context, std::int32_t type)
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
        if (database && database->writable()) {
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
    PeerConfig provider_config(*provider);
    if (Reply refused = serve_replicas(provider_config, *source); refused.code != code::kSuccess)
        return refused;

    OwnConfig own;
    const int rid = next_replica_id(own);
    if (rid > 999)
        return Reply::refused("this server has used every replica number (1 to 999)");
    char number[16];
    std::snprintf(number, sizeof number, "%03d", rid);
    const std::string directory = settings().replicas + kReplicaFolder + number;
    if (mkdir(directory.c_str(), 0700) != 0)
        return Reply::error(code::kOther, "the database folder " + directory + " cannot be made");
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
        {LDAP_MOD_ADD, "olcSyncrepl", {syncrepl_setting(rid, provider_uri, suffix)}},
        {LDAP_MOD_ADD, "olcUpdateRef", {provider_uri}},
    };
    if (!source->limits.empty())
        attributes.push_back({LDAP_MOD_ADD, "olcLimits", unordered(source->limits)});
    // The provider's indexes, and those syncrepl looks entries up by: without
    // them each change it receives searches the whole copy.
    std::vector<std::string> indexes = source->indexes;
    for (const char* needed : {"entryUUID eq", "entryCSN eq"}) {
        const std::string type_name = std::string(needed).substr(0, std::string(needed).find(' '));
        const bool present = std::any_of(indexes.begin(), indexes.end(), [&](const std::string& index) {
            return strncasecmp(index.c_str(), type_name.c_str(), type_name.size()) == 0 &&
                   (index.size() == type_name.size() || index[type_name.size()] == ' ' ||
                    index[type_name.size()] == ',');
        });
        if (!present)
            indexes.emplace_back(needed);
    }
    attributes.push_back({LDAP_MOD_ADD, "olcDbIndex", indexes});
    // The replica flushes its writes as its provider does.
    if (!source->no_sync.empty())
        attributes.push_back({LDAP_MOD_ADD, "olcDbNoSync", {source->no_sync}});
    ChangeResult added = own.change("olcDatabase=mdb,cn=config", attributes, true);
    if (added.code != code::kSuccess) {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
        return Reply::error(added.code == 0 ? code::kOther : added.code,
                            "the replica's database cannot be configured: " + added.message);
    }
    wake_server();  // its consumer starts now
    if (type == kSecondary) {
        std::optional<ReplicaDatabase> made = own_database(context);
        Reply writable = made ? make_writable(context, *made, *provider)
                              : Reply::error(code::kOther, "the replica's database cannot be read back");
        if (writable.code != code::kSuccess) {
            remove_own_replica(context);
            return writable;
        }
        return Reply::error(code::kSuccess, "the replica was refreshed from " + provider_uri + " and takes writes");
    }
    return Reply::error(code::kSuccess, "the replica is being refreshed from " + provider_uri);
}

Reply change_own_replica_type(const std::string& context, std::int32_t type)
{
    std::optional<ReplicaDatabase> database = own_database(context);
    if (!database)
        return Reply::error(code::kNoSuchObject, "this server holds no replica of " + context);
    if (database->type() == type)
        return {};
    if (database->type() == kWritable)
        return Reply::refused("the master replica of " + context +
                              " stays what it is: the other replicas were copied from it");
    if (type == kSecondary) {
        const Settings::Peer* source = peer_at(provider_of(database->syncrepl.front()));
        Reply unreachable = Reply::refused("the replica's provider is no peer of this server");
        std::unique_ptr<Peer> provider = source != nullptr ? reach(source->dn, unreachable) : nullptr;
        if (!provider)
            return unreachable;
        return make_writable(context, *database, *provider);
    }
    // Writable to read-only: nobody reads from it any more, then it takes
    // no writes (clients are referred to its provider).
    if (Reply refused = stop_providing(context); refused.code != code::kSuccess)
        return refused;
    OwnConfig own;
    ChangeResult changed = own.change(database->config_dn,
                                      {{LDAP_MOD_REPLACE, "olcMultiProvider", {"FALSE"}},
                                       {LDAP_MOD_REPLACE, "olcUpdateRef", {provider_of(database->syncrepl.front())}}},
                                      false);
    if (changed.code != code::kSuccess)
        return Reply::error(changed.code, "the replica cannot become read-only: " + changed.message);
    return {};
}

Reply remove_own_replica(const std::string& context)
{
    std::optional<ReplicaDatabase> database = own_database(context);
    if (!database)
        return Reply::error(code::kNoSuchObject, "this server holds no replica of " + context);
    if (database->type() == kWritable)
        return Reply::refused("the master replica of " + context +
                              " cannot be removed: the other replicas were copied from it");
    if (database->type() == kSecondary)
        if (Reply refused = stop_providing(context); refused.code != code::kSuccess)
            return refused;
    // Its overlays (syncprov on a secondary) leave first.
    ChangeResult removed;
    for (const LdifEntry& overlay : read_entries(database->config_dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", {"1.1"}))
        if (removed.code == code::kSuccess)
            removed = delete_entry(overlay.dn);
    if (removed.code == code::kSuccess)
        removed = delete_entry(database->config_dn);
    if (removed.code != code::kSuccess)
        return Reply::error(removed.code, "the replica's database cannot be removed: " + removed.message);
    // Its files go too, when this plug-in made them.
    const std::string folder = settings().replicas + kReplicaFolder;
    if (database->directory.compare(0, folder.size(), folder) == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(database->directory, ignored);
    }
    return {};
}

}  // namespace adminext
