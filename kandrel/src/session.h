// One directory session of the client library, shared by every copy of the
// LDAPSession object that made it. Copies hold it through SessionRef; the
// session is unbound exactly once, when its last holder lets go, so no holder
// ever uses a handle another holder has unbound.
#ifndef KANDREL_SESSION_H
#define KANDREL_SESSION_H

#include <atomic>

#include "ldap_client.h"

namespace kandrel {

class SessionRef {
public:
    SessionRef() noexcept = default;
    ~SessionRef() { reset(); }
    SessionRef(const SessionRef& other) noexcept;
    SessionRef& operator=(const SessionRef& other) noexcept;
    SessionRef(SessionRef&& other) noexcept : share_(other.share_) { other.share_ = nullptr; }
    SessionRef& operator=(SessionRef&& other) noexcept;

    // Opens a session with ldap_init; an empty reference when the library
    // answers no handle (or memory is short, in which case the new handle is
    // unbound at once).
    static SessionRef open(const char* host, int port) noexcept;

    LDAP* handle() const noexcept;
    explicit operator bool() const noexcept { return share_ != nullptr; }

    // Lets go of the session. The last holder unbinds it with ldap_unbind_s
    // and answers that code (in the host's numbering); while other holders
    // remain, or without a session, answers 0.
    int reset() noexcept;

    // Number of holders of the session (0 without one).
    int holders() const noexcept;

private:
    struct Share {
        LDAP* handle;
        std::atomic<int> holders;
    };
    explicit SessionRef(Share* share) noexcept : share_(share) {}
    Share* share_ = nullptr;
};

}  // namespace kandrel

#endif
