// Failing one allocation of the component on purpose. Every allocation the
// test program makes goes through here (operator new and, by the linker's
// --wrap, malloc, calloc and realloc); while a thread is armed, its
// allocations are counted and the one planned to fail returns null or throws
// std::bad_alloc. The host's services are not the component's: they suspend
// the count while they run.
#ifndef TESTS_KANDREL_ALLOCATION_FAILURES_H
#define TESTS_KANDREL_ALLOCATION_FAILURES_H

namespace allocation {

// Starts a run: the allocation numbered fail_at (from 0) among those counted
// fails; none for -1. The count starts at 0.
void plan(long fail_at);
// The allocations counted since plan, and whether the planned one failed.
long counted();
bool failed();

// While one lives, this thread's allocations are counted (unless suspended).
class Counting {
public:
    Counting();
    ~Counting();
    Counting(const Counting&) = delete;
    Counting& operator=(const Counting&) = delete;
};

// The host's services call these around their work, which is not counted.
void suspend();
void resume();

}  // namespace allocation

#endif
