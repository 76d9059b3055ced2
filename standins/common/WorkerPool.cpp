// SPDX-License-Identifier: GPL-3.0-or-later
#include "WorkerPool.h"

#include <pthread.h>

#include <cstdlib>
#include <system_error>

#include "Processors.h"

namespace standins {

std::optional<int> ThreadsFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
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

int PoolThreads(const char* name) {
    return ThreadsFromEnvironment(name).value_or(platform::UsableProcessors());
}

WorkerPool::WorkerPool(int threads, const char* threadName)
    : threads_(threads < 1 ? 1 : threads), threadName_(threadName) {}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void WorkerPool::Submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        try {
            while (static_cast<int>(workers_.size()) < threads_) {
                workers_.emplace_back([this] {
                    pthread_setname_np(pthread_self(), threadName_);
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

std::vector<int16_t> WorkerPool::TakeBuffer(std::size_t capacity) {
    {
        std::lock_guard lock(buffersMutex_);
        for (auto at = buffers_.begin(); at != buffers_.end(); ++at) {
            if (at->capacity() >= capacity) {
                std::vector<int16_t> buffer = std::move(*at);
                buffers_.erase(at);
                return buffer;
            }
        }
    }
    std::vector<int16_t> buffer;
    buffer.reserve(capacity);
    return buffer;
}

void WorkerPool::GiveBuffer(std::vector<int16_t> buffer) {
    buffer.clear();
    std::lock_guard lock(buffersMutex_);
    // As many as the threads have segments in flight, and the one being gathered.
    if (buffers_.size() <= static_cast<std::size_t>(threads_) && buffer.capacity() > 0) {
        buffers_.push_back(std::move(buffer));
    }
}

void WorkerPool::Run() {
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

}  // namespace standins
