// One directory session of the client library, shared by every copy of the
// LDAPSession object that made it. Copies hold it through SessionRef; the
// session is unbound exactly once, when its last holder lets go, so no holder
// ever uses a handle another holder has unbound.
#ifndef KANDREL_SESSION_H
#define KANDREL_SESSION_H

#include <atomic>

#include "ldap_client.h"
#include "references.h"

namespace kandrel {

class SessionRef {
public:
    SessionRef() noexcept = default;
    ~SessionRef()
    {
        if (share_ != nullptr) {
            reset();
        }
    }
    SessionRef(const SessionRef& other) noexcept;
    SessionRef& operator=(const SessionRef& other) noexcept;
    SessionRef(SessionRef&& other) noexcept : share_(other.share_) { other.share_ = nullptr; }
    SessionRef& operator=(SessionRef&& other) noexcept;

    // Opens a session at LDAP protocol version 3 on host and port with
    // ldap_init, or, when host is an LDAP URL ("ldaps://h:636"), on that URL
    // with ldap_initialize (port unused; TLS as the library's configuration
    // says). Version 3, because the client
    // library starts handles at version 2, which servers refuse to bind);
    // host programs may still choose 2 with $set_option. An empty reference
    // when the library answers no handle, or when memory is short, which
    // sets out_of_memory (a new handle is then unbound at once).
    static SessionRef open(const char* host, int port, bool& out_of_memory) noexcept;

    LDAP* handle() const noexcept;
    // The token of the session's "LDAP:" reference (0 when none could be
    // made); it dies when the session is unbound.
    refs::Token token() const noexcept;
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
        refs::Token token;
    };
    explicit SessionRef(Share* share) noexcept : share_(share) {}
    Share* share_ = nullptr;
};

}  // namespace kandrel

#endif
