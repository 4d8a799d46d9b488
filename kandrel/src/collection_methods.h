// The four collection methods of LDAPSession: $add_att, $set_att, $get_att
// and $get_att_array_item. They need no session.
#ifndef KANDREL_COLLECTION_METHODS_H
#define KANDREL_COLLECTION_METHODS_H

#include <cstdint>

#include "host_interface.h"

namespace kandrel::collections {

inline constexpr std::int32_t kAddAtt = 2031;
inline constexpr std::int32_t kSetAtt = 2032;
inline constexpr std::int32_t kGetAtt = 2033;
inline constexpr std::int32_t kGetAttArrayItem = 2034;

// Runs collection method id (2031 to 2034) with texts in UTF-8 or the code
// page and answers for it.
HostAnswer run_method(HostCallInfo* call, std::int32_t id, bool utf8);

}  // namespace kandrel::collections

#endif
