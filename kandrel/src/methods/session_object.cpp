#include "session_object.h"

#include <iterator>
#include <mutex>
#include <new>

#include "debug_log.h"
#include "methods.h"
#include "parameters.h"

namespace kandrel {

ObjectPtr SessionObject::clone(Instance target) const
{
    auto copy = std::shared_ptr<SessionObject>(new (std::nothrow) SessionObject(target));
    if (copy) {
        copy->session_ = session();
        copy->set_utf8(utf8());
    }
    return copy;
}

void SessionObject::assign(const HostObject& source)
{
    if (source.class_id() != kClassId || &source == this) {
        return;
    }
    const auto& other = static_cast<const SessionObject&>(source);
    // Read the source first and take no two object locks at once.
    SessionRef shared = other.session();
    const bool other_utf8 = other.utf8();
    replace_session(std::move(shared));
    set_utf8(other_utf8);
}

SessionRef SessionObject::session() const noexcept
{
    std::lock_guard guard(lock_);
    return session_;
}

int SessionObject::replace_session(SessionRef next) noexcept
{
    SessionRef previous;
    {
        std::lock_guard guard(lock_);
        previous = std::move(session_);
        session_ = std::move(next);
    }
    // Unbinding may talk to the server: never under the lock.
    return previous.reset();
}

bool SessionObject::has_session() const noexcept
{
    std::lock_guard guard(lock_);
    return static_cast<bool>(session_);
}

HostAnswer SessionObject::call(HostCallInfo* call)
{
    const std::int32_t id = params::request_id(call) & 0xFFFF;
    const std::int32_t index = id - methods::kFirstMethodId;
    if (index < 0 || index >= static_cast<std::int32_t>(methods::kMethods.size())) {
        return params::return_code(call, methods::kCodeUnknownMethod);
    }
    const methods::Method& method = methods::kMethods[static_cast<std::size_t>(index)];
    // The call holds the session until it returns, so a copy of this object
    // unbinding it meanwhile cannot pull the handle away.
    SessionRef session = method.needs_session ? this->session() : SessionRef();
    if (method.needs_session && !session) {
        return params::return_code(call, methods::kCodeNoSession);
    }
    try {
        methods::MethodCall context(call, *this, std::move(session));
        return method.run(context);
    } catch (...) {
        // Only memory can run out here; the method's outputs stay as they were.
        return params::return_code(call, methods::kCodeNoMemory);
    }
}

HostAnswer SessionObject::property(std::uint32_t message, HostCallInfo* call, bool)
{
    const std::int32_t id = params::request_id(call);
    switch (message) {
    case HOSTMSG_PROPERTY_CAN_ASSIGN:
        return (id == kPropertyUtf8 || id == kPropertyDebug) ? 1 : 0;
    case HOSTMSG_PROPERTY_SET: {
        bool value = false;
        if (id == kPropertyUtf8) {
            if (params::get_bool(call, 1, value)) {
                set_utf8(value);
            }
            return 1;
        }
        if (id == kPropertyDebug) {
            if (params::get_bool(call, 1, value)) {
                log::set_enabled(value);
            }
            return 1;
        }
        return 0;
    }
    case HOSTMSG_PROPERTY_GET: {
        bool value;
        switch (id) {
        case kPropertySession: value = has_session(); break;
        case kPropertyUtf8: value = utf8(); break;
        case kPropertyDebug: value = log::enabled(); break;
        default: return 0;
        }
        // A value that could not be written is no answer.
        return params::set_int(call, 0, value ? 1 : 0) ? 1 : 0;
    }
    default:
        return 0;
    }
}

}  // namespace kandrel
