// Event monitoring: sends the monitor request and prints every event
// notification as it arrives, until the server ends the stream, --count
// events have come, or the user interrupts (Ctrl-C abandons the request).
#include <string>
#include <vector>

#include "command.h"
#include "event_fields.h"
#include "interrupt.h"
#include "tervane_owners.h"

namespace cli {
namespace {

// The exit status of a stream that lost events it could not read.

struct EventChoice {
    int type;
    int status;
};

// "7", "7:1", "7,12:0,27".
std::vector<EventChoice> parse_events(const std::string& list)
{
    std::vector<EventChoice> events;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t colon = item.find(':');
        EventChoice choice{};
        choice.type = parse_int(item.substr(0, colon), "event type");
        choice.status = colon == std::string::npos ? 0 : parse_int(item.substr(colon + 1), "event status");
        events.push_back(choice);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return events;
}

// The data type of a notification that ldap_parse_ds_event accepted, read
// from its data element's tag ([APPLICATION n]); 0 when it carries none. The
// record Tervane hands out does not say which layout it has, the wire does.
// The client library aborts when it reads a response name that is empty, so
// it reads this message only after Tervane has accepted it: its name is then
// the notification's and its value holds at least the two integers.
int notification_data_type(LDAP* ld, LDAPMessage* accepted)
{
    LdapString name;
    berval* raw_value = nullptr;
    if (ldap_parse_intermediate(ld, accepted, out(name), &raw_value, nullptr, 0) != LDAP_SUCCESS)
        return 0;
    BervalPtr value(raw_value);
    if (!value || value->bv_len == 0 || value->bv_val == nullptr)
        return 0;
    BerPtr ber(ber_init(value.get()));
    ber_int_t type = 0, result = 0;
    ber_len_t length = 0;
    if (!ber || ber_scanf(ber.get(), "{ii", &type, &result) == LBER_ERROR)
        return 0;
    ber_tag_t tag = ber_peek_tag(ber.get(), &length);
    return tag >= 0x61 && tag <= 0x7D ? static_cast<int>(tag - 0x60) : 0;
}

// Prints one notification; false when it cannot be read (reported, and the
// stream goes on).
bool print_event(Invocation& call, LDAP* ld, LDAPMessage* message)
{
    int type = 0, result = 0;
    EventPtr record;
    int rc = ldap_parse_ds_event(ld, message, &type, &result, out(record), 0);
    if (rc != LDAP_SUCCESS) {
        call.out().failure("an event notification could not be decoded", rc);
        return false;
    }
    int data_type = notification_data_type(ld, message);
    Json doc{{"event_type", type}, {"result", result}};
    doc["data_type"] = data_type != 0 ? Json(data_type) : Json();
    doc["record"] = record && has_record_layout(data_type) ? event_record_json(data_type, *record) : Json();
    call.out().item(doc);
    return true;
}

int finish(Invocation& call, LDAP* ld, LDAPMessage* message)
{
    int code = 0, count = 0;
    LdapString error_message;
    TervanePtr<event_spec> accepted;
    call.check(ldap_parse_monitor_events_response(ld, message, &code, out(error_message), &count, out(accepted), 0),
               "ldap_parse_monitor_events_response");
    Json specs = Json::array();
    for (int i = 0; accepted && i < count; ++i)
        specs.push_back(Json{{"event_type", accepted.get()[i].event_type}, {"status", accepted.get()[i].status}});
    if (code != LDAP_SUCCESS) {
        call.out().failure("monitor", code, error_message ? error_message.get() : "");
        return code;
    }
    call.out().item(Json{{"end", true}, {"accepted", specs}});
    return 0;
}

int monitor(Invocation& call)
{
    std::vector<EventChoice> events = parse_events(call.arg(0));
    std::vector<std::string> filters = call.values("filter");
    if (!filters.empty() && filters.size() != 1 && filters.size() != events.size())
        throw UsageError("monitor: give --filter once (for every event) or once per event, in order");
    call.out().set_streaming(true);
    int limit = call.integer("count", 0);
    if (call.has("count") && limit < 1)
        throw UsageError("monitor: --count must be at least 1");
    LDAP* ld = call.session();
    if (ld == nullptr)
        return 0;

    int msgid = 0;
    int count = static_cast<int>(events.size());
    if (filters.empty()) {
        std::vector<event_spec> specs;
        for (const EventChoice& choice : events)
            specs.push_back({choice.type, choice.status});
        call.check(ldap_monitor_events(ld, count, specs.data(), &msgid), "ldap_monitor_events");
    } else {
        std::vector<event_spec_filtered> specs;
        for (std::size_t i = 0; i < events.size(); ++i)
            specs.push_back({events[i].type, events[i].status, filters[filters.size() == 1 ? 0 : i].data()});
        call.check(ldap_monitor_events_filtered(ld, count, specs.data(), &msgid), "ldap_monitor_events_filtered");
    }
    call.out().verbose("monitoring, message id " + std::to_string(msgid));

    catch_interrupts();
    int seen = 0;
    bool lost = false;
    while (!interrupted()) {
        timeval poll{0, 200000};
        LDAPMessage* raw = nullptr;
        int type = ldap_result(ld, msgid, LDAP_MSG_ONE, &poll, &raw);
        MessagePtr message(raw);
        if (type == 0)
            continue;
        if (type < 0) {
            int code = LDAP_OTHER;
            ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &code);
            if (interrupted())
                break;
            call.check(code != LDAP_SUCCESS ? code : LDAP_OTHER, "ldap_result");
        }
        if (type == LDAP_RES_INTERMEDIATE) {
            lost = !print_event(call, ld, message.get()) || lost;
            if (limit > 0 && ++seen >= limit)
                break;
        } else if (type == LDAP_RES_EXTENDED) {
            int code = finish(call, ld, message.get());
            return code == 0 && lost ? kExitDecodingError : code;
        }
    }
    // Ended by the user or by --count: the server stops sending.
    ldap_abandon_ext(ld, msgid, nullptr, nullptr);
    call.out().verbose("monitoring ended");
    return lost ? kExitDecodingError : 0;
}

const Command kCommands[] = {
    {"monitor", nullptr, "EVENT[:STATUS][,EVENT...]",
     "watch directory events and print each one as it arrives (Ctrl-C ends)", 1, 1,
     {{"filter", "TEXT", "send the filtered request; once for all events, or once per event"},
      {"count", "N", "end after N events"}},
     monitor},
};

}  // namespace

std::span<const Command> monitor_commands() { return kCommands; }

}  // namespace cli
