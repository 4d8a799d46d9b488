// The component's one export. Every host request arrives here as a numbered
// message; this file routes each message to the part that answers it and does
// the default processing for everything else.
#include <cstdint>
#include <memory>
#include <new>

#include "host_interface.h"
#include "host_object.h"
#include "host_services.h"
#include "host_tables.h"
#include "host_values.h"
#include "library_binding.h"
#include "methods/methods.h"
#include "parameters.h"
#include "platform.h"
#include "registry.h"
#include "resource_strings.h"
#include "methods/session_object.h"

#ifdef _WIN32
// Exported undecorated through kandrel.def.
#define KANDREL_EXPORT extern "C"
#else
#define KANDREL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace kandrel {

void on_process_attach(platform::ModuleHandle module) noexcept
{
    resources::remember_module(module);
}

void on_process_detach() noexcept
{
    // The registry and the token table end with the module and leave the
    // objects still registered alive (see Registry and refs).
}

namespace {

constexpr unsigned kFirstEnumeratedString = 1;
constexpr unsigned kLastEnumeratedString = 32767;

GroupKey group_of(const HostCallInfo* call) { return call != nullptr ? call->group_key : 0; }
std::int32_t class_of(const HostCallInfo* call) { return call != nullptr ? call->class_id : 0; }

HostAnswer enumerate_strings(HostWParam wparam, HostLParam lparam)
{
    const platform::ModuleHandle module = resources::module();
    if (module == nullptr) {
        return 0;
    }
    for (unsigned id = kFirstEnumeratedString; id <= kLastEnumeratedString; ++id) {
        HostShortString text = host::make_short_string(HOST_SHORT_STRING_MAX);
        resources::load(module, id, text);
        if (text.length > 0) {
            host::string_enumerated(wparam, &text, lparam);
        }
    }
    return 0;
}

HostAnswer default_processing(HostWindow window, std::uint32_t message, HostWParam wparam,
                              HostLParam lparam, HostCallInfo* call)
{
    if (message < HOSTMSG_FIRST_COMPONENT_MESSAGE) {
        return host::default_procedure(window, message, wparam, lparam, call);
    }
    switch (message) {
    case HOSTMSG_ANSWER_ONE:
        return 1;
    case HOSTMSG_RELEASE_RESULTS:
        params::release_results(call);
        return 1;
    case HOSTMSG_ENUMERATE_STRINGS:
        return enumerate_strings(wparam, lparam);
    default:
        return 0;
    }
}

HostAnswer create_object(HostCallInfo* call, Instance instance)
{
    const GroupKey key = group_of(call);
    if (registry().find(key, instance) || class_of(call) != SessionObject::kClassId) {
        return 1;
    }
    auto object = std::shared_ptr<SessionObject>(new (std::nothrow) SessionObject(instance));
    if (object) {
        registry().add(key, instance, object);
    }
    return 1;
}

HostAnswer delete_object(HostCallInfo* call, Instance instance)
{
    // The registry's owner is dropped here, outside its lock; a method still
    // running on another thread keeps the object alive until it returns.
    ObjectPtr removed = registry().remove(group_of(call), instance);
    removed.reset();
    return 0;
}

HostAnswer copy_object(HostWindow window, std::uint32_t message, HostWParam wparam,
                       HostLParam lparam, HostCallInfo* call)
{
    const auto* instances = reinterpret_cast<const HostLParam*>(lparam);
    if (instances != nullptr) {
        const GroupKey key = group_of(call);
        if (const ObjectPtr source = registry().find(key, instances[0])) {
            const Instance target_instance = instances[1];
            if (const ObjectPtr target = registry().find(key, target_instance)) {
                target->assign(*source);
            } else if (const ObjectPtr copy = source->clone(target_instance)) {
                registry().add(key, target_instance, copy);
            }
        }
    }
    return default_processing(window, message, wparam, lparam, call);
}

HostAnswer dispatch(HostWindow window, std::uint32_t message, HostWParam wparam, HostLParam lparam,
                    HostCallInfo* call)
{
    host::adopt_services(call);
    // The two messages of every method call come first; they need no module.
    if (message == HOSTMSG_METHOD_CALL) {
        const ObjectPtr object = registry().find(group_of(call), lparam);
        return object ? object->call(call) : 0;
    }
    if (message == HOSTMSG_RELEASE_RESULTS) {
        return default_processing(window, message, wparam, lparam, call);
    }
    const platform::ModuleHandle module = resources::module();
    switch (message) {
    case HOSTMSG_LIBRARY_NAME:
        return tables::announce_library_name(module, call);
    case HOSTMSG_CONSTANT_PREFIX:
        return tables::announce_constant_prefix(module, call);
    case HOSTMSG_CLASS_TABLE:
        return tables::announce_classes(module, call);
    case HOSTMSG_PROPERTY_TABLE:
        if (class_of(call) == SessionObject::kClassId) {
            return tables::announce_properties(module, call);
        }
        break;
    case HOSTMSG_METHOD_TABLE:
        if (class_of(call) == SessionObject::kClassId) {
            return tables::announce_methods(module, call);
        }
        break;
    case HOSTMSG_CONSTANT_TABLE:
        return tables::announce_constants(module, call);
    case HOSTMSG_CONNECT:
        library::load();
        return HOST_CONNECT_ANSWER;
    case HOSTMSG_DISCONNECT:
        library::release();
        return 1;
    case HOSTMSG_OBJECT_CREATE:
        return create_object(call, lparam);
    case HOSTMSG_OBJECT_DELETE:
        return delete_object(call, lparam);
    case HOSTMSG_OBJECT_COPY:
        return copy_object(window, message, wparam, lparam, call);
    case HOSTMSG_PROPERTY_SET:
    case HOSTMSG_PROPERTY_CAN_ASSIGN:
    case HOSTMSG_PROPERTY_GET:
    case HOSTMSG_PROPERTY_OTHER: {
        const ObjectPtr object = registry().find(group_of(call), lparam);
        return object ? object->property(message, call, wparam == 1) : 0;
    }
    case HOSTMSG_VERSION_QUERY:
        return HOST_VERSION_ANSWER;
    case HOSTMSG_ANSWER_ZERO:
        return 0;
    default:
        break;
    }
    return default_processing(window, message, wparam, lparam, call);
}

}  // namespace
}  // namespace kandrel

