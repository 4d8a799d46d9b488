// Tervane's own allocator: every buffer that Tervane hands to a caller (and
// every temporary of its own) comes from here and goes back through release()
// or the exported tervane_memfree().
#ifndef TERVANE_MEMORY_H
#define TERVANE_MEMORY_H

#include <cstddef>
#include <memory>

namespace tervane {

// NULL when memory is short. A request for zero bytes still gives a block.
void* allocate(std::size_t size);
// count * size zeroed bytes; NULL when memory is short or the size overflows.
void* allocate_zeroed(std::size_t count, std::size_t size);
// Grows or shrinks a block; NULL (the old block kept) when memory is short or
// the size overflows.
void* reallocate(void* block, std::size_t count, std::size_t size);
void release(void* block) noexcept;

// A copy of length bytes followed by a NUL; NULL when memory is short.
char* copy_string(const char* bytes, std::size_t length);

struct Release {
    void operator()(void* block) const noexcept { release(block); }
};
// Owner of a block from allocate().
template <class T>
using Owned = std::unique_ptr<T, Release>;

#ifdef TERVANE_ALLOCATION_HOOK
// Test programs only: they link the variant of the allocator built with this
// hook; the shipped library's allocator has none.
namespace testing {
// Makes the n-th allocation from now on (1 = the next one) on this thread
// fail; 0 turns failures off. Counts allocations made by Tervane and, in the
// allocation-failure test program, by the client library's allocating entry
// points.
void fail_allocation_at(long n);
// Allocations counted on this thread since the last fail_allocation_at().
long allocations_counted();
// Counts one allocation and says whether it is the one that must fail.
bool allocation_must_fail();
}  // namespace testing
#endif

}  // namespace tervane

#endif
