// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "BatchRunner.h"

// Runs a batch's files on threads that are made as the scheduler needs them and then kept: each
// takes the next file handed over and converts it as the windows do, staged. The scheduler's limit
// is the pool's size.
class WorkerPool final : public FileRunner {
  public:
    // With classicInput the files are read as the windows read them, and refused as they are.
    WorkerPool(bool noClobber, BatchConsole& console, BatchProgress& progress,
               bool classicInput = false);
    // Lets the idle threads go and joins them.
    ~WorkerPool() override;

    bool Start(std::size_t index, const BatchFile& file) override;
    std::optional<FinishedFile> WaitForOne() override;
    void Halt() override { halt_.store(true, std::memory_order_relaxed); }

  private:
    void Work();
    FinishedFile Convert(std::size_t index, const BatchFile& file);

    const bool noClobber_;
    const bool classicInput_;
    BatchConsole& console_;
    BatchProgress& progress_;
    std::atomic<bool> halt_{false};

    std::mutex mutex_;
    std::condition_variable handedOver_;
    std::condition_variable ended_;
    std::deque<std::pair<std::size_t, const BatchFile*>> waiting_;
    std::deque<FinishedFile> finished_;
    std::size_t busy_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;  // last: joined before the rest goes
};
