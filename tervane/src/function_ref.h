// A non-owning reference to a callable: lets the exchange frame call an
// operation's encoder or decoder without allocating (std::function may
// allocate and throw, which no path of a C export may do).
#ifndef TERVANE_FUNCTION_REF_H
#define TERVANE_FUNCTION_REF_H

#include <memory>
#include <type_traits>
#include <utility>

namespace tervane {

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
public:
    FunctionRef() = default;
    FunctionRef(std::nullptr_t) {}

    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef> &&
                                                std::is_invocable_r_v<R, F&, Args...>>>
    FunctionRef(F&& callable)  // NOLINT: implicit by design, like a function pointer
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_([](void* object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
          })
    {
    }

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }
    explicit operator bool() const { return call_ != nullptr; }

private:
    void* object_ = nullptr;
    R (*call_)(void*, Args...) = nullptr;
};

}  // namespace tervane

#endif
