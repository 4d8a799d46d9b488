// The LDAP client library, loaded at run time by file name when the host
// connects the component. Every call goes through one process-wide table of
// typed entry points. A slot is never empty: while the library is not loaded,
// and for any entry point the library does not export, the slot holds a
// fallback with the same parameters that logs "Failed to find function
// <name>Fail" and answers a zero result, so a missing library shows up as
// null handles and zero codes, never as a crash.
#ifndef KANDREL_LIBRARY_BINDING_H
#define KANDREL_LIBRARY_BINDING_H

#include <atomic>
#include <cstddef>
#include <type_traits>

#include "classic_codes.h"
#include "client_entry_points.h"
#include "ldap_client.h"
#include "platform.h"

namespace kandrel::library {

// The file loaded on connect; defined in client_library_file.cpp.
extern const platform::LibraryName kClientLibraryFile;

enum class Entry : std::size_t {
#define KANDREL_ENTRY_ENUM(name, result, parameters, kind) name,
    KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_ENUM)
#undef KANDREL_ENTRY_ENUM
};

enum class ResultKind { plain, code, option };

struct EntryInfo {
    const char* name;
    ResultKind result;
};

inline constexpr EntryInfo kEntries[] = {
#define KANDREL_ENTRY_INFO(name, result, parameters, kind) {#name, ResultKind::kind},
    KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_INFO)
#undef KANDREL_ENTRY_INFO
};
inline constexpr std::size_t kEntryCount = std::size(kEntries);
static_assert(kEntryCount == 40, "the component binds 40 entry points");

// The typed pointer of every entry point: Signature<Entry::ldap_init> is
// LDAP* (*)(const char*, int).
template <Entry E>
struct Signature;
#define KANDREL_ENTRY_SIGNATURE(name, result, parameters, kind)          \
    template <>                                                          \
    struct Signature<Entry::name> {                                      \
        using type = result(LDAP_CLIENT_CALL*) parameters;               \
    };
KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_SIGNATURE)
#undef KANDREL_ENTRY_SIGNATURE

// The table: one typed, always callable slot per entry point.
struct Table {
#define KANDREL_ENTRY_SLOT(name, result, parameters, kind) \
    std::atomic<Signature<Entry::name>::type> name;
    KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_SLOT)
#undef KANDREL_ENTRY_SLOT
};

Table& table() noexcept;

template <Entry E>
std::atomic<typename Signature<E>::type>& slot() noexcept;
#define KANDREL_ENTRY_ACCESSOR(name, result, parameters, kind)               \
    template <>                                                              \
    inline std::atomic<Signature<Entry::name>::type>& slot<Entry::name>() noexcept \
    {                                                                        \
        return table().name;                                                 \
    }
KANDREL_CLIENT_ENTRY_POINTS(KANDREL_ENTRY_ACCESSOR)
#undef KANDREL_ENTRY_ACCESSOR

// Loads the library unless it is loaded, binds every slot whether or not the
// load worked, and answers whether the library is loaded.
bool load() noexcept;
// Forgets the library (it stays mapped) and puts every slot on its fallback.
void release() noexcept;
// Fills every slot from the loaded library, or with fallbacks.
void bind_entry_points() noexcept;
bool loaded() noexcept;
// How often the library file was actually loaded.
unsigned load_count() noexcept;
// Whether the slot of entry currently holds its fallback.
bool is_fallback(Entry entry) noexcept;

// OpenLDAP reports client-side failures with negative codes (-1 server down,
// ... -17 referral limit exceeded); host programs know them by the classic C
// API numbers 81 to 97, and the component uses -1 and -2 for its own codes.
// A library code -n (n from 1 to 17) is therefore handed on as 80 + n.
constexpr int host_code(int library_code) noexcept { return classic_codes::from_library(library_code); }
// ldap_set_option and ldap_get_option answer -1 for an option they refuse
// (LDAP_OPT_ERROR), which host programs know as -1; other client-side codes
// are handed on like result codes.
constexpr int host_option_code(int library_code) noexcept
{
    return library_code == -1 ? -1 : host_code(library_code);
}
// The library's own code for a code in the host's numbering.
constexpr int library_code(int host_code) noexcept { return classic_codes::to_library(host_code); }

// The thin call layer: calls entry point E through its slot. Result codes come
// back in the host's numbering; ldap_err2string receives the library's own
// code for a code in the host's numbering.
template <Entry E, class... Args>
auto call(Args... args) noexcept
{
    const auto fn = slot<E>().load(std::memory_order_acquire);
    if constexpr (E == Entry::ldap_err2string) {
        return fn(library_code(args)...);
    } else if constexpr (kEntries[static_cast<std::size_t>(E)].result == ResultKind::code) {
        return host_code(fn(args...));
    } else if constexpr (kEntries[static_cast<std::size_t>(E)].result == ResultKind::option) {
        return host_option_code(fn(args...));
    } else {
        return fn(args...);
    }
}

}  // namespace kandrel::library

#endif
