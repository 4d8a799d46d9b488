#include "session_object.h"

#include <iterator>
#include <mutex>
#include <new>

#include "collection_methods.h"
#include "debug_log.h"
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
    // Methods 2000 to 2034 by id - 2000. The session methods answer -101 until
    // they are built; the four collection methods share one handler.
    static constexpr Handler kHandlers[] = {
        &SessionObject::not_built,          // 2000 $available
        &SessionObject::not_built,          // 2001 $init
        &SessionObject::not_built,          // 2002 $unbind_s
        &SessionObject::not_built,          // 2003 $set_option
        &SessionObject::not_built,          // 2004 $get_option
        &SessionObject::not_built,          // 2005 $simple_bind_s
        &SessionObject::not_built,          // 2006 $add_ext_s
        &SessionObject::not_built,          // 2007 $modify_ext_s
        &SessionObject::not_built,          // 2008 $compare_s
        &SessionObject::not_built,          // 2009 $count_entries
        &SessionObject::not_built,          // 2010 $count_references
        &SessionObject::not_built,          // 2011 $count_messages
        &SessionObject::not_built,          // 2012 $msgtype
        &SessionObject::not_built,          // 2013 $msgid
        &SessionObject::not_built,          // 2014 $first_message
        &SessionObject::not_built,          // 2015 $next_message
        &SessionObject::not_built,          // 2016 $parse_result
        &SessionObject::not_built,          // 2017 $parse_reference
        &SessionObject::not_built,          // 2018 $search_ext
        &SessionObject::not_built,          // 2019 $search_ext_s
        &SessionObject::not_built,          // 2020 $free
        &SessionObject::not_built,          // 2021 $first_entry
        &SessionObject::not_built,          // 2022 $next_entry
        &SessionObject::not_built,          // 2023 $first_attribute
        &SessionObject::not_built,          // 2024 $next_attribute
        &SessionObject::not_built,          // 2025 $get_values_len
        &SessionObject::not_built,          // 2026 $get_values
        &SessionObject::not_built,          // 2027 $delete_ext_s
        &SessionObject::not_built,          // 2028 $get_dn
        &SessionObject::not_built,          // 2029 $result
        &SessionObject::not_built,          // 2030 $create_persistent_search_cont
        &SessionObject::collection_method,  // 2031 $add_att
        &SessionObject::collection_method,  // 2032 $set_att
        &SessionObject::collection_method,  // 2033 $get_att
        &SessionObject::collection_method,  // 2034 $get_att_array_item
    };
    static_assert(std::size(kHandlers) == kMethodCount, "every method id has its handler");
    const std::int32_t id = params::request_id(call) & 0xFFFF;
    const std::int32_t index = id - kFirstMethodId;
    if (index < 0 || index >= kMethodCount) {
        return params::return_code(call, kCodeUnknownMethod);
    }
    return (this->*kHandlers[static_cast<std::size_t>(index)])(call, id);
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
        params::set_int(call, 0, value ? 1 : 0);
        return 1;
    }
    default:
        return 0;
    }
}

HostAnswer SessionObject::not_built(HostCallInfo* call, std::int32_t)
{
    return params::return_code(call, kCodeUnknownMethod);
}

HostAnswer SessionObject::collection_method(HostCallInfo* call, std::int32_t id)
{
    return collections::run_method(call, id, utf8());
}

}  // namespace kandrel
