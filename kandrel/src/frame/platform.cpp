#include "platform.h"

#include <algorithm>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>

#include <mutex>
#ifdef __linux__
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#endif

namespace kandrel::platform {

#ifdef _WIN32

ModuleHandle load_library(LibraryName name) noexcept
{
    return LoadLibraryW(name);
}

void* find_symbol(ModuleHandle library, const char* name) noexcept
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

int load_string(ModuleHandle module, unsigned id, char16_t* buffer, int capacity) noexcept
{
    if (module == nullptr || buffer == nullptr || capacity < 1) {
        return 0;
    }
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<wchar_t*>(buffer),
                       capacity);
}

using NativeLock = CRITICAL_SECTION;
static_assert(sizeof(NativeLock) <= 64);

Lock::Lock() noexcept { InitializeCriticalSection(reinterpret_cast<NativeLock*>(storage_)); }
Lock::~Lock() { DeleteCriticalSection(reinterpret_cast<NativeLock*>(storage_)); }
void Lock::lock() noexcept { EnterCriticalSection(reinterpret_cast<NativeLock*>(storage_)); }
void Lock::unlock() noexcept { LeaveCriticalSection(reinterpret_cast<NativeLock*>(storage_)); }

}  // namespace kandrel::platform

// C linkage, so that the C runtime's DLL start-up finds it by name instead of
// a default that does nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        kandrel::on_process_attach(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        kandrel::on_process_detach();
    }
    return TRUE;
}

#else  // POSIX

ModuleHandle load_library(LibraryName name) noexcept
{
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* find_symbol(ModuleHandle library, const char* name) noexcept
{
    return library != nullptr ? dlsym(library, name) : nullptr;
}

namespace {

// The string-table resources, generated at build time from resources.rc.
struct StringResource {
    unsigned id;
    const char16_t* text;
};

constexpr StringResource kStringTable[] = {
#include "string_table.inc"
};

static_assert(std::is_sorted(std::begin(kStringTable), std::end(kStringTable),
                             [](const StringResource& a, const StringResource& b) {
                                 return a.id < b.id;
                             }),
              "the generated string table is sorted by id");

}  // namespace

int load_string(ModuleHandle module, unsigned id, char16_t* buffer, int capacity) noexcept
{
    if (module == nullptr || buffer == nullptr || capacity < 1) {
        return 0;
    }
    const auto* found = std::lower_bound(
        std::begin(kStringTable), std::end(kStringTable), id,
        [](const StringResource& entry, unsigned key) { return entry.id < key; });
    int copied = 0;
    if (found != std::end(kStringTable) && found->id == id) {
        for (const char16_t* unit = found->text; *unit != u'\0' && copied < capacity - 1; ++unit) {
            buffer[copied++] = *unit;
        }
    }
    buffer[copied] = u'\0';
    return copied;
}

#ifdef __linux__

static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free,
              "the futex word is the atomic itself");

// The holds are short: a thread that finds the lock taken tries a little
// longer before it marks the lock contended and sleeps until unlock wakes it.
void Lock::wait() noexcept
{
    constexpr int kSpins = 100;
    for (int spin = 0; spin < kSpins; ++spin) {
        int expected = kFree;
        if (state_.load(std::memory_order_relaxed) == kFree &&
            state_.compare_exchange_weak(expected, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) {
            return;
        }
    }
    // From here on the lock is taken as contended, so that the unlock that
    // follows wakes the next sleeper, if any.
    while (state_.exchange(kContended, std::memory_order_acquire) != kFree) {
        syscall(SYS_futex, reinterpret_cast<int*>(&state_), FUTEX_WAIT_PRIVATE, kContended, nullptr, nullptr, 0);
    }
}

void Lock::wake() noexcept
{
    syscall(SYS_futex, reinterpret_cast<int*>(&state_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

#else

using NativeLock = std::mutex;
static_assert(sizeof(NativeLock) <= 64 && alignof(NativeLock) <= 16);

Lock::Lock() noexcept { new (storage_) NativeLock(); }
Lock::~Lock() { std::launder(reinterpret_cast<NativeLock*>(storage_))->~NativeLock(); }
void Lock::lock() noexcept { std::launder(reinterpret_cast<NativeLock*>(storage_))->lock(); }
void Lock::unlock() noexcept { std::launder(reinterpret_cast<NativeLock*>(storage_))->unlock(); }

#endif

}  // namespace kandrel::platform

namespace {

// The load address of this module stands in for the Windows module handle.
__attribute__((constructor)) void attach_to_process()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&attach_to_process), &info) != 0 && info.dli_fbase != nullptr) {
        kandrel::on_process_attach(info.dli_fbase);
    }
}

__attribute__((destructor)) void detach_from_process()
{
    kandrel::on_process_detach();
}

}  // namespace

#endif
