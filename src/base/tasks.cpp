#include "base/tasks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

int buildThreads = 1;

namespace {

// Takes tasks in order until none is left or one has failed.
class TaskQueue {
public:
    TaskQueue(size_t count, const std::function<void(size_t)>& task) : count_(count), task_(task) {}

    void work() {
        for (size_t k; !failed_.load(std::memory_order_relaxed) && (k = next_.fetch_add(1)) < count_;) {
            try {
                task_(k);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(mutex_);
                if (!failure_) failure_ = std::current_exception();
                failed_.store(true);
            }
        }
    }

    void rethrow() {
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    const size_t count_;
    const std::function<void(size_t)>& task_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> failed_{false};
    std::mutex mutex_;
    std::exception_ptr failure_;
};

}  // namespace

void runTasks(int threads, size_t count, const std::function<void(size_t)>& task) {
    const size_t processors = std::max(1u, std::thread::hardware_concurrency());
    const size_t helpers =
        std::min({static_cast<size_t>(std::max(threads, 1)), processors, count}) - (count > 0);
    if (helpers == 0) {
        for (size_t k = 0; k < count; ++k) task(k);
        return;
    }
    TaskQueue queue(count, task);
    std::vector<std::thread> started;
    started.reserve(helpers);
    for (size_t h = 0; h < helpers; ++h) {
        try {
            started.emplace_back([&queue] { queue.work(); });
        } catch (const std::system_error&) {
            break;  // fewer helpers: the calling thread takes what they would have taken
        }
    }
    queue.work();
    for (std::thread& thread : started) thread.join();
    queue.rethrow();
}
