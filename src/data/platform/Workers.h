#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace kurvex {

// Threads a load may use: `wanted` when positive, else the machine's cores;
// never more than kMaxWorkers, as the page cache and the memory bus stop
// giving more well before that.
constexpr int kMaxWorkers = 8;
int WorkerCount(int wanted = 0);

// What WorkerCount() takes for "the machine's cores" from now on in this
// process: a process that already runs one load per core (a batch worker)
// sets 1; 0 brings the cores back.
void SetDefaultWorkerCount(int count);

// Runs work(0) on the calling thread and work(1) .. work(count - 1) on threads
// of their own, and returns when all have finished. Work is shared out
// through an ItemCounter, so that any number of workers gets all of it done:
// a thread that cannot be started is simply not there. Workers must not throw.
void RunWorkers(int count, const std::function<void(int worker)>& work);

// Hands out items 0, 1, 2, ... in order to whichever worker asks next.
class ItemCounter {
public:
    explicit ItemCounter(std::int64_t items) : items_(items) {}
    // The next item, or -1 when all are taken (or Stop() was called).
    std::int64_t Next() {
        const std::int64_t i = next_.fetch_add(1, std::memory_order_relaxed);
        return i < items_ ? i : -1;
    }
    // No further items are handed out.
    void Stop() { next_.store(items_, std::memory_order_relaxed); }

private:
    const std::int64_t items_;
    std::atomic<std::int64_t> next_{0};
};

}  // namespace kurvex
