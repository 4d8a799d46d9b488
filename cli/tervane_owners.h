// Owners for what Tervane and the client library hand out to the command.
#ifndef CLI_TERVANE_OWNERS_H
#define CLI_TERVANE_OWNERS_H

#include <memory>

#include "ldap_client.h"
#include "tervane.h"

namespace cli {

struct TervaneFree {
    void operator()(void* p) const noexcept { tervane_memfree(p); }
};
struct LdapMemFree {
    void operator()(void* p) const noexcept { ldap_memfree(p); }
};
struct ValueFree {
    void operator()(char** values) const noexcept { ldap_value_free(values); }
};
struct MessageFree {
    void operator()(LDAPMessage* message) const noexcept { ldap_msgfree(message); }
};
struct BervalFree {
    void operator()(berval* value) const noexcept { ber_bvfree(value); }
};
struct BerFree {
    void operator()(BerElement* ber) const noexcept { ber_free(ber, 1); }
};
struct EventFree {
    void operator()(event_record* record) const noexcept { ldap_event_free(record); }
};

template <typename T>
using TervanePtr = std::unique_ptr<T, TervaneFree>;
using TervaneString = TervanePtr<char>;
using LdapString = std::unique_ptr<char, LdapMemFree>;
using ValueList = std::unique_ptr<char*, ValueFree>;
using MessagePtr = std::unique_ptr<LDAPMessage, MessageFree>;
using BervalPtr = std::unique_ptr<berval, BervalFree>;
using BerPtr = std::unique_ptr<BerElement, BerFree>;
using EventPtr = std::unique_ptr<event_record, EventFree>;

// Fills an owner through a T** out-parameter: call(Out(owner)).
template <typename Owner>
class Out {
public:
    explicit Out(Owner& owner) : owner_(owner) {}
    ~Out() { owner_.reset(raw_); }
    operator typename Owner::pointer*() { return &raw_; }

private:
    Owner& owner_;
    typename Owner::pointer raw_ = nullptr;
};

}  // namespace cli

#endif
