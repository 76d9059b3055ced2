// SPDX-License-Identifier: GPL-3.0-or-later
#include "EncoderPool.h"

#include <sched.h>

#include <cstdlib>
#include <system_error>

namespace lamestandin {
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
    const char* text = std::getenv("SONVERT_MP3_THREADS");
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

EncoderPool& EncoderPool::Instance() {
    static EncoderPool pool(ThreadsFromEnvironment().value_or(AffinityProcessors()));
    return pool;
}

EncoderPool::EncoderPool(int threads) : threads_(threads < 1 ? 1 : threads) {}

EncoderPool::~EncoderPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void EncoderPool::Submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        try {
            while (static_cast<int>(workers_.size()) < threads_) {
                workers_.emplace_back([this] { Run(); });
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

std::vector<int16_t> EncoderPool::TakeBuffer(std::size_t capacity) {
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

void EncoderPool::GiveBuffer(std::vector<int16_t> buffer) {
    buffer.clear();
    std::lock_guard lock(buffersMutex_);
    // As many as the threads have segments in flight, and the one being gathered.
    if (buffers_.size() <= static_cast<std::size_t>(threads_) && buffer.capacity() > 0) {
        buffers_.push_back(std::move(buffer));
    }
}

void EncoderPool::Run() {
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

}  // namespace lamestandin
