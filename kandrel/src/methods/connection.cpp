// Opening, binding and closing the object's directory session.
#include "debug_log.h"
#include "methods.h"
#include "session_object.h"

namespace kandrel::methods {

using library::Entry;

HostAnswer available(MethodCall& call) { return call.code(library::loaded() ? 1 : 0); }

// $init(Host, Port): a new session in place of the object's old one; the
// "LDAP:" reference of the handle, or the empty text when none was made.
HostAnswer init(MethodCall& call)
{
    if (call.count() < 2) {
        return call.code(kCodeBadParameters);
    }
    const params::ParamText host = call.text(1);
    const std::int32_t port = call.integer(2);
    // The old session goes first, as $unbind_s would let it go.
    call.object().replace_session(SessionRef());
    bool out_of_memory = false;
    SessionRef session = SessionRef::open(host.get(), port, out_of_memory);
    log::write(session ? log::kSessionInitialized : log::kSessionInitFailed);
    if (out_of_memory) {
        return call.code(kCodeNoMemory);
    }
    const refs::Token token = session.token();
    call.object().replace_session(std::move(session));
    char text[32];
    refs::format(refs::Kind::session, token, text);
    // The session stays the object's either way ($session tells).
    return params::set_string(call.call(), 0, false, text) ? 0 : kCodeNoMemory;
}

// $unbind_s(): the object lets go of its session; the last holder of a
// session shared by copies unbinds it and answers the library's code.
HostAnswer unbind(MethodCall& call)
{
    call.drop_session();
    return call.result(call.object().replace_session(SessionRef()));
}

// $simple_bind_s(LoginDN, Password): two empty texts bind anonymously.
HostAnswer simple_bind(MethodCall& call)
{
    if (call.count() < 2) {
        return call.code(kCodeBadParameters);
    }
    const params::ParamText dn = call.text(1);
    const params::ParamText password = call.text(2);
    log::write(log::kBinding);
    const int code = library::call<Entry::ldap_simple_bind_s>(call.ld(), dn.get(), password.get());
    if (code != 0) {
        const char* text = library::call<Entry::ldap_err2string>(code);
        log::write(log::kBindFailed, text != nullptr ? text : "");
    }
    return call.result(code);
}

}  // namespace kandrel::methods
