// The databases of this server's configuration seen as partitions: which
// holds a name, what keeps entries from moving in or out of one, and where
// a new one goes.
#ifndef SLAPD_PLUGIN_PARTITION_DATABASES_H
#define SLAPD_PLUGIN_PARTITION_DATABASES_H

#include <optional>
#include <string>
#include <vector>

#include "replica_set.h"
#include "request.h"

namespace adminext {

struct Database {
    std::string config_dn, suffix;  // suffix normalised
    bool subordinate = false;       // glued under the database above it
};

std::vector<Database> databases();

// A partition's name as a request gives it, normalised; nothing, with
// *refused set to invalid DN syntax, when it names no entry.
std::optional<std::string> partition_name(const std::string& dn, Reply& refused);

// The database that holds dn: the one with the longest suffix above it,
// leaving out the one whose suffix is `except`; null when none does.
const Database* holder_of(const std::vector<Database>& all, const std::string& dn, const std::string& except = "\x01");

// The first database whose suffix lies at or below dn, other than the one
// whose suffix is `except`; null when none does.
const Database* holding_below(const std::vector<Database>& all, const std::string& dn, const std::string& except);

// Why entries cannot move into or out of a database; empty when they can.
std::string unmovable(const ReplicaDatabase& database);

// A new, empty folder for a partition's database: partition-NNN under the
// replicas= folder, else under `near` (a database's folder).
std::optional<std::string> new_partition_folder(const std::string& near);
// Whether the plug-in made the folder (and may remove it).
bool is_partition_folder(const std::string& folder);

// The "{n}" of a database's configuration entry, where a database put in
// its place goes before it (a subordinate comes before its superior).
std::string database_index(const std::string& config_dn);

}  // namespace adminext

#endif
