// SPDX-License-Identifier: GPL-3.0-or-later
// The threads that encode the segments of MP3 streams, and the storage of the segments' samples:
// one pool per process, shared by every open stream, so that several streams at once do not put
// more threads on the processors.
#pragma once

#include <condition_variable>
#include <cstdint>
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

    // Empty storage for at least `capacity` samples. Storage handed back by a finished segment is
    // reused: fresh memory costs the kernel a page fault for each page, which for a short stream
    // is several per cent of its encoding.
    std::vector<int16_t> TakeBuffer(std::size_t capacity);
    void GiveBuffer(std::vector<int16_t> buffer);

  private:
    void Run();

    const int threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> workers_;
    bool stopping_ = false;
    std::mutex buffersMutex_;
    std::vector<std::vector<int16_t>> buffers_;
};

}  // namespace lamestandin
