// Partitions split off and merged back: a subtree of a database becomes a
// database of its own, glued under its parent's (slapd's subordinate
// databases), and back. The entries move as they are (their entryUUID,
// creators and timestamps kept), through slapd's own update path,
// while clients' operations on the subtree wait (partition_guard.h): no
// client sees an entry missing or twice. Each step that fails, and an abort,
// undoes the steps before it. While the entries are between databases they
// are also in moved-entries.ldif in the new partition's folder (a split) or
// the partition's (a merge), kept when they could not be put back.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "directory.h"
#include "handlers.h"
#include "names.h"
#include "partition_databases.h"
#include "partition_guard.h"
#include "replica_set.h"
#include "server_state.h"
#include "values.h"

namespace adminext {

namespace {

// The operational attributes that make an entry the same entry in another
// database. slapd makes the others, among them a new entryCSN: the move is
// a change (and slapd lets nobody set one but replication).
const std::vector<std::string> kKeptOperational = {"entryUUID", "creatorsName", "createTimestamp", "modifiersName",
                                                   "modifyTimestamp"};
constexpr char kJournal[] = "/moved-entries.ldif";

std::size_t depth(std::string_view dn)
{
    std::size_t count = 0;
    for (; !dn.empty(); dn = parent_dn(dn))
        ++count;
    return count;
}

// The subtree's entries, parents before children.
std::vector<LdifEntry> read_subtree(const std::string& base)
{
    std::vector<LdifEntry> entries = read_subtree_as_it_is(base, kKeptOperational);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const LdifEntry& a, const LdifEntry& b) { return depth(a.dn) < depth(b.dn); });
    return entries;
}

std::size_t count_subtree(const std::string& base)
{
    return read_entries(base, LDAP_SCOPE_SUBTREE, "(objectClass=*)", {"1.1"}).size();
}

