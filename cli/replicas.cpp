// Replicas: add, remove, change-type, info, list.
#include <string>

#include "command.h"
#include "tervane_owners.h"

namespace cli {
namespace {

// add and change-type: the same arguments for two requests.
int set_type(Invocation& call)
{
    bool add = std::string(call.command().action) == "add";
    std::string dn = call.arg(0), server = call.arg(1);
    if (!call.has("type"))
        throw UsageError(call.name() + ": --type is required");
    int type = call.integer("type", 0), flags = call.integer("flags", 0);
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    if (add)
        call.check(ldap_add_replica(ld, dn.data(), server.data(), type, flags), "ldap_add_replica");
    else
        call.check(ldap_change_replica_type(ld, dn.data(), server.data(), type, flags), "ldap_change_replica_type");
    call.out().done(Json{{"dn", dn}, {"server", server}, {"type", type}, {"flags", flags}});
    return 0;
}

int remove(Invocation& call)
{
    std::string dn = call.arg(0), server = call.arg(1);
    int flags = call.integer("flags", 0);
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    call.check(ldap_remove_replica(ld, dn.data(), server.data(), flags), "ldap_remove_replica");
    call.out().done(Json{{"dn", dn}, {"server", server}, {"flags", flags}});
    return 0;
}

int info(Invocation& call)
{
    std::string dn = call.arg(0), server = call.arg(1);
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    ReplicaInfo replica{};
    call.check(ldap_get_replica_info(ld, dn.data(), server.data(), &replica), "ldap_get_replica_info");
    // The seven integers mean what the server says they mean; they are shown
    // in the order of the response.
    Json head = Json::array(), tail = Json::array();
    for (int value : replica.head)
        head.push_back(value);
    for (int value : replica.tail)
        tail.push_back(value);
    call.out().document(Json{{"dn", dn},
                             {"server", server},
                             {"head", head},
                             {"name", text_value(replica.name)},
                             {"tail", tail}});
    return 0;
}

int list(Invocation& call)
{
    std::string dn = call.arg(0);
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    LdapValues replicas;
    call.check(ldap_list_replicas(ld, dn.data(), out(replicas)), "ldap_list_replicas");
    Json names = Json::array();
    for (char** name = replicas.get(); name != nullptr && *name != nullptr; ++name)
        names.push_back(text_value(*name));
    call.out().document(Json{{"dn", dn}, {"replicas", names}});
    return 0;
}

const OptionSpec kType{"type", "N", "the replica type (the server's number)"};
const OptionSpec kFlags{"flags", "N", "the operation's flags (default 0)"};

const Command kCommands[] = {
    {"replica", "add", "DN SERVER", "add a replica of the partition DN on SERVER", 2, 2, {kType, kFlags}, set_type},
    {"replica", "remove", "DN SERVER", "remove the replica of DN from SERVER", 2, 2, {kFlags}, remove},
    {"replica", "change-type", "DN SERVER", "change the type of the replica of DN on SERVER", 2, 2,
     {kType, kFlags}, set_type},
    {"replica", "info", "DN SERVER", "show what the server keeps about the replica of DN on SERVER", 2, 2, {},
     info},
    {"replica", "list", "DN", "list the replicas of the partition DN", 1, 1, {}, list},
};

}  // namespace

std::span<const Command> replica_commands() { return kCommands; }

}  // namespace cli
