// The pool: a queue of calls, each a counter of tasks that the caller and the workers
// claim one at a time.
#include "common/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace common {
namespace {

// One call of Run: its tasks are claimed through `next`; `done` counts the ended ones.
struct Call {
    const std::function<void(std::size_t)>* task = nullptr;
    std::size_t tasks = 0;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;  // guarded by mutex
    std::vector<std::exception_ptr> errors;

    // Claims and runs tasks until none is left unclaimed.
    void Work() {
        while (true) {
            const std::size_t k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= tasks) return;
            std::exception_ptr error;
            try {
                (*task)(k);
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard<std::mutex> lock(mutex);
            if (error) errors[k] = error;
            if (++done == tasks) finished.notify_all();
        }
    }
};

}  // namespace

struct ThreadPool::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<Call>> queue;  // one entry per worker a call asked for
    bool stopping = false;
    std::vector<std::jthread> workers;

    void Serve() {
        while (true) {
            std::shared_ptr<Call> call;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return stopping || !queue.empty(); });
                if (queue.empty()) return;
                call = std::move(queue.front());
                queue.pop_front();
            }
            call->Work();
        }
    }
};

ThreadPool::ThreadPool(int workers) : state_(std::make_unique<State>()) {
    const int count = std::clamp(workers, 0, kMaxThreads);
    state_->workers.reserve(static_cast<std::size_t>(count));
    for (int w = 0; w < count; ++w) state_->workers.emplace_back([this] { state_->Serve(); });
}

ThreadPool::~ThreadPool() {
    {
        const std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    state_->workers.clear();  // joins
}

void ThreadPool::Run(std::size_t tasks, int threads, const std::function<void(std::size_t)>& task) {
    if (tasks == 0) return;
    auto call = std::make_shared<Call>();
    call->task = &task;
    call->tasks = tasks;
    call->errors.resize(tasks);
    const std::size_t helpers = std::min(
        {tasks - 1, static_cast<std::size_t>(std::max(threads, 1) - 1), state_->workers.size()});
    if (helpers > 0) {
        {
            const std::lock_guard<std::mutex> lock(state_->mutex);
            for (std::size_t h = 0; h < helpers; ++h) state_->queue.push_back(call);
        }
        if (helpers == 1) {
            state_->wake.notify_one();
        } else {
            state_->wake.notify_all();
        }
    }
    call->Work();
    {
        std::unique_lock<std::mutex> lock(call->mutex);
        call->finished.wait(lock, [&] { return call->done == call->tasks; });
    }
    // A worker that takes this call's queue entry later finds no task left and lets go of
    // it; the task function is not touched again once every task has ended.
    for (const std::exception_ptr& error : call->errors) {
        if (error) std::rethrow_exception(error);
    }
}

int HardwareThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp<unsigned>(cores, 1, kMaxThreads));
}

ThreadPool& SharedPool() {
    static ThreadPool pool(std::max(HardwareThreads() - 1, 1));
    return pool;
}

}  // namespace common
