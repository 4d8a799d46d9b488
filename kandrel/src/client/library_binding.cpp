#include "library_binding.h"

#include <cstdio>
#include <mutex>

#include "debug_log.h"

namespace kandrel::library {
namespace {

// The slot types must be exactly the library's own declarations, calling
// convention included: a slot called with another convention than the
// library's would corrupt the stack on 32-bit Windows.
#define KANDREL_CHECK_SIGNATURE(name, result, parameters, kind)                           \
    static_assert(std::is_same_v<Signature<Entry::name>::type, decltype(&::name)>, \
                  #name " matches the client library's declaration");
KANDREL_CLIENT_ENTRY_POINTS(KANDREL_CHECK_SIGNATURE)
#undef KANDREL_CHECK_SIGNATURE

void report_missing(const char* name) noexcept
{
    char argument[128];
    std::snprintf(argument, sizeof argument, "%sFail", name);
    char text[4096];
    std::snprintf(text, sizeof text, log::kMissingFunction, argument);
    // The formatted line is written as it is, without further formatting.
    log::write(text);
}

// The fallback of entry point E: same parameters, a logged line, a zero
// result.
template <Entry E, class Fn>
struct Fallback;

template <Entry E, class Result, class... Args>
struct Fallback<E, Result(LDAP_CLIENT_CALL*)(Args...)> {
    static Result LDAP_CLIENT_CALL call(Args...) noexcept
    {
        report_missing(kEntries[static_cast<std::size_t>(E)].name);
        if constexpr (!std::is_void_v<Result>) {
            return Result{};
        }
    }
};

template <Entry E>
constexpr typename Signature<E>::type fallback = &Fallback<E, typename Signature<E>::type>::call;

std::atomic<platform::ModuleHandle> module{nullptr};
std::atomic<unsigned> loads{0};

// Every slot starts on its fallback, before any message arrives.
constexpr Table make_table() noexcept
{
    return Table{
#define KANDREL_ENTRY_FALLBACK(name, result, parameters, kind) {fallback<Entry::name>},
        KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_FALLBACK)
#undef KANDREL_ENTRY_FALLBACK
    };
}

constinit Table the_table = make_table();

template <Entry E>
void bind_one(platform::ModuleHandle library) noexcept
{
    using Fn = typename Signature<E>::type;
    void* address = library != nullptr
                        ? platform::find_symbol(library, kEntries[static_cast<std::size_t>(E)].name)
                        : nullptr;
    slot<E>().store(address != nullptr ? reinterpret_cast<Fn>(address) : fallback<E>,
                    std::memory_order_release);
}

}  // namespace

Table& table() noexcept { return the_table; }

void bind_entry_points() noexcept
{
    const platform::ModuleHandle library = module.load(std::memory_order_acquire);
#define KANDREL_ENTRY_BIND(name, result, parameters, kind) bind_one<Entry::name>(library);
    KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_BIND)
#undef KANDREL_ENTRY_BIND
}

namespace {
// Connect and disconnect each check the module and then change it and the
// slots: one lock makes each whole, so two of them never interleave. Method
// calls read the slots without it.
platform::Lock binding_lock;
}  // namespace

bool load() noexcept
{
    std::lock_guard guard(binding_lock);
    if (module.load(std::memory_order_acquire) != nullptr) {
        return true;
    }
    module.store(platform::load_library(kClientLibraryFile), std::memory_order_release);
    loads.fetch_add(1, std::memory_order_relaxed);
    bind_entry_points();
    return module.load(std::memory_order_acquire) != nullptr;
}

void release() noexcept
{
    std::lock_guard guard(binding_lock);
    module.store(nullptr, std::memory_order_release);
    bind_entry_points();
}

bool loaded() noexcept { return module.load(std::memory_order_acquire) != nullptr; }

unsigned load_count() noexcept { return loads.load(std::memory_order_relaxed); }

bool is_fallback(Entry entry) noexcept
{
    switch (entry) {
#define KANDREL_ENTRY_IS_FALLBACK(name, result, parameters, kind) \
    case Entry::name:                                             \
        return slot<Entry::name>().load(std::memory_order_acquire) == fallback<Entry::name>;
        KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_IS_FALLBACK)
#undef KANDREL_ENTRY_IS_FALLBACK
    }
    return false;
}

}  // namespace kandrel::library
