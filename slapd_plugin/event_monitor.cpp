// Event monitoring. A monitor request stays open: the changes that slapd's
// result hook sees (and those this plug-in makes itself) are queued
// to it and sent as intermediate responses, until the client abandons the
// request or closes the connection. The final response comes only when the
// request is refused, when the client fell so far behind that notifications
// were dropped, or when the server stops. Each open monitor holds one of slapd's worker
// threads, so their number is limited.
#include <chrono>
#include <cstring>

#include "authorization.h"
#include "configuration.h"
#include "directory.h"
#include "event_values.h"
#include "events.h"
#include "handlers.h"
#include "intermediate_response.h"
#include "names.h"
#include "operation_names.h"
#include "partition_guard.h"
#include "server_state.h"
#include "updates.h"

namespace adminext {

namespace {

using namespace std::chrono_literals;

constexpr auto kPoll = 200ms;
constexpr char kNotificationName[] = LDAPEXT_EVENT_NOTIFICATION;

bool is_reported_type(std::int32_t type) { return type >= event_type::kEntryAdded && type <= event_type::kEntryRenamed; }

// The attributes slapd itself changes with every modification: not the
// client's change, so not reported.
bool is_maintained_by_slapd(std::string_view type)
{
    for (std::string_view maintained : {"entryCSN", "modifiersName", "modifyTimestamp"})
        if (type == maintained)
            return true;
    return false;
}

bool is_known_status(std::int32_t status) { return status == event_status::kSucceeded || status == event_status::kAll; }

// Whether the monitor's requestor may see the event's entry, as its own
// search would, keeping of the changed attribute types those it may read.
// The entry is read as it is now; one that is gone (deleted, renamed away,
// never added) is judged by an entry of its name alone, which slapd's rules
// by name judge as they would the entry.
EntryPtr judged(const std::string& name)
{
    int rc = code::kSuccess;
    EntryPtr entry = read_entry(name, &rc);
    return entry ? std::move(entry) : entry_named(name);
}

bool disclose(Slapi_PBlock* pb, EntryEvent& event)
{
    EntryPtr entry = judged(judged_entry(event));
    if (!visible(pb, entry.get()))
        return false;
    std::string readable;
    for (std::string_view rest = event.changed; !rest.empty();) {
        std::size_t comma = rest.find(',');
        std::string type(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (!access_allowed(pb, entry.get(), type, SLAPI_ACL_READ))
            continue;
        if (!readable.empty())
            readable += ',';
        readable += type;
    }
    event.changed = std::move(readable);
    return true;
}

// The notifications a monitor never sent, counting only those its
// requestor would have been sent.
std::size_t undelivered(Slapi_PBlock* pb, Undelivered left)
{
    std::size_t count = 0;
    for (EntryEvent& event : left.queued)
        count += disclose(pb, event) ? 1 : 0;
    for (const std::string& name : left.dropped)
        count += visible(pb, judged(name).get()) ? 1 : 0;
    return count;
}

// A refusal listing the event specifications it concerns.
Reply refuse(int code, std::string text, const std::vector<EventSpec>& specs)
{
    Reply reply = Reply::error(code, std::move(text));
    reply.value = write_monitor_response(specs);
    return reply;
}

Reply monitor(Request& request, bool filtered)
{
    std::optional<std::vector<EventSpec>> specs = read_monitor_request(request.value(), filtered);
    if (!specs)
        return Reply::malformed(
            "the request value must be SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER type, ENUMERATED status" +
            std::string(filtered ? ", OCTET STRING filter" : "") + " } ... } } with count elements");
    if (std::string unavailable = intermediate_responses_unavailable(); !unavailable.empty())
        return refuse(code::kUnwillingToPerform, unavailable, *specs);
    std::vector<EventSpec> unknown;
    std::vector<EventSpec> bad_filter;
    for (EventSpec& wanted : *specs) {
        if (!is_reported_type(wanted.type) || !is_known_status(wanted.status)) {
            unknown.push_back(wanted);
            continue;
        }
        std::optional<std::string> base = normalize_dn(wanted.filter);
        if (!base)
            bad_filter.push_back(wanted);
        else
            wanted.filter = std::move(*base);
    }
    if (!unknown.empty())
        return refuse(code::kUnwillingToPerform,
                      "this server reports event types 1 (entry added), 2 (deleted), 3 (modified) and 4 (renamed), "
                      "each with status 0 (changes that succeeded) or 1 (all changes); the listed ones are not "
                      "reported",
                      unknown);
    if (!bad_filter.empty())
        return refuse(code::kInvalidDnSyntax, "a filter is the DN of the subtree to watch; the listed ones are not DNs",
                      bad_filter);

    Monitor watching(*specs, settings().queue);
    if (!monitors().add(&watching, settings().monitors))
        return refuse(code::kBusy,
                      "already " + std::to_string(settings().monitors) +
                          " event monitors are open, each holding one of the server's worker threads",
                      *specs);
    struct Registration {
        Monitor* monitor;
        ~Registration() { monitors().remove(monitor); }
    } registration{&watching};
    std::int32_t sent = 0;
    while (!request.abandoned()) {
        if (server_stopping())
            return refuse(code::kUnavailable, "the server is stopping: monitoring ended", watching.specs());
        allow_pause();
        std::vector<EntryEvent> taken = watching.take(kPoll);
        // The requestor must still pass the rule that let the monitor start:
        // checked before each batch of notifications is sent.
        if (!taken.empty()) {
            if (Reply refused = authorize(request); refused.code != code::kSuccess) {
                watching.close();
                return refuse(refused.code, refused.text + ": monitoring ended", watching.specs());
            }
        }
        // Each monitor numbers what it sends: the numbers follow the order
        // of the changes and leave no gap where a change was hidden.
        for (EntryEvent& event : taken)
            if (disclose(request.pblock(), event)) {
                event.sequence = ++sent;
                send_intermediate(request.pblock(), kNotificationName, write_notification(event));
            }
        // The account is closed at once: notifications queued meanwhile are
        // as undelivered as those dropped.
        if (watching.fell_behind())
            return refuse(code::kBusy,
                          "the client read its notifications too slowly: " +
                              std::to_string(undelivered(request.pblock(), watching.close())) +
                              " were dropped and monitoring ended",
                          watching.specs());
    }
    return {};  // abandoned: slapd sends nothing
}

// Reports the change that an outside operation made.
template <std::int32_t Type>
void report_operation(Slapi_PBlock* pb)
{
    try {
        const char* dn = get_string(pb, SLAPI_TARGET_DN);
        const char* requestor = get_string(pb, SLAPI_REQUESTOR_DN);
        std::string detail;
        std::string changed;
        if constexpr (Type == event_type::kEntryAdded) {
            if (Slapi_Entry* entry = get_pointer<Slapi_Entry>(pb, SLAPI_ADD_ENTRY); entry != nullptr) {
                char* object_class = slapi_entry_attr_get_charptr(entry, "objectClass");
                if (object_class != nullptr)
                    detail = object_class;
                slapi_ch_free_string(&object_class);
            }
        } else if constexpr (Type == event_type::kEntryModified) {
            for (LDAPMod** mod = get_pointer<LDAPMod*>(pb, SLAPI_MODIFY_MODS); mod != nullptr && *mod != nullptr;
                 ++mod) {
                if (is_maintained_by_slapd((*mod)->mod_type))
                    continue;
                if (!changed.empty())
                    changed += ',';
                changed += (*mod)->mod_type;
            }
        } else if constexpr (Type == event_type::kEntryRenamed) {
            const char* rdn = get_string(pb, SLAPI_MODRDN_NEWRDN);
            const char* superior = get_string(pb, SLAPI_MODRDN_NEWSUPERIOR);
            std::string parent = superior != nullptr ? superior : std::string(parent_dn(dn != nullptr ? dn : ""));
            detail = std::string(rdn != nullptr ? rdn : "") + (parent.empty() ? "" : "," + parent);
        }
        report_change(Type, get_int(pb, SLAPI_RESULT_CODE), dn != nullptr ? dn : "",
                      requestor != nullptr ? requestor : "", std::move(detail), std::move(changed));
    } catch (...) {
        // A notification that cannot be built is lost; the operation is not.
    }
}

// Whether the operation was sent inside an LDAP transaction: its result
// then only says that slapd holds it until the transaction ends, and
// nothing has changed yet. slapd applies the transaction's operations past
// the plug-in interface, so they are not reported at all.
bool inside_transaction(Slapi_PBlock* pb)
{
    for (LDAPControl** control = get_pointer<LDAPControl*>(pb, SLAPI_REQCONTROLS); control != nullptr && *control != nullptr;
         ++control)
        if ((*control)->ldctl_oid != nullptr && std::strcmp((*control)->ldctl_oid, LDAP_CONTROL_TXN_SPEC) == 0)
            return true;
    return false;
}

// Runs before the result of each outside operation is sent, once its change
// is made: events are numbered in the order of the changes, and one client's
// next change, which waits for this result, always comes after. (After the
// result, in a post-operation function, the next change of the same client
// could be reported first.)
int report_result(Slapi_PBlock* pb)
{
    if (monitors().empty() || inside_transaction(pb))
        return 0;
    ber_tag_t operation = 0;
    slapi_pblock_get(pb, SLAPI_OPERATION_TYPE, &operation);
    switch (operation) {
    case LDAP_REQ_ADD: report_operation<event_type::kEntryAdded>(pb); break;
    case LDAP_REQ_DELETE: report_operation<event_type::kEntryDeleted>(pb); break;
    case LDAP_REQ_MODIFY: report_operation<event_type::kEntryModified>(pb); break;
    case LDAP_REQ_MODRDN: report_operation<event_type::kEntryRenamed>(pb); break;
    default: break;
    }
    return 0;
}

}  // namespace

Reply monitor_events(Request& request) { return monitor(request, false); }

Reply monitor_events_filtered(Request& request) { return monitor(request, true); }

}  // namespace adminext

using namespace adminext;

// Registers the hooks on clients' operations: the one that feeds event
// monitoring, and those that hold operations back while a partition moves.
extern "C" __attribute__((visibility("default"))) int admin_extensions_events_init(Slapi_PBlock* pb)
{
    static char version[] = SLAPI_PLUGIN_VERSION_03;
    const auto hook = [](auto function) { return reinterpret_cast<void*>(function); };
    if (slapi_pblock_set(pb, SLAPI_PLUGIN_VERSION, version) != 0 ||
        slapi_pblock_set(pb, SLAPI_PLUGIN_PRE_RESULT_FN, hook(&report_result)) != 0 ||
        slapi_pblock_set(pb, SLAPI_PLUGIN_PRE_SEARCH_FN, hook(&hold_search_for_partition_move)) != 0 ||
        slapi_pblock_set(pb, SLAPI_PLUGIN_PRE_COMPARE_FN, hook(&hold_compare_for_partition_move)) != 0)
        return -1;
    for (int update : {SLAPI_PLUGIN_PRE_ADD_FN, SLAPI_PLUGIN_PRE_MODIFY_FN, SLAPI_PLUGIN_PRE_MODRDN_FN,
                       SLAPI_PLUGIN_PRE_DELETE_FN})
        if (slapi_pblock_set(pb, update, hook(&hold_update_for_partition_move)) != 0)
            return -1;
    return 0;
}
