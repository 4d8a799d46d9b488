// LDAPSession, the component's one host-visible class: a directory session
// shared by the object's copies, the object's text encoding, and the routing
// of its method and property requests.
#ifndef KANDREL_SESSION_OBJECT_H
#define KANDREL_SESSION_OBJECT_H

#include <atomic>
#include <cstdint>

#include "host_object.h"
#include "platform.h"
#include "session.h"

namespace kandrel {

inline constexpr std::int32_t kPropertySession = 2100;
inline constexpr std::int32_t kPropertyUtf8 = 2101;
inline constexpr std::int32_t kPropertyDebug = 2102;

class SessionObject final : public HostObject {
public:
    static constexpr std::int32_t kClassId = 1001;

    explicit SessionObject(Instance instance) noexcept : HostObject(instance, kClassId) {}

    ObjectPtr clone(Instance target) const override;
    void assign(const HostObject& source) override;
    HostAnswer call(HostCallInfo* call) override;
    HostAnswer property(std::uint32_t message, HostCallInfo* call, bool wparam_is_one) override;

    // Texts are exchanged in UTF-8 when true, else in the 8-bit code page.
    bool utf8() const noexcept { return utf8_.load(std::memory_order_relaxed); }
    void set_utf8(bool on) noexcept { utf8_.store(on, std::memory_order_relaxed); }

    // A holder of the object's session (empty without one); a method keeps it
    // for as long as it uses the handle.
    SessionRef session() const noexcept;
    // Replaces the object's session and answers the code of letting go of the
    // old one (see SessionRef::reset).
    int replace_session(SessionRef next) noexcept;
    bool has_session() const noexcept;

private:
    mutable platform::Lock lock_;  // guards session_ only
    SessionRef session_;
    std::atomic<bool> utf8_{true};
};

}  // namespace kandrel

#endif
