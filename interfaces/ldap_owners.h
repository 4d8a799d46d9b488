// Owners for what the LDAP client library allocates, each releasing with the
// library's own function, and an out-pointer adapter so that a library call
// can fill an owner directly: ber_flatten(ber, out(value)). Shared by the
// library, the command and the tests; the plug-in reaches the client library
// through its own function table instead.
#ifndef LDAP_OWNERS_H
#define LDAP_OWNERS_H

#include <memory>

#include "ldap_client.h"

namespace ldapc {

struct BerFree {
    void operator()(BerElement* ber) const noexcept { ber_free(ber, 1); }
};
// A decoder over bytes that stay someone else's: released without them.
struct BorrowingBerFree {
    void operator()(BerElement* ber) const noexcept { ber_free(ber, 0); }
};
struct BervalFree {
    void operator()(berval* value) const noexcept { ber_bvfree(value); }
};
struct LdapMemFree {
    void operator()(char* text) const noexcept { ldap_memfree(text); }
};
struct LdapValueFree {
    void operator()(char** values) const noexcept { ldap_value_free(values); }
};
struct MessageFree {
    void operator()(LDAPMessage* message) const noexcept { ldap_msgfree(message); }
};

using BerPtr = std::unique_ptr<BerElement, BerFree>;
using BorrowingBerPtr = std::unique_ptr<BerElement, BorrowingBerFree>;
using BervalPtr = std::unique_ptr<berval, BervalFree>;
using LdapString = std::unique_ptr<char, LdapMemFree>;
using LdapValues = std::unique_ptr<char*, LdapValueFree>;
using MessagePtr = std::unique_ptr<LDAPMessage, MessageFree>;

// Hands a library call the address of a raw pointer and moves whatever the
// call stored there into the owner when the full expression ends.
template <class Owner>
class OutPtr {
public:
    using Pointer = typename Owner::pointer;
    explicit OutPtr(Owner& owner) : owner_(owner) {}
    OutPtr(const OutPtr&) = delete;
    OutPtr& operator=(const OutPtr&) = delete;
    ~OutPtr() { owner_.reset(raw_); }
    operator Pointer*() noexcept { return &raw_; }
    // For variadic calls (ber_scanf), which cannot convert implicitly.
    Pointer* get() noexcept { return &raw_; }

private:
    Owner& owner_;
    Pointer raw_ = nullptr;
};

template <class Owner>
OutPtr<Owner> out(Owner& owner)
{
    return OutPtr<Owner>(owner);
}

}  // namespace ldapc

#endif