namespace kandrel {
namespace {

// What a message answers when it could not be handled (memory ran out): never
// the answer that means success, except for the messages whose answer is the
// same whatever happens.
HostAnswer failure_answer(std::uint32_t message) noexcept
{
    switch (message) {
    case HOSTMSG_LIBRARY_NAME:
        return -1;  // success answers 0
    case HOSTMSG_CONNECT:
        return HOST_CONNECT_ANSWER;
    case HOSTMSG_DISCONNECT:
    case HOSTMSG_RELEASE_RESULTS:
    case HOSTMSG_OBJECT_CREATE:  // no object was made; the answer is always 1
    case HOSTMSG_ANSWER_ONE:
        return 1;
    case HOSTMSG_METHOD_CALL:
        return methods::kCodeNoMemory;
    case HOSTMSG_VERSION_QUERY:
        return HOST_VERSION_ANSWER;
    default:
        return 0;  // tables, properties, copies: not delivered
    }
}

}  // namespace
}  // namespace kandrel

KANDREL_EXPORT HostAnswer HOST_CALL LDAPWndProc(HostWindow window, std::uint32_t message,
                                               HostWParam wparam, HostLParam lparam,
                                               HostCallInfo* call)
{
    try {
        return kandrel::dispatch(window, message, wparam, lparam, call);
    } catch (...) {
        return kandrel::failure_answer(message);
    }
}
