#include "memory.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "tervane.h"

namespace tervane {

namespace testing {
namespace {
// Only tests ever set these; in normal use fail_at stays 0 and no
// allocation is refused.
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

void* allocate(std::size_t size)
{
    if (testing::allocation_must_fail())
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* allocate_zeroed(std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
        return nullptr;
    if (testing::allocation_must_fail())
        return nullptr;
    return std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
}

void* reallocate(void* block, std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
        return nullptr;
    if (testing::allocation_must_fail())
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
