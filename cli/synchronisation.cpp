// Synchronisation and background processes: receive-all, send-all,
// partition/naming-context/schema sync, trigger.
#include <string>

#include "command.h"
#include "tervane_owners.h"

namespace cli {
namespace {

int receive_all(Invocation& call)
{
    std::string dn = call.arg(0), server = call.arg(1);
    std::string extra = call.has_arg(2) ? call.arg(2) : std::string();
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    // Without EXTRA the library sends its own placeholder.
    call.check(ldap_receive_all_updates(ld, dn.data(), server.data(), call.has_arg(2) ? extra.data() : nullptr),
               "ldap_receive_all_updates");
    call.out().done(Json{{"dn", dn}, {"server", server}});
    return 0;
}

int send_all(Invocation& call)
{
    std::string dn = call.arg(0);
    std::string server = call.has_arg(1) ? call.arg(1) : std::string();
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    call.check(ldap_send_all_updates(ld, dn.data(), call.has_arg(1) ? server.data() : nullptr),
               "ldap_send_all_updates");
    call.out().done(Json{{"dn", dn}, {"server", server}});
    return 0;
}

int partition_sync(Invocation& call)
{
    bool context = std::string(call.command().action) == "naming-context";
    std::string server = call.arg(0), dn = call.arg(1);
    int value = call.integer("value", 0);
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    if (context)
        call.check(ldap_request_naming_context_sync(ld, server.data(), dn.data(), value),
                   "ldap_request_naming_context_sync");
    else
        call.check(ldap_request_partition_sync(ld, server.data(), dn.data(), value), "ldap_request_partition_sync");
    call.out().done(Json{{"server", server}, {"dn", dn}, {"value", value}});
    return 0;
}

int schema_sync(Invocation& call)
{
    std::string server = call.arg(0);
    int value = call.integer("value", 0);
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    call.check(ldap_request_schema_sync(ld, server.data(), value), "ldap_request_schema_sync");
    call.out().done(Json{{"server", server}, {"value", value}});
    return 0;
}

int trigger(Invocation& call)
{
    int process = parse_int(call.arg(0), "PROCESS");
    if (process < 1 || process > 6)
        throw UsageError("sync trigger: PROCESS must be 1 to 6");
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;
    call.check(ldap_trigger_back_process(ld, process), "ldap_trigger_back_process");
    call.out().done(Json{{"process", process}});
    return 0;
}

const OptionSpec kValue{"value", "N", "the request's number (the server's meaning; default 0)"};

const Command kCommands[] = {
    {"sync", "receive-all", "DN SERVER [EXTRA]", "have SERVER receive all updates of the partition DN", 2, 3, {},
     receive_all},
    {"sync", "send-all", "DN [SERVER]", "have the partition DN send all its updates", 1, 2, {}, send_all},
    {"sync", "partition", "SERVER DN", "request synchronisation of the partition DN from SERVER", 2, 2, {kValue},
     partition_sync},
    {"sync", "naming-context", "SERVER DN", "same as sync partition", 2, 2, {kValue}, partition_sync},
    {"sync", "schema", "SERVER", "request schema synchronisation from SERVER", 1, 1, {kValue}, schema_sync},
    {"sync", "trigger", "PROCESS", "run background process PROCESS (1 to 6) now", 1, 1, {}, trigger},
};

}  // namespace

std::span<const Command> synchronisation_commands() { return kCommands; }

}  // namespace cli
