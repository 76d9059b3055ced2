// The threads that encode the segments of MP3 streams: one pool per loaded library, shared by every
// stream open in it, so that several streams at once do not put more threads on the processors.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace lamestandin {

// SONVERT_MP3_THREADS as a count of threads (1 to 1024); nothing when unset or not a count.
std::optional<int> ThreadsFromEnvironment();

class EncoderPool {
  public:
    // The pool of the process. Its threads start with the first job; unloading the library runs
    // the jobs still queued and ends them.
    static EncoderPool& Instance();

    explicit EncoderPool(int threads);
    ~EncoderPool();
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    int Threads() const { return threads_; }

    // Runs `job` on a thread of the pool, in the order jobs arrive.
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

}  // namespace lamestandin
