// The plug-in's entry points: slapd calls the init functions when it loads
// the plug-in, and the dispatcher for every request of the administration
// extensions. Nothing else is visible to slapd.
#include <unistd.h>

#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "authorization.h"
#include "configuration.h"
#include "handlers.h"
#include "operation_names.h"
#include "request.h"
#include "slapi.h"

#define ADMIN_OID(arc) LDAPEXT_ADMIN_OID(arc)
#define BULK_OID(arc) LDAPEXT_BULK_OID(arc)

namespace adminext {

namespace {

enum class Access { anyone, administrators };

struct Operation {
    const char* request;
    const char* response;
    Access access;
    Reply (*handler)(Request&);
};

constexpr Operation kOperations[] = {
    {ADMIN_OID(31), ADMIN_OID(32), Access::anyone, get_bind_dn},
    {ADMIN_OID(1), ADMIN_OID(2), Access::anyone, vorn_to_ldap},
    {ADMIN_OID(101), ADMIN_OID(102), Access::anyone, dns_to_x500_dn},
    {ADMIN_OID(33), ADMIN_OID(34), Access::administrators, effective_privileges},
    {ADMIN_OID(103), ADMIN_OID(104), Access::administrators, effective_privileges_list},
    {ADMIN_OID(9), ADMIN_OID(10), Access::administrators, accept_without_value},
    {ADMIN_OID(3), ADMIN_OID(4), Access::administrators, split_partition},
    {ADMIN_OID(5), ADMIN_OID(6), Access::administrators, merge_partitions},
    {ADMIN_OID(29), ADMIN_OID(30), Access::administrators, abort_partition_operation},
    {ADMIN_OID(39), ADMIN_OID(40), Access::administrators, split_orphan_partition},
    {ADMIN_OID(41), ADMIN_OID(42), Access::administrators, remove_orphan_partition},
    {ADMIN_OID(13), ADMIN_OID(14), Access::administrators, partition_entry_count},
    {ADMIN_OID(7), ADMIN_OID(8), Access::administrators, add_replica},
    {ADMIN_OID(11), ADMIN_OID(12), Access::administrators, remove_replica},
    {ADMIN_OID(15), ADMIN_OID(16), Access::administrators, change_replica_type},
    {ADMIN_OID(17), ADMIN_OID(18), Access::administrators, replica_info},
    {ADMIN_OID(19), ADMIN_OID(20), Access::administrators, list_replicas},
    {ADMIN_OID(21), ADMIN_OID(22), Access::administrators, receive_all_updates},
    {ADMIN_OID(23), ADMIN_OID(24), Access::administrators, send_all_updates},
    {ADMIN_OID(25), ADMIN_OID(26), Access::administrators, request_partition_sync},
    {ADMIN_OID(27), ADMIN_OID(28), Access::administrators, request_schema_sync},
    {ADMIN_OID(43), ADMIN_OID(44), Access::administrators, accept_without_value},
    {ADMIN_OID(47), ADMIN_OID(48), Access::administrators, accept_without_value},
    {ADMIN_OID(49), ADMIN_OID(50), Access::administrators, accept_without_value},
    {ADMIN_OID(51), ADMIN_OID(52), Access::administrators, accept_without_value},
    {ADMIN_OID(53), ADMIN_OID(54), Access::administrators, accept_without_value},
    {ADMIN_OID(55), ADMIN_OID(56), Access::administrators, accept_without_value},
    {ADMIN_OID(35), ADMIN_OID(36), Access::administrators, set_replication_filter},
    {ADMIN_OID(37), ADMIN_OID(38), Access::administrators, get_replication_filter},
    {ADMIN_OID(96), ADMIN_OID(97), Access::administrators, backup_object},
    {ADMIN_OID(98), ADMIN_OID(99), Access::administrators, restore_object},
    {ADMIN_OID(79), ADMIN_OID(80), Access::administrators, monitor_events},
    {ADMIN_OID(84), ADMIN_OID(80), Access::administrators, monitor_events_filtered},
    {BULK_OID(1), BULK_OID(2), Access::administrators, start_bulk_update},
    {BULK_OID(6), BULK_OID(7), Access::administrators, bulk_update_batch},
    {BULK_OID(4), BULK_OID(5), Access::administrators, end_bulk_update},
};

constexpr std::size_t kOperationCount = sizeof kOperations / sizeof kOperations[0];

// The request names slapd routes to this plug-in, NULL-terminated.
char* request_names[kOperationCount + 1];

Slapi_PluginDesc description = {const_cast<char*>("admin-extensions"), const_cast<char*>("ldap-extensions"),
                                const_cast<char*>("1"),
                                const_cast<char*>("administration extensions over LDAP extended operations")};

// The reply's text must outlive the handler: slapd sends it afterwards, on
// the same thread.
thread_local std::string reply_text;

const Operation* find_operation(const char* name)
{
    if (name == nullptr)
        return nullptr;
    for (const Operation& operation : kOperations)
        if (std::strcmp(operation.request, name) == 0)
            return &operation;
    return nullptr;
}

Reply answer(const Operation& operation, Request& request)
{
    if (operation.access == Access::administrators) {
        if (Reply refused = authorize(request); refused.code != code::kSuccess)
            return refused;
    }
    return operation.handler(request);
}

void set_reply(Slapi_PBlock* pb, const Operation& operation, Reply reply)
{
    slapi_pblock_set(pb, SLAPI_EXT_OP_RET_OID, const_cast<char*>(operation.response));
    if (reply.value) {
        // slapd releases the value with ber_bvfree once it is sent.
        berval* value = ber_mem2bv(reply.value->data(), reply.value->size(), 1, nullptr);
        if (value == nullptr)
            reply = Reply::error(code::kOther, "out of memory");
        else
            slapi_pblock_set(pb, SLAPI_EXT_OP_RET_VALUE, value);
    }
    reply_text = std::move(reply.text);
    slapi_pblock_set(pb, SLAPI_RESULT_CODE, &reply.code);
    slapi_pblock_set(pb, SLAPI_RESULT_TEXT, reply_text.empty() ? nullptr : reply_text.data());
}

int dispatch(Slapi_PBlock* pb)
{
    const Operation* operation = find_operation(get_string(pb, SLAPI_EXT_OP_REQ_OID));
    if (operation == nullptr)
        return SLAPI_PLUGIN_EXTENDED_NOT_HANDLED;
    Reply reply;
    try {
        Request request(pb);
        reply = answer(*operation, request);
    } catch (const std::bad_alloc&) {
        reply = Reply::error(code::kOther, "out of memory");
    } catch (const std::exception& error) {
        reply = Reply::error(code::kOther, error.what());
    } catch (...) {
        reply = Reply::error(code::kOther, "internal error");
    }
    try {
        set_reply(pb, *operation, std::move(reply));
    } catch (...) {
        int failed = code::kOther;
        slapi_pblock_set(pb, SLAPI_RESULT_CODE, &failed);
    }
    return 0;
}

std::vector<std::string> arguments(Slapi_PBlock* pb)
{
    int count = get_int(pb, SLAPI_PLUGIN_ARGC);
    char** values = get_pointer<char*>(pb, SLAPI_PLUGIN_ARGV);
    std::vector<std::string> result;
    for (int i = 0; values != nullptr && i < count; ++i)
        if (values[i] != nullptr)
            result.emplace_back(values[i]);
    return result;
}

std::string host_name()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

void log_error(const std::string& text)
{
    char subsystem[] = "admin-extensions";
    char format[] = "%s\n";
    slapi_log_error(SLAPI_LOG_FATAL, subsystem, format, text.c_str());
}

}  // namespace

}  // namespace adminext

