// Event monitoring: the two monitor requests, sent asynchronously, and the
// decoding of the server's final answer to either of them. The event
// notifications that arrive in between are decoded by ldap_parse_ds_event.
#include "exop_frame.h"
#include "extended_result.h"
#include "memory.h"
#include "operations.h"
#include "tervane.h"

using namespace tervane;

namespace {

// The list of the response is recognised by the tag of its SET.
constexpr ber_tag_t kSetTag = 0x31;
// Fewest bytes one response element can take: a SEQUENCE header, then an
// INTEGER and an ENUMERATED with no content bytes (liblber reads both as 0).
constexpr ber_len_t kMinimumElementBytes = 6;

int put_event(BerElement* ber, const event_spec& event) { return put(ber, "{ie}", event.event_type, event.status); }

int put_event(BerElement* ber, const event_spec_filtered& event)
{
    return put(ber, "{ies}", event.event_type, event.status, event.filter);
}

// Request value, "{i[" then one "{ie}" (filtered: "{ies}") per event, "]}":
// SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER event_type,
// ENUMERATED status [, OCTET STRING filter] } ... } }. A negative count is
// sent as it is, with an empty SET.
template <class Event>
int encode_monitor_request(BerElement* ber, int count, const Event* events)
{
    if (int rc = put(ber, "{i[", count); rc != kSuccess)
        return rc;
    for (int i = 0; i < count; ++i)
        if (int rc = put_event(ber, events[i]); rc != kSuccess)
            return rc;
    return put(ber, "]}");
}

template <class Event>
int send_monitor_request(LDAP* ld, const ExopSpec& operation, int count, const Event* events, int* msgid)
{
    if (count == 0 || events == nullptr)
        return kParamError;
    return send_exop(
        ld, operation, [&](BerElement* ber) { return encode_monitor_request(ber, count, events); }, msgid);
}

int parse_monitor_response(LDAP* ld, LDAPMessage* result, int* result_code, char** error_message, int* spec_count,
                           event_spec** specs, int freeit)
{
    ExtendedResponse response;
    if (int rc = read_extended_response(ld, result, result_code, error_message, freeit, response); rc != kSuccess)
        return rc;
    // A wrong name, an empty one included, is a value this call cannot read:
    // 84 rather than 92. Without a name nothing is read.
    if (response.empty_name)
        return kDecodingError;
    if (!response.name)
        return kSuccess;
    if (!same_name(response.name.get(), ops::monitor_events.response_name))
        return kDecodingError;
    if (!response.value || specs == nullptr || spec_count == nullptr)
        return kSuccess;
    return decode_monitor_response(*response.value, spec_count, specs);
}

}  // namespace

namespace tervane {

// SEQUENCE { INTEGER count, SET { SEQUENCE { INTEGER event_type,
// ENUMERATED status } ... } }, read as "{i", a peek for the SET, "[", then
// "{ie}" count times. A value without the count or without the SET carries
// no list. A count that the rest of the value could not hold, or a negative
// one, is refused before anything is allocated.
int decode_monitor_response(const berval& value, int* spec_count, event_spec** specs)
{
    *specs = nullptr;
    *spec_count = 0;
    // Zero bytes hold no count, like a value whose count cannot be read; and
    // liblber must never see them.
    if (value.bv_len == 0 || value.bv_val == nullptr)
        return kSuccess;
    ValueDecoder decoder(value, kDecodingError);
    if (decoder.status() != kSuccess)
        return decoder.status();
    ber_int_t count = 0;
    if (!decoder.scan("{i", &count) || decoder.peek() != kSetTag)
        return kSuccess;
    decoder.scan("[");
    if (count < 0 || static_cast<ber_len_t>(count) > decoder.remaining() / kMinimumElementBytes)
        return kDecodingError;
    Owned<event_spec> list(static_cast<event_spec*>(allocate_zeroed(static_cast<std::size_t>(count),
                                                                    sizeof(event_spec))));
    if (!list)
        return kNoMemory;
    for (ber_int_t i = 0; i < count; ++i) {
        event_spec& element = list.get()[i];
        if (!decoder.scan("{ie}", &element.event_type, &element.status))
            return kDecodingError;
    }
    *specs = list.release();
    *spec_count = count;
    return kSuccess;
}

}  // namespace tervane

TERVANE_API int TERVANE_CALL ldap_monitor_events(LDAP* ld, int count, event_spec* events, int* msgid)
{
    return send_monitor_request(ld, ops::monitor_events, count, events, msgid);
}

TERVANE_API int TERVANE_CALL ldap_monitor_events_filtered(LDAP* ld, int count, event_spec_filtered* events,
                                                          int* msgid)
{
    // liblber would read a missing filter text as a string: refuse it first.
    for (int i = 0; events != nullptr && i < count; ++i)
        if (events[i].filter == nullptr)
            return kParamError;
    return send_monitor_request(ld, ops::monitor_events_filtered, count, events, msgid);
}

TERVANE_API int TERVANE_CALL ldap_parse_monitor_events_response(LDAP* ld, LDAPMessage* result, int* result_code,
                                                                char** error_message, int* spec_count,
                                                                event_spec** specs, int freeit)
{
    if (ld == nullptr)
        return kParamError;
    if (result_code == nullptr)
        return record_result(ld, kParamError);
    if (specs != nullptr)
        *specs = nullptr;
    if (spec_count != nullptr)
        *spec_count = 0;
    if (error_message != nullptr)
        *error_message = nullptr;
    if (result == nullptr)
        return record_result(ld, kParamError);
    return record_result(ld, parse_monitor_response(ld, result, result_code, error_message, spec_count, specs, freeit));
}
