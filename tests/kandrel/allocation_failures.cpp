#include "allocation_failures.h"

#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* pointer, std::size_t size);
}

namespace allocation {
namespace {

struct State {
    int counting = 0;
    int suspended = 0;
    long counted = 0;
    long fail_at = -1;
    bool failed = false;
};
thread_local State state;

}  // namespace

// Whether this allocation is the one to fail.
bool fail_now()
{
    if (state.counting == 0 || state.suspended > 0) {
        return false;
    }
    if (state.counted++ == state.fail_at) {
        state.failed = true;
        return true;
    }
    return false;
}

void plan(long fail_at)
{
    state.counted = 0;
    state.fail_at = fail_at;
    state.failed = false;
}

long counted() { return state.counted; }
bool failed() { return state.failed; }

Counting::Counting() { ++state.counting; }
Counting::~Counting() { --state.counting; }

void suspend() { ++state.suspended; }
void resume() { --state.suspended; }

}  // namespace allocation

extern "C" {
void* __wrap_malloc(std::size_t size) { return allocation::fail_now() ? nullptr : __real_malloc(size); }
void* __wrap_calloc(std::size_t count, std::size_t size)
{
    return allocation::fail_now() ? nullptr : __real_calloc(count, size);
}
void* __wrap_realloc(void* pointer, std::size_t size)
{
    return allocation::fail_now() ? nullptr : __real_realloc(pointer, size);
}
}

namespace {
void* allocate(std::size_t size)
{
    if (allocation::fail_now()) {
        return nullptr;
    }
    return __real_malloc(size == 0 ? 1 : size);
}
}  // namespace

void* operator new(std::size_t size)
{
    if (void* p = allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }
