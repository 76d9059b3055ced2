// SPDX-License-Identifier: GPL-3.0-or-later
// The threads that encode the segments of one encoder library's long streams, and the storage of
// the segments' samples: one pool per library and process, shared by every open stream, so that
// several streams at once do not put more threads on the processors.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace standins {

// The environment variable `name` as a count of threads (1 to 1024); nothing when unset or not a
// count.
std::optional<int> ThreadsFromEnvironment(const char* name);

// The variable's count, or else the processors the process may use (its affinity mask lowered to
// its cgroup's CPU quota), as `--jobs` counts them.
int PoolThreads(const char* name);

class WorkerPool {
  public:
    // `threadName` (at most 15 bytes) tells the pool's threads apart in a look at the process.
    WorkerPool(int threads, const char* threadName);
    // Runs the jobs still queued and ends the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int Threads() const { return threads_; }

    // Runs `job` on a thread of the pool, in the order jobs arrive; the threads start with the
    // first job. On the caller's thread when no thread could be started.
    void Submit(std::function<void()> job);

    // Empty storage for at least `capacity` samples. Storage handed back by a finished segment is
    // reused: fresh memory costs the kernel a page fault for each page, which for a short stream
    // is several per cent of its encoding.
    std::vector<int16_t> TakeBuffer(std::size_t capacity);
    void GiveBuffer(std::vector<int16_t> buffer);

  private:
    void Run();

    const int threads_;
    const char* const threadName_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
    std::mutex buffersMutex_;
    std::vector<std::vector<int16_t>> buffers_;
};

}  // namespace standins
