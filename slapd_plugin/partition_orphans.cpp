// Orphan partitions: naming contexts with no parent partition on their
// server, which slapd holds as databases of their own (not glued under
// another). Made empty, with the requestor as their root DN, and removed
// only once empty.
#include <filesystem>

#include "configuration.h"
#include "directory.h"
#include "handlers.h"
#include "operation_names.h"
#include "partition_databases.h"
#include "replica_set.h"
#include "values.h"

namespace adminext {

namespace {

struct OrphanRequest {
    std::string dn, normal, server;
};

// Request: OCTET STRING dn, OCTET STRING server. Nothing, with *answer set,
// when the request is malformed or for another server (then passed on).
std::optional<OrphanRequest> read_orphan_request(Request& request, const char* name, Reply& answer)
{
    std::optional<Run> run = read_run(request.value(), "ss");
    if (!run) {
        answer = Reply::malformed("the request value must be two OCTET STRINGs");
        return std::nullopt;
    }
    const std::string& server = run->strings[1];
    if (!is_self(server)) {
        answer = !settings().peers.empty() ? pass_on(request, server, name)
                                       : Reply::error(code::kNoSuchObject, server + " is not this server");
        return std::nullopt;
    }
    std::optional<std::string> normal = partition_name(run->strings[0], answer);
    if (!normal)
        return std::nullopt;
    return OrphanRequest{run->strings[0], *normal, server};
}

}  // namespace

Reply split_orphan_partition(Request& request)
{
    Reply answer;
    std::optional<OrphanRequest> orphan = read_orphan_request(request, LDAPEXT_ADMIN_OID(39), answer);
    if (!orphan)
        return answer;
    const std::vector<Database> all = databases();
    if (const Database* holder = holder_of(all, orphan->normal)) {
        if (holder->suffix == orphan->normal)
            return Reply::error(code::kAlreadyExists, orphan->dn + " is already a naming context of this server");
        return Reply::refused(orphan->dn + " lies in the partition " + holder->suffix +
                              ": an orphan partition has no parent partition on its server (split this one instead)");
    }
    if (const Database* below = holding_below(all, orphan->normal, ""))
        return Reply::refused(orphan->dn + " would hold the naming context " + below->suffix);
    // Its folder goes where the others' are.
    std::string near;
    for (const Database& database : all)
        if (std::optional<ReplicaDatabase> own = own_database(database.suffix); own && !own->directory.empty()) {
            near = std::filesystem::path(own->directory).parent_path().string();
            break;
        }
    std::optional<std::string> folder = new_partition_folder(near);
    if (!folder)
        return Reply::error(code::kOther, "no folder can be made for the partition's database");
    const std::vector<Modification> attributes = {
        {LDAP_MOD_ADD, "objectClass", {"olcDatabaseConfig", "olcMdbConfig"}},
        {LDAP_MOD_ADD, "olcDatabase", {"mdb"}},
        {LDAP_MOD_ADD, "olcSuffix", {orphan->dn}},
        {LDAP_MOD_ADD, "olcDbDirectory", {*folder}},
        {LDAP_MOD_ADD, "olcRootDN", {request.requestor()}},
        {LDAP_MOD_ADD, "olcDbIndex", {"objectClass eq"}},
    };
    ChangeResult added = change_entry("olcDatabase=mdb,cn=config", attributes, true);
    if (added.code != code::kSuccess) {
        std::error_code ignored;
        std::filesystem::remove_all(*folder, ignored);
        return Reply::error(added.code, "the partition's database cannot be configured: " + added.message);
    }
    return Reply::error(code::kSuccess, orphan->dn + " is a naming context of its own, empty, with " +
                                            request.requestor() + " as its root DN (database " + *folder + ")");
}

Reply remove_orphan_partition(Request& request)
{
    Reply answer;
    std::optional<OrphanRequest> orphan = read_orphan_request(request, LDAPEXT_ADMIN_OID(41), answer);
    if (!orphan)
        return answer;
    const std::vector<Database> all = databases();
    const Database* own = holder_of(all, orphan->normal);
    if (own == nullptr || own->suffix != orphan->normal)
        return Reply::error(code::kNoSuchObject, orphan->dn + " is not a naming context of this server");
    if (own->subordinate)
        return Reply::refused(orphan->dn + " is glued under another partition: merge it instead");
    if (const Database* below = holding_below(all, orphan->normal, own->suffix))
        return Reply::refused(orphan->dn + " holds the partition " + below->suffix + ": merge or remove it first");
    std::optional<ReplicaDatabase> database = own_database(own->suffix);
    if (!database)
        return Reply::error(code::kNoSuchObject, orphan->dn + " is not a naming context of this server");
    if (std::string why = unmovable(*database); !why.empty())
        return Reply::refused(why);
    const std::size_t held = read_entries(orphan->dn, LDAP_SCOPE_SUBTREE, "(objectClass=*)", {"1.1"}).size();
    if (held > 0)
        return Reply::error(code::kNotAllowedOnNonLeaf, orphan->dn + " still holds " + std::to_string(held) +
                                                            " entries: a naming context is removed once empty");
    ChangeResult removed = delete_entry(database->config_dn);
    if (removed.code != code::kSuccess)
        return Reply::error(removed.code, "the partition's database cannot be removed: " + removed.message);
    if (is_partition_folder(database->directory)) {
        std::error_code ignored;
        std::filesystem::remove_all(database->directory, ignored);
    }
    return {};
}

}  // namespace adminext
