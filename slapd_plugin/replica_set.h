// This server's place in a set of peer servers that hold replicas of each
// other's naming contexts on slapd's own replication (syncrepl). The other
// servers are the plug-in's peer= arguments; a server holds a replica of a
// naming context when a database of its configuration has that suffix. The
// writable replica (type 0) is a database of its own; a read-only replica
// (type 2) is a database that syncrepl (refreshAndPersist) keeps a copy of
// a writable one in, its provider serving it through the syncprov overlay.
// Each server answers for its own replicas: a request naming another server
// is passed to it, as the replicator, and its answer passed back.
#ifndef SLAPD_PLUGIN_REPLICA_SET_H
#define SLAPD_PLUGIN_REPLICA_SET_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "peer.h"
#include "request.h"

namespace adminext {

// Replica types: the database that first held the naming context (master),
// writable replicas made since (secondary: slapd's multi-provider
// replication, each a provider and a consumer of the others), read-only
// ones (consumers).
inline constexpr std::int32_t kWritable = 0;
inline constexpr std::int32_t kSecondary = 1;
inline constexpr std::int32_t kReadOnly = 2;

// Why a server with no peers refuses to change its replicas.
extern const char kNoPeers[];

// A database of a server's configuration and what a replica needs of it.
struct ReplicaDatabase {
    std::string config_dn;
    std::vector<std::string> syncrepl;  // empty: the only writable replica
    bool multi_provider = false;        // writable with syncrepl: one of several providers
    std::string suffix, directory, max_size, no_sync, created, root_dn;
    std::vector<std::string> access, limits, indexes, update_ref;

    bool writable() const { return syncrepl.empty() || multi_provider; }
    // kWritable, kSecondary (a writable database the plug-in made) or
    // kReadOnly.
    std::int32_t type() const;
};

// This server's database of the naming context, or another's.
std::optional<ReplicaDatabase> own_database(const std::string& context);
std::optional<ReplicaDatabase> peer_database(Peer& peer, const std::string& context);

bool is_self(const std::string& server);
// The values of an ordered configuration attribute with their "{n}" order
// prefixes left out, as a new entry or a replacement takes them.
std::vector<std::string> unordered(const std::vector<std::string>& values);
// The replica number a syncrepl setting carries ("{0}rid=002 provider=...").
std::int32_t replica_id(const std::string& syncrepl);

// A connection to a peer as the replicator; nothing, with *refused set
// (32 for no peer, 52 when it cannot be reached, 53 when the server there
// calls itself otherwise), on failure.
std::unique_ptr<Peer> reach(const std::string& server, Reply& refused);
// Sends a request to a peer as the replicator; answers what it answered.
Reply forward(const std::string& server, const char* name, const std::string& value);
// Passes a client's request (named `name`) on to the server it names.
Reply pass_on(const Request& request, const std::string& server, const char* name);

// This server becomes a replica of the naming context (kReadOnly or
// kSecondary), copied from a peer that holds a writable one, with its
// access rules and limits.
Reply become_replica(const std::string& context, std::int32_t type);
// This server's replica of the naming context becomes of the given type
// (kReadOnly or kSecondary).
Reply change_own_replica_type(const std::string& context, std::int32_t type);
// This server drops its replica of the naming context (and the files the
// plug-in made for it); the master is refused.
Reply remove_own_replica(const std::string& context);

}  // namespace adminext

#endif
