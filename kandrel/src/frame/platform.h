// The few operating-system services the component needs, behind one small
// layer so that the rest of the code is the same on Windows and elsewhere:
// loading a library and finding its entry points, a lock, string-table
// resources, and the notifications when the component is attached to or
// detached from a process.
#ifndef KANDREL_PLATFORM_H
#define KANDREL_PLATFORM_H

#ifdef __linux__
#include <atomic>
#endif

namespace kandrel::platform {

using ModuleHandle = void*;

#ifdef _WIN32
using LibraryName = const wchar_t*;
#else
using LibraryName = const char*;
#endif

// Loads a shared library by file name with the platform's default search
// order. Answers null when it cannot be loaded. The library is never unloaded.
ModuleHandle load_library(LibraryName name) noexcept;

// The address of an exported function, or null when the library lacks it.
void* find_symbol(ModuleHandle library, const char* name) noexcept;

// Copies string resource id of module into buffer as UTF-16 (at most
// capacity - 1 units, then a zero) and answers the units copied; 0 when the
// string is missing, the module is null or capacity is below 1.
int load_string(ModuleHandle module, unsigned id, char16_t* buffer, int capacity) noexcept;

// A non-recursive lock: a critical section on Windows; on Linux a futex
// word whose uncontended taking and giving back are one atomic operation
// each, inline (the component takes a few short holds on every host call); a
// mutex elsewhere. Meets BasicLockable, so std::lock_guard and
// std::scoped_lock work with it.
class Lock {
public:
#ifdef __linux__
    Lock() noexcept = default;
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock() noexcept
    {
        int expected = kFree;
        if (!state_.compare_exchange_strong(expected, kHeld, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
            wait();
        }
    }
    void unlock() noexcept
    {
        if (state_.exchange(kFree, std::memory_order_release) == kContended) {
            wake();
        }
    }

private:
    static constexpr int kFree = 0;
    static constexpr int kHeld = 1;
    static constexpr int kContended = 2;  // held, and a thread may be asleep on it
    void wait() noexcept;
    void wake() noexcept;
    std::atomic<int> state_{kFree};
#else
    Lock() noexcept;
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock() noexcept;
    void unlock() noexcept;

private:
    alignas(16) unsigned char storage_[64];
#endif
};

}  // namespace kandrel::platform

namespace kandrel {
// Called by the platform layer when the component is mapped into a process
// and when it is removed again; defined by the component entry.
void on_process_attach(platform::ModuleHandle module) noexcept;
void on_process_detach() noexcept;
}  // namespace kandrel

#endif
