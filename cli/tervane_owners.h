// Owners for what Tervane and the client library hand out to the command:
// the client library's from ldap_owners.h, Tervane's own here.
#ifndef CLI_TERVANE_OWNERS_H
#define CLI_TERVANE_OWNERS_H

#include <memory>

#include "ldap_owners.h"
#include "tervane.h"

namespace cli {

using namespace ldapc;

struct TervaneFree {
    void operator()(void* p) const noexcept { tervane_memfree(p); }
};
struct EventFree {
    void operator()(event_record* record) const noexcept { ldap_event_free(record); }
};

template <typename T>
using TervanePtr = std::unique_ptr<T, TervaneFree>;
using TervaneString = TervanePtr<char>;
using EventPtr = std::unique_ptr<event_record, EventFree>;

}  // namespace cli

#endif
