// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QThread>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FileConversion.h"

// Runs one batch on its own thread: each listed WAVE file becomes one encoded file.
class TConvertThread final : public QThread {
    Q_OBJECT

  public:
    // A suspended worker waits for Resume(); otherwise it starts at once.
    explicit TConvertThread(bool createSuspended);
    ~TConvertThread() override;

    // Full source paths in list order; filled before Resume().
    std::vector<std::string> FileList;
    // On by default: the worker deletes itself once its batch has ended.
    bool FreeOnTerminate = true;

    // The options of this batch, copied before Resume(); they cannot change under a running batch.
    void SetOptions(const ConversionOptions& options) { options_ = options; }
    // Opens a source for reading; tests give one that fails part-way. Empty: the real file.
    std::function<std::FILE*(const std::string&)> SourceOpener;

    // Must outlive the batch.
    void SetReporter(ConversionReporter* reporter) { reporter_ = reporter; }
    // The worker keeps this one for as long as it lives: a cancelled batch may report after its
    // window has lost interest.
    void AdoptReporter(std::unique_ptr<ConversionReporter> reporter) {
        ownedReporter_ = std::move(reporter);
        reporter_ = ownedReporter_.get();
    }

    void Resume();
    // Only asks: the current block is finished and its file closed before the batch ends.
    void Terminate() { terminated_.store(true, std::memory_order_relaxed); }
    bool Terminated() const { return terminated_.load(std::memory_order_relaxed); }

  protected:
    void run() override;

  private:
    ConversionOptions options_;
    ConversionReporter* reporter_ = nullptr;
    std::unique_ptr<ConversionReporter> ownedReporter_;
    std::atomic<bool> terminated_{false};
};
