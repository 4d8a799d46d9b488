// Intermediate responses, which SLAPI cannot send. slapd's own
// slap_send_ldap_intermediate can, given a reply record laid out as in the
// slapd that runs; the layout is known for slapd 2.5 only, so the route is
// offered only when the running slapd says it is a 2.5 release.
#ifndef SLAPD_PLUGIN_INTERMEDIATE_RESPONSE_H
#define SLAPD_PLUGIN_INTERMEDIATE_RESPONSE_H

#include <string>
#include <string_view>

#include "slapi.h"

namespace adminext {

// Whether a slapd version text ("... slapd 2.5.13+dfsg-5 (...) ...") names a
// release whose reply record this plug-in knows: 2.5.x.
inline bool known_reply_layout(std::string_view version)
{
    std::size_t at = version.find("slapd ");
    if (at == std::string_view::npos)
        return false;
    std::string_view number = version.substr(at + 6);
    return number.size() > 4 && number.substr(0, 4) == "2.5." && number[4] >= '0' && number[4] <= '9';
}

// Empty when intermediate responses can be sent in this slapd; otherwise why
// not, as a text for the client.
std::string intermediate_responses_unavailable();

// Sends one intermediate response with name and value for the extended
// operation of pb. Only after intermediate_responses_unavailable() answered
// empty.
void send_intermediate(Slapi_PBlock* pb, const char* name, const std::string& value);

}  // namespace adminext

#endif
