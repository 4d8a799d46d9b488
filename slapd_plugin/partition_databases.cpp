#include "partition_databases.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "configuration.h"
#include "directory.h"
#include "names.h"

namespace adminext {

namespace {

constexpr char kFolderPrefix[] = "partition-";

}  // namespace

std::optional<std::string> partition_name(const std::string& dn, Reply& refused)
{
    std::optional<std::string> normal = normalize_dn(dn);
    if (!normal || normal->empty()) {
        refused = Reply::error(code::kInvalidDnSyntax, "\"" + dn + "\" names no entry");
        return std::nullopt;
    }
    return normal;
}

std::vector<Database> databases()
{
    std::vector<Database> found;
    for (const LdifEntry& entry :
         read_entries("cn=config", LDAP_SCOPE_ONELEVEL, "(olcSuffix=*)", {"olcSuffix", "olcSubordinate"}))
        for (const std::string& suffix : values_of(entry, "olcSuffix"))
            if (std::optional<std::string> normal = normalize_dn(suffix))
                found.push_back({entry.dn, *normal, !values_of(entry, "olcSubordinate").empty()});
    return found;
}

const Database* holder_of(const std::vector<Database>& all, const std::string& dn, const std::string& except)
{
    const Database* best = nullptr;
    for (const Database& database : all)
        if (database.suffix != except && dn_within(dn, database.suffix) &&
            (best == nullptr || database.suffix.size() > best->suffix.size()))
            best = &database;
    return best;
}

const Database* holding_below(const std::vector<Database>& all, const std::string& dn, const std::string& except)
{
    for (const Database& database : all)
        if (database.suffix != except && dn_within(database.suffix, dn))
            return &database;
    return nullptr;
}

std::string unmovable(const ReplicaDatabase& database)
{
    if (!database.syncrepl.empty())
        return database.config_dn + " is a replica: partitions change on a server with no replicas";
    std::string overlays;
    for (const LdifEntry& overlay : read_entries(database.config_dn, LDAP_SCOPE_ONELEVEL,
                                                 "(objectClass=olcOverlayConfig)", {"olcOverlay"}))
        for (const std::string& name : unordered(values_of(overlay, "olcOverlay")))
            if (name != "glue")  // slapd's own, for the partitions glued under it
                overlays += (overlays.empty() ? "" : ", ") + name;
    if (!overlays.empty())
        return database.config_dn + " has overlays (" + overlays +
               "): they would not see the entries of a partition glued under it, and replicas (served by "
               "syncprov) would see the moved entries deleted; remove the replicas first";
    return {};
}

std::optional<std::string> new_partition_folder(const std::string& near)
{
    const std::string base = settings().replicas.empty() ? near : settings().replicas;
    for (int number = 1; number <= 999; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "/%s%03d", kFolderPrefix, number);
        if (mkdir((base + name).c_str(), 0700) == 0)
            return base + name;
        if (errno != EEXIST)
            break;
    }
    return std::nullopt;
}

bool is_partition_folder(const std::string& folder)
{
    return std::filesystem::path(folder).filename().string().rfind(kFolderPrefix, 0) == 0;
}

std::string database_index(const std::string& config_dn)
{
    const std::size_t open = config_dn.find('{'), close = config_dn.find('}');
    return open == std::string::npos || close == std::string::npos || close < open
               ? std::string()
               : config_dn.substr(open, close - open + 1);
}

}  // namespace adminext