// The entries, as LDIF, in the folder's journal: readable by slapd's user
// alone, as the database's own files are. Never over the journal of an
// earlier move that could not be undone.
bool write_journal(const std::string& folder, const std::vector<LdifEntry>& entries)
{
    const int descriptor = open((folder + kJournal).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    bool written = true;
    for (const LdifEntry& entry : entries) {
        const std::string text = write_ldif(entry) + "\n";
        for (std::size_t done = 0; written && done < text.size();) {
            const ssize_t wrote = write(descriptor, text.data() + done, text.size() - done);
            written = wrote > 0;
            done += written ? static_cast<std::size_t>(wrote) : 0;
        }
    }
    return close(descriptor) == 0 && written;
}

ChangeResult add_as_it_was(const LdifEntry& entry)
{
    std::vector<Modification> attributes;
    for (const Attribute& attribute : entry.attributes)
        attributes.push_back({LDAP_MOD_ADD, attribute.type, attribute.values});
    ModList list(attributes);
    return add_entry_as_it_was(entry.dn, list.get());
}

// Takes a partition's database out of the configuration (its files stay).
// slapd 2.5 unglues a database only when its olcSubordinate goes first:
// deleting a glued database leaves its superior pointing at it. When the
// delete fails the database is glued again.
ChangeResult remove_partition_database(const std::string& config_dn)
{
    ChangeResult result = change_entry(config_dn, {{LDAP_MOD_DELETE, "olcSubordinate", {}}}, false);
    if (result.code != code::kSuccess)
        return result;
    result = delete_entry(config_dn);
    if (result.code != code::kSuccess)
        change_entry(config_dn, {{LDAP_MOD_ADD, "olcSubordinate", {"TRUE"}}}, false);
    return result;
}

// A move of entries, step by step, with what undoes each step done.
class Move {
public:
    Move(std::vector<LdifEntry> entries, const PartitionGuard& guard) : entries_(std::move(entries)), guard_(guard) {}

    // Removes the entries, children first; false (with why) on a failure
    // or an abort.
    bool remove(std::string& why)
    {
        for (; removed_ < entries_.size(); ++removed_) {
            if (guard_.abort_requested())
                return aborted(why);
            const LdifEntry& entry = entries_[entries_.size() - 1 - removed_];
            if (ChangeResult result = delete_entry(entry.dn); result.code != code::kSuccess)
                return failed(why, entry.dn + " cannot be removed: " + result.message, result.code);
        }
        return true;
    }

    // Adds them where they now belong, parents first.
    bool add(std::string& why)
    {
        for (; added_ < entries_.size(); ++added_) {
            if (guard_.abort_requested())
                return aborted(why);
            const LdifEntry& entry = entries_[added_];
            if (ChangeResult result = add_as_it_was(entry); result.code != code::kSuccess)
                return failed(why, entry.dn + " cannot be added: " + result.message, result.code);
        }
        return true;
    }

    // Takes back what add() and remove() did, around `between` (which
    // undoes the configuration change made in between, if any); false
    // when an entry could not be put back.
    template <class Between>
    bool undo(Between between)
    {
        bool whole = true;
        for (std::size_t i = added_; i-- > 0;)
            whole = delete_entry(entries_[i].dn).code == code::kSuccess && whole;
        added_ = 0;
        whole = between() && whole;
        for (std::size_t i = entries_.size() - removed_; i < entries_.size(); ++i)
            whole = add_as_it_was(entries_[i]).code == code::kSuccess && whole;
        removed_ = 0;
        return whole;
    }

    int code() const { return code_; }
    std::size_t size() const { return entries_.size(); }

private:
    bool aborted(std::string& why)
    {
        code_ = code::kCancelled;
        why = "aborted on request";
        return false;
    }
    bool failed(std::string& why, std::string text, int result)
    {
        code_ = result == code::kSuccess ? code::kOther : result;
        why = std::move(text);
        return false;
    }

    std::vector<LdifEntry> entries_;
    const PartitionGuard& guard_;
    std::size_t removed_ = 0, added_ = 0;
    int code_ = code::kOther;
};

struct Target {
    std::int32_t flags = 0;
    std::string dn, normal;
};

std::optional<Target> read_target(Request& request, Reply& refused)
{
    std::optional<Run> run = read_run(request.value(), "is");
    if (!run) {
        refused = Reply::malformed("the request value must be an INTEGER and an OCTET STRING");
        return std::nullopt;
    }
    std::optional<std::string> normal = partition_name(run->strings[0], refused);
    if (!normal)
        return std::nullopt;
    return Target{run->integers[0], run->strings[0], *normal};
}

std::string outcome(const std::string& what, const std::string& why, bool undone, const std::string& folder)
{
    return what + " did not happen: " + why +
           (undone ? "; the tree is as it was" : "; not every entry could be put back: they are in " + folder + kJournal);
}

// Starts holding back the operations on the subtree once those running
// have ended; refused while another move runs.
Reply hold_back(const PartitionGuard& guard, const std::string& dn)
{
    if (!guard.engaged())
        return Reply::error(code::kBusy,
                            "the partition at " + guard.busy_with() + " is being moved; one move runs at a time");
    if (!wait_for_running_operations())
        return Reply::refused("this slapd cannot hold back the operations on " + dn + " while it moves");
    return {};
}

}  // namespace

// Request: INTEGER flags (not used), OCTET STRING dn. The subtree at dn
// becomes a partition of its own.
Reply split_partition(Request& request)
{
    Reply refused;
    std::optional<Target> target = read_target(request, refused);
    if (!target)
        return refused;
    const std::vector<Database> all = databases();
    const Database* holder = holder_of(all, target->normal);
    if (holder == nullptr)
        return Reply::error(code::kNoSuchObject, "no database of this server holds " + target->dn);
    if (holder->suffix == target->normal)
        return Reply::error(code::kAlreadyExists, target->dn + " is already a partition of its own");
    if (const Database* below = holding_below(all, target->normal, holder->suffix))
        return Reply::refused(target->dn + " holds the partition " + below->suffix + ": split below it, or merge it first");
    std::optional<ReplicaDatabase> parent = own_database(holder->suffix);
    if (!parent)
        return Reply::error(code::kNoSuchObject, "no database of this server holds " + target->dn);
    if (std::string why = unmovable(*parent); !why.empty())
        return Reply::refused(why);
    int found = code::kSuccess;
    if (!read_entry(target->dn, &found))
        return Reply::error(found == code::kSuccess ? code::kNoSuchObject : found, "there is no entry " + target->dn);

    PartitionGuard guard(target->normal);
    if (Reply refused = hold_back(guard, target->dn); refused.code != code::kSuccess)
        return refused;
    // Next to the parent's folder when that is a partition's too.
    std::optional<std::string> folder = new_partition_folder(
        is_partition_folder(parent->directory) ? std::filesystem::path(parent->directory).parent_path().string()
                                               : parent->directory);
    if (!folder)
        return Reply::error(code::kOther, "no folder can be made for the partition's database");
    auto discard_folder = [&] {
        std::error_code ignored;
        std::filesystem::remove_all(*folder, ignored);
    };
    std::vector<LdifEntry> entries = read_subtree(target->dn);
    if (entries.empty() || !write_journal(*folder, entries)) {
        discard_folder();
        return Reply::error(code::kOther, "the entries under " + target->dn + " cannot be read or kept");
    }
    // The partition's name as the directory holds it.
    const std::string suffix = entries.front().dn;
    Move move(std::move(entries), guard);
    std::vector<Modification> attributes = {
        {LDAP_MOD_ADD, "objectClass", {"olcDatabaseConfig", "olcMdbConfig"}},
        {LDAP_MOD_ADD, "olcDatabase", {database_index(parent->config_dn) + "mdb"}},
        {LDAP_MOD_ADD, "olcSuffix", {suffix}},
        {LDAP_MOD_ADD, "olcSubordinate", {"TRUE"}},
        {LDAP_MOD_ADD, "olcDbDirectory", {*folder}},
        {LDAP_MOD_ADD, "olcDbMaxSize", {parent->max_size.empty() ? "1073741824" : parent->max_size}},
    };
    const std::pair<const char*, std::vector<std::string>> copied[] = {
        {"olcRootDN", parent->root_dn.empty() ? std::vector<std::string>{} : std::vector{parent->root_dn}},
        {"olcAccess", unordered(parent->access)},
        {"olcLimits", unordered(parent->limits)},
        {"olcDbIndex", parent->indexes},
        {"olcDbNoSync", parent->no_sync.empty() ? std::vector<std::string>{} : std::vector{parent->no_sync}}};
    for (const auto& [type, values] : copied)
        if (!values.empty())
            attributes.push_back({LDAP_MOD_ADD, type, values});
    const std::string config_dn = "olcDatabase=" + database_index(parent->config_dn) + "mdb,cn=config";

    std::string why;
    bool attached = false;
    auto detach = [&] {
        if (attached)
            attached = remove_partition_database(config_dn).code != code::kSuccess;
        return !attached;
    };
    bool done = move.remove(why);
    if (done) {
        ChangeResult configured = change_entry(config_dn, attributes, true);
        attached = configured.code == code::kSuccess;
        if (!attached) {
            why = "the partition's database cannot be configured: " + configured.message;
            done = false;
        }
    }
    done = done && move.add(why);
    if (done && count_subtree(target->dn) != move.size()) {
        why = "the new partition does not hold every entry";
        done = false;
    }
    if (!done) {
        const bool undone = move.undo(detach);
        if (undone && !attached)
            discard_folder();
        return Reply::error(move.code(), outcome("the split of " + target->dn, why, undone, *folder));
    }
    std::filesystem::remove(*folder + kJournal);
    return Reply::error(code::kSuccess, target->dn + " is a partition of its own (" + std::to_string(move.size()) +
                                            " entries, database " + *folder + ")");
}

