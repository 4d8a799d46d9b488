// Partitions, under their own names and under their naming-context names:
// split/create, merge, abort, count, split-orphan/create-orphan,
// remove-orphan.
#include <string>

#include "command.h"
#include "tervane_owners.h"

namespace cli {
namespace {

using FlagsCall = int(TERVANE_CALL*)(LDAP*, char*, int);
using CountCall = int(TERVANE_CALL*)(LDAP*, char*, int*);
using ServerCall = int(TERVANE_CALL*)(LDAP*, char*, char*);

// One operation under its two names; which export a command word reaches is
// looked up here by the word.
struct PartitionOperation {
    const char* partition_word;
    const char* context_word;
    const char* partition_export;
    const char* context_export;
    FlagsCall partition_flags, context_flags;
    CountCall partition_count, context_count;
    ServerCall partition_server, context_server;
};

const PartitionOperation kOperations[] = {
    {"split", "create", "ldap_split_partition", "ldap_create_naming_context", ldap_split_partition,
     ldap_create_naming_context, nullptr, nullptr, nullptr, nullptr},
    {"merge", "merge", "ldap_merge_partitions", "ldap_merge_naming_contexts", ldap_merge_partitions,
     ldap_merge_naming_contexts, nullptr, nullptr, nullptr, nullptr},
    {"abort", "abort", "ldap_abort_partition_operation", "ldap_abort_naming_context_operation",
     ldap_abort_partition_operation, ldap_abort_naming_context_operation, nullptr, nullptr, nullptr, nullptr},
    {"count", "count", "ldap_partition_entry_count", "ldap_naming_context_entry_count", nullptr, nullptr,
     ldap_partition_entry_count, ldap_naming_context_entry_count, nullptr, nullptr},
    {"split-orphan", "create-orphan", "ldap_split_orphan_partition", "ldap_create_orphan_naming_context", nullptr,
     nullptr, nullptr, nullptr, ldap_split_orphan_partition, ldap_create_orphan_naming_context},
    {"remove-orphan", "remove-orphan", "ldap_remove_orphan_partition", "ldap_remove_orphan_naming_context", nullptr,
     nullptr, nullptr, nullptr, ldap_remove_orphan_partition, ldap_remove_orphan_naming_context},
};

int run(Invocation& call)
{
    bool context = std::string(call.command().group) == "naming-context";
    const PartitionOperation* operation = nullptr;
    for (const PartitionOperation& candidate : kOperations)
        if (std::string(context ? candidate.context_word : candidate.partition_word) == call.command().action)
            operation = &candidate;
    std::string dn = call.arg(0);
    int flags = call.integer("flags", 0);
    std::string server = call.has_arg(1) ? call.arg(1) : std::string();
    const char* name = context ? operation->context_export : operation->partition_export;
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    if (FlagsCall flags_call = context ? operation->context_flags : operation->partition_flags) {
        call.check(flags_call(ld, dn.data(), flags), name);
        call.out().done(Json{{"dn", dn}, {"flags", flags}});
    } else if (CountCall count_call = context ? operation->context_count : operation->partition_count) {
        int count = 0;
        call.check(count_call(ld, dn.data(), &count), name);
        call.out().document(Json{{"dn", dn}, {"entries", count}});
    } else {
        ServerCall server_call = context ? operation->context_server : operation->partition_server;
        call.check(server_call(ld, dn.data(), server.data()), name);
        call.out().done(Json{{"dn", dn}, {"server", server}});
    }
    return 0;
}

const std::vector<OptionSpec> kFlags{{"flags", "N", "the operation's flags (default 0)"}};

const Command kCommands[] = {
    {"partition", "split", "DN", "split a partition at the entry DN", 1, 1, kFlags, run},
    {"partition", "merge", "DN", "merge the partition at DN into its parent", 1, 1, kFlags, run},
    {"partition", "abort", "DN", "abort the partition operation in progress at DN", 1, 1, kFlags, run},
    {"partition", "count", "DN", "count the entries of the partition DN", 1, 1, {}, run},
    {"partition", "split-orphan", "DN SERVER", "create an orphan partition at DN on SERVER", 2, 2, {}, run},
    {"partition", "remove-orphan", "DN SERVER", "remove the orphan partition DN from SERVER", 2, 2, {}, run},
    {"naming-context", "create", "DN", "same as partition split", 1, 1, kFlags, run},
    {"naming-context", "merge", "DN", "same as partition merge", 1, 1, kFlags, run},
    {"naming-context", "abort", "DN", "same as partition abort", 1, 1, kFlags, run},
    {"naming-context", "count", "DN", "same as partition count", 1, 1, {}, run},
    {"naming-context", "create-orphan", "DN SERVER", "same as partition split-orphan", 2, 2, {}, run},
    {"naming-context", "remove-orphan", "DN SERVER", "same as partition remove-orphan", 2, 2, {}, run},
};

}  // namespace

std::span<const Command> partition_commands() { return kCommands; }

}  // namespace cli
