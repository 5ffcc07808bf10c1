#include "data/platform/Workers.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace kurvex {

namespace {
std::atomic<int> defaultCount{0};
}  // namespace

int WorkerCount(int wanted) {
    if (wanted <= 0) wanted = defaultCount.load(std::memory_order_relaxed);
    if (wanted <= 0) wanted = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(wanted, 1, kMaxWorkers);
}

void SetDefaultWorkerCount(int count) {
    defaultCount.store(std::max(count, 0), std::memory_order_relaxed);
}

void RunWorkers(int count, const std::function<void(int worker)>& work) {
    std::vector<std::thread> threads;
    try {
        threads.reserve(static_cast<size_t>(std::max(count - 1, 0)));
        for (int w = 1; w < count; ++w) threads.emplace_back(work, w);
    } catch (const std::exception&) {
        // Fewer threads: the ones running take the remaining items.
    }
    work(0);
    for (std::thread& t : threads) t.join();
}

}  // namespace kurvex
