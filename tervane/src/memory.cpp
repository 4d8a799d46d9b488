#include "memory.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "tervane.h"

namespace tervane {

#ifdef TERVANE_ALLOCATION_HOOK
namespace testing {
namespace {
thread_local long fail_at = 0;
thread_local long counted = 0;
}  // namespace

void fail_allocation_at(long n)
{
    fail_at = n;
    counted = 0;
}

long allocations_counted() { return counted; }

bool allocation_must_fail()
{
    ++counted;
    return fail_at != 0 && counted == fail_at;
}
}  // namespace testing
#endif

namespace {

// True when a test has asked for this allocation to fail; never in the
// shipped library.
bool refused()
{
#ifdef TERVANE_ALLOCATION_HOOK
    return testing::allocation_must_fail();
#else
    return false;
#endif
}

}  // namespace

void* allocate(std::size_t size)
{
    if (refused())
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* allocate_zeroed(std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
        return nullptr;
    if (refused())
        return nullptr;
    return std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
}

void* reallocate(void* block, std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
        return nullptr;
    if (refused())
        return nullptr;
    std::size_t bytes = count * size;
    return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void release(void* block) noexcept { std::free(block); }

char* copy_string(const char* bytes, std::size_t length)
{
    if (length == std::numeric_limits<std::size_t>::max())
        return nullptr;
    auto* copy = static_cast<char*>(allocate(length + 1));
    if (copy == nullptr)
        return nullptr;
    if (length != 0)
        std::memcpy(copy, bytes, length);
    copy[length] = '\0';
    return copy;
}

}  // namespace tervane

TERVANE_API void TERVANE_CALL tervane_memfree(void* p) { tervane::release(p); }
