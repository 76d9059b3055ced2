// SPDX-License-Identifier: GPL-3.0-or-later
#include "WmaPool.h"

#include <pthread.h>
#include <sched.h>

#include <cstdlib>
#include <system_error>

namespace wmastandin {
namespace {

// The processors of the process's affinity mask (taskset, a scheduler's allocation).
int AffinityProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return CPU_COUNT(&set);
    }
    const unsigned reported = std::thread::hardware_concurrency();
    return reported > 0 ? static_cast<int>(reported) : 1;
}

}  // namespace

std::optional<int> ThreadsFromEnvironment() {
    const char* text = std::getenv("SONVERT_WMA_THREADS");
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 1024) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

WmaPool& WmaPool::Instance() {
    static WmaPool pool(ThreadsFromEnvironment().value_or(AffinityProcessors()));
    return pool;
}

WmaPool::WmaPool(int threads) : threads_(threads < 1 ? 1 : threads) {}

WmaPool::~WmaPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void WmaPool::Submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        try {
            while (static_cast<int>(workers_.size()) < threads_) {
                workers_.emplace_back([this] {
                    // Named, so that a look at the process's threads tells the pool's apart.
                    pthread_setname_np(pthread_self(), "sonvert-wma");
                    Run();
                });
            }
        } catch (const std::system_error&) {
            // Fewer threads than wanted still encode; none at all leaves the job to the caller.
        }
        if (!workers_.empty()) {
            jobs_.push_back(std::move(job));
            wake_.notify_one();
            return;
        }
    }
    job();
}

void WmaPool::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr;  // what the job holds goes before the next one starts
        lock.lock();
    }
}

}  // namespace wmastandin
