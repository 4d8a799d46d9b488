#include "intermediate_response.h"

#include <cstring>

#include "request.h"
#include "slapd_version.h"

namespace adminext {

namespace {

// slapd 2.5's SlapReply, up to the extended arm of its union. The record is
// handed over inside a larger zeroed block, so that the union's other arms
// and the flags after it read as zero whatever their exact size.
struct ReplyRecord25 {
    int type;  // slap_reply_t; set by slapd
    ber_tag_t tag;
    ber_int_t msgid;
    ber_int_t err;
    const char* matched;
    const char* text;
    berval* referrals;
    LDAPControl** controls;
    const char* response_name;  // union: rep_extended_s { r_rspoid, r_rspdata }
    berval* response_value;
};

struct ReplyBlock {
    ReplyRecord25 reply;
    unsigned char spare[256];  // rest of the union, flags, later fields: zero
};

using SendIntermediate = void (*)(void* operation, void* reply);

struct Route {
    SendIntermediate send = nullptr;
    std::string unavailable;
};

const Route& route()
{
    static const Route found = [] {
        Route route;
        std::string version = running_slapd_version();
        if (!known_slapd_layout(version)) {
            route.unavailable = "event monitoring needs slapd 2.5, whose intermediate responses this server "
                                "knows how to send; this slapd is " +
                                (version.empty() ? std::string("of an unknown version") : version);
            return route;
        }
        route.send = reinterpret_cast<SendIntermediate>(dlsym(RTLD_DEFAULT, "slap_send_ldap_intermediate"));
        if (route.send == nullptr)
            route.unavailable = "this slapd does not offer intermediate responses to plug-ins";
        return route;
    }();
    return found;
}

}  // namespace

std::string intermediate_responses_unavailable() { return route().unavailable; }

void send_intermediate(Slapi_PBlock* pb, const char* name, const std::string& value)
{
    void* operation = get_pointer<void>(pb, SLAPI_OPERATION);
    if (operation == nullptr || route().send == nullptr)
        return;
    ReplyBlock block;
    std::memset(&block, 0, sizeof block);
    berval bytes{static_cast<ber_len_t>(value.size()), const_cast<char*>(value.data())};
    block.reply.response_name = name;
    block.reply.response_value = &bytes;
    route().send(operation, &block);
}

}  // namespace adminext