// Request: INTEGER flags (not used), OCTET STRING dn. The partition at dn
// goes back into the database that holds its parent.
Reply merge_partitions(Request& request)
{
    Reply refused;
    std::optional<Target> target = read_target(request, refused);
    if (!target)
        return refused;
    const std::vector<Database> all = databases();
    const auto own = std::find_if(all.begin(), all.end(), [&](const Database& d) { return d.suffix == target->normal; });
    if (own == all.end())
        return Reply::error(code::kNoSuchObject, target->dn + " is not a partition of its own on this server");
    if (!own->subordinate)
        return Reply::refused(target->dn + " is not glued under another partition of this server: there is none to merge it into");
    const Database* holder = holder_of(all, target->normal, own->suffix);
    if (holder == nullptr)
        return Reply::refused("no partition of this server holds the parent of " + target->dn);
    if (const Database* below = holding_below(all, target->normal, own->suffix))
        return Reply::refused(target->dn + " holds the partition " + below->suffix + ": merge that first");
    std::optional<ReplicaDatabase> partition = own_database(own->suffix), parent = own_database(holder->suffix);
    if (!partition || !parent)
        return Reply::error(code::kNoSuchObject, target->dn + " is not a partition of its own on this server");
    for (const ReplicaDatabase* database : {&*partition, &*parent})
        if (std::string why = unmovable(*database); !why.empty())
            return Reply::refused(why);

    PartitionGuard guard(target->normal);
    if (Reply refused = hold_back(guard, target->dn); refused.code != code::kSuccess)
        return refused;
    std::vector<LdifEntry> configuration =
        read_entries(partition->config_dn, LDAP_SCOPE_BASE, "(objectClass=*)", {});
    std::vector<LdifEntry> entries = read_subtree(target->dn);
    const std::string& folder = partition->directory;
    if (std::filesystem::exists(folder + kJournal))
        return Reply::refused(folder + kJournal + " holds the entries of an earlier move that could not be undone: "
                                                  "put them back first");
    if (configuration.empty() || entries.empty() || !write_journal(folder, entries))
        return Reply::error(code::kOther, "the partition " + target->dn + " cannot be read or kept");
    Move move(std::move(entries), guard);

    // Its database leaves the configuration (its files stay until the end).
    bool detached = false;
    auto reattach = [&] {
        if (!detached)
            return true;
        std::vector<Modification> attributes;
        for (const Attribute& attribute : configuration.front().attributes)
            attributes.push_back({LDAP_MOD_ADD, attribute.type, unordered(attribute.values)});
        for (Modification& attribute : attributes)
            if (attribute.type == "olcDatabase")
                attribute.values = {database_index(partition->config_dn) + "mdb"};
        detached = change_entry(partition->config_dn, attributes, true).code != code::kSuccess;
        return !detached;
    };
    std::string why;
    ChangeResult removed = remove_partition_database(partition->config_dn);
    detached = removed.code == code::kSuccess;
    if (!detached)
        why = "the partition's database cannot leave the configuration: " + removed.message;
    bool done = detached && move.add(why);
    if (done && count_subtree(target->dn) != move.size()) {
        why = "the parent partition does not hold every entry";
        done = false;
    }
    if (!done) {
        const bool undone = move.undo(reattach);
        if (undone)
            std::filesystem::remove(folder + kJournal);
        return Reply::error(move.code(), outcome("the merge of " + target->dn, why, undone, folder));
    }
    std::error_code ignored;
    // Its files go too, when this plug-in made them.
    if (is_partition_folder(folder))
        std::filesystem::remove_all(folder, ignored);
    else
        std::filesystem::remove(folder + kJournal, ignored);
    return Reply::error(code::kSuccess, target->dn + " is merged into " + holder->suffix + " (" +
                                            std::to_string(move.size()) + " entries)");
}

// Request: INTEGER flags (not used), OCTET STRING dn. Stops the split or
// merge of the partition at dn; answers once it is undone.
Reply abort_partition_operation(Request& request)
{
    Reply refused;
    std::optional<Target> target = read_target(request, refused);
    if (!target)
        return refused;
    if (!abort_partition_move(target->normal))
        return Reply::error(code::kNoSuchObject, "no partition operation is in progress at " + target->dn);
    return Reply::error(code::kSuccess, "the partition operation at " + target->dn + " was stopped and undone");
}

}  // namespace adminext
