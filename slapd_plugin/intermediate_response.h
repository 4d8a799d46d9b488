// Intermediate responses, which SLAPI cannot send. slapd's own
// slap_send_ldap_intermediate can, given a reply record laid out as in the
// slapd that runs (slapd_version.h).
#ifndef SLAPD_PLUGIN_INTERMEDIATE_RESPONSE_H
#define SLAPD_PLUGIN_INTERMEDIATE_RESPONSE_H

#include <string>

#include "slapi.h"

namespace adminext {

// Empty when intermediate responses can be sent in this slapd; otherwise why
// not, as a text for the client.
std::string intermediate_responses_unavailable();

// Sends one intermediate response with name and value for the extended
// operation of pb. Only after intermediate_responses_unavailable() answered
// empty.
void send_intermediate(Slapi_PBlock* pb, const char* name, const std::string& value);

}  // namespace adminext

#endif
