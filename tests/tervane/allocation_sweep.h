// "Count the allocations, then fail each one in turn": runs an operation once
// to count its allocation points (Tervane's allocator and, in the
// allocation-failure test program, the client library's allocating entry
// points), then once more per point with that allocation failing.
#ifndef TESTS_TERVANE_ALLOCATION_SWEEP_H
#define TESTS_TERVANE_ALLOCATION_SWEEP_H

#include <gtest/gtest.h>

#include <functional>

#include "memory.h"

// operation: runs the export once and answers its result. expect(point,
// result): checks the result of the run in which allocation `point` failed;
// the default expects 90. setup: runs before each run, outside the counting
// (to prepare inputs that need allocations). Answers the number of
// allocation points found.
inline long sweep_allocations(const std::function<int()>& operation,
                              const std::function<void(long, int)>& expect = {},
                              const std::function<void()>& setup = {})
{
    if (setup)
        setup();
    tervane::testing::fail_allocation_at(0);
    int clean = operation();
    long points = tervane::testing::allocations_counted();
    EXPECT_EQ(clean, 0) << "the operation must succeed when no allocation fails";
    for (long point = 1; point <= points; ++point) {
        if (setup)
            setup();
        tervane::testing::fail_allocation_at(point);
        int result = operation();
        tervane::testing::fail_allocation_at(0);
        if (expect)
            expect(point, result);
        else
            EXPECT_EQ(result, 90) << "allocation " << point << " of " << points << " failed";
    }
    return points;
}

#endif
