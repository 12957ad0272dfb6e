// The thread pool: every task runs once, an exception comes back to the caller, and calls
// made from inside a task finish.
#include "common/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace common {
namespace {

// The exception of the lowest-numbered failing task reaches the caller after every task has
// ended; the pool keeps working afterwards.
TEST(ThreadPool, ExceptionsComeBackToTheCaller) {
    ThreadPool pool(2);
    std::atomic<int> ended{0};
    try {
        pool.Run(50, 3, [&](std::size_t k) {
            ++ended;
            if (k % 7 == 3) throw std::runtime_error("task " + std::to_string(k));
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "task 3");
    }
    EXPECT_EQ(ended.load(), 50);
    std::atomic<int> sum{0};
    pool.Run(10, 3, [&](std::size_t) { ++sum; });
    EXPECT_EQ(sum.load(), 10);
}

// Slices that themselves share work on the same pool (pairs in parallel, each matched on
// several threads) finish even when every worker waits inside a slice.
TEST(ThreadPool, NestedCallsFinish) {
    std::vector<long> totals(8, 0);
    ForSlices(totals.size(), 8, [&](std::size_t begin, std::size_t end, std::size_t) {
        for (std::size_t t = begin; t < end; ++t) {
            std::vector<long> part(4, 0);
            ForSlices(400, 4, [&](std::size_t b, std::size_t e, std::size_t slice) {
                for (std::size_t i = b; i < e; ++i) part[slice] += static_cast<long>(i);
                return true;
            });
            totals[t] = std::accumulate(part.begin(), part.end(), 0L);
        }
        return true;
    });
    for (const long total : totals) EXPECT_EQ(total, 399L * 400 / 2);
}

TEST(ForSlices, CoversTheRangeInContiguousSlicesAndReportsFailure) {
    for (const std::size_t n : {0u, 1u, 5u, 1000u}) {
        for (const int threads : {0, 1, 3, 16}) {
            std::vector<int> seen(n, 0);
            const bool ok =
                ForSlices(n, threads, [&](std::size_t begin, std::size_t end, std::size_t slice) {
                    for (std::size_t i = begin; i < end; ++i) ++seen[i];
                    return slice != 1;
                });
            for (const int s : seen) ASSERT_EQ(s, 1);
            const std::size_t slices = n > 1 && threads > 1 ? std::min<std::size_t>(n, threads) : 1;
            EXPECT_EQ(ok, slices < 2) << n << " items, " << threads << " threads";
        }
    }
}

}  // namespace
}  // namespace common
