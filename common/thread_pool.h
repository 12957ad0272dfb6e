// A persistent pool of worker threads and the one way the project shares work among
// threads: contiguous slices whose items are computed each on their own, so that every
// result is the same for every thread count.
//
// The workers start once, on first use, and stay for the life of the process; a parallel
// call costs a queue push and a wake-up instead of starting threads. The calling thread
// works on its own call's slices as well and, while it waits, takes the slices no worker
// has taken yet, so a call made from inside a worker (pairs in parallel, each matched on
// several threads) cannot deadlock. An exception thrown by a slice is carried back to the
// caller and rethrown there once every slice of the call has ended.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace common {

// Most threads a call may ask for; more are taken as this many.
inline constexpr int kMaxThreads = 256;

class ThreadPool {
  public:
    // A pool of `workers` threads besides the callers'.
    explicit ThreadPool(int workers);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Runs task(0) ... task(tasks - 1), the calling thread and at most `threads - 1` workers
    // taking them in turn; returns when every task has ended. Rethrows the exception of the
    // lowest-numbered task that threw.
    void Run(std::size_t tasks, int threads, const std::function<void(std::size_t)>& task);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The process's pool: one worker per core beyond the first (at least one), started on
// first use.
ThreadPool& SharedPool();

// The number of cores, at least 1, at most kMaxThreads: the default thread count.
int HardwareThreads();

// Runs body(begin, end, slice) on min(threads, n) contiguous slices of [0, n) (one slice for
// threads <= 1 or n <= 1, on the calling thread alone); returns whether every slice returned
// true. Slice k covers [n k / parts, n (k + 1) / parts).
template <typename Body>
bool ForSlices(std::size_t n, int threads, const Body& body) {
    const std::size_t wanted = threads > 1 ? static_cast<std::size_t>(threads) : 1;
    const std::size_t parts = n > 1 ? (wanted < n ? wanted : n) : 1;
    if (parts == 1) return body(std::size_t{0}, n, std::size_t{0});
    std::vector<char> ok(parts, 0);
    SharedPool().Run(parts, static_cast<int>(parts), [&](std::size_t p) {
        ok[p] = body(n * p / parts, n * (p + 1) / parts, p) ? 1 : 0;
    });
    for (const char c : ok) {
        if (c == 0) return false;
    }
    return true;
}

}  // namespace common
