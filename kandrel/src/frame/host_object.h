// The base of every object the host creates through the component.
#ifndef KANDREL_HOST_OBJECT_H
#define KANDREL_HOST_OBJECT_H

#include <cstdint>
#include <memory>

#include "host_interface.h"

namespace kandrel {

class HostObject;
// Objects are shared: a method running on one thread keeps its object alive
// while another thread deletes it.
using ObjectPtr = std::shared_ptr<HostObject>;
// The host's name for an object: the instance handle of its messages.
using Instance = HostLParam;

class HostObject {
public:
    HostObject(Instance instance, std::int32_t class_id) noexcept
        : instance_(instance), class_id_(class_id)
    {
    }
    virtual ~HostObject() = default;
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    Instance instance() const noexcept { return instance_; }
    std::int32_t class_id() const noexcept { return class_id_; }

    // A new object of the same class for another host instance, sharing this
    // object's state as the class defines; null when out of memory.
    virtual ObjectPtr clone(Instance target) const = 0;
    // Takes over the state of source when it is of the same class.
    virtual void assign(const HostObject& source) = 0;
    // Runs the method the request names and answers for it.
    virtual HostAnswer call(HostCallInfo* call) = 0;
    // Handles a property message; wparam_is_one tells whether wParam was 1.
    virtual HostAnswer property(std::uint32_t message, HostCallInfo* call, bool wparam_is_one) = 0;

private:
    const Instance instance_;
    const std::int32_t class_id_;
};

}  // namespace kandrel

#endif
