// SPDX-License-Identifier: GPL-3.0-or-later
// The threads that encode the segments of WMA streams: one pool per process, shared by every open
// writer, so that several files at once do not put more threads on the processors.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace wmastandin {

// SONVERT_WMA_THREADS as a count of threads (1 to 1024); nothing when unset or not a count.
std::optional<int> ThreadsFromEnvironment();

class WmaPool {
  public:
    // The pool of the process. Its threads start with the first job; unloading the library runs
    // the jobs still queued and ends them.
    static WmaPool& Instance();

    explicit WmaPool(int threads);
    ~WmaPool();
    WmaPool(const WmaPool&) = delete;
    WmaPool& operator=(const WmaPool&) = delete;

    int Threads() const { return threads_; }

    // Runs `job` on a thread of the pool, in the order jobs arrive; on the caller's thread when
    // no thread could be started.
    void Submit(std::function<void()> job);

  private:
    void Run();

    const int threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};

}  // namespace wmastandin