using namespace adminext;

// Registers the extended operations. Arguments: see configuration.h.
extern "C" __attribute__((visibility("default"))) int admin_extensions_init(Slapi_PBlock* pb)
{
    try {
        std::string error;
        std::optional<Settings> parsed = parse_settings(arguments(pb), host_name(), error);
        if (!parsed) {
            log_error(error);
            return -1;
        }
        if (!parsed->replicator_secret_file.empty()) {
            std::optional<std::string> secret = read_replicator_secret(parsed->replicator_secret_file, error);
            if (!secret) {
                log_error(error);
                return -1;
            }
            set_replicator_secret(std::move(*secret));
        }
        set_settings(std::move(*parsed));
        if (!register_bulk_update_streams()) {
            log_error("cannot register the per-connection state of bulk-update streams");
            return -1;
        }
    } catch (...) {
        return -1;
    }
    for (std::size_t i = 0; i < kOperationCount; ++i)
        request_names[i] = const_cast<char*>(kOperations[i].request);
    request_names[kOperationCount] = nullptr;
    static char version[] = SLAPI_PLUGIN_VERSION_03;
    if (slapi_pblock_set(pb, SLAPI_PLUGIN_VERSION, version) != 0 ||
        slapi_pblock_set(pb, SLAPI_PLUGIN_DESCRIPTION, &description) != 0 ||
        slapi_pblock_set(pb, SLAPI_PLUGIN_EXT_OP_FN, reinterpret_cast<void*>(&dispatch)) != 0 ||
        slapi_pblock_set(pb, SLAPI_PLUGIN_EXT_OP_OIDLIST, request_names) != 0)
        return -1;
    return 0;
}
