// SPDX-License-Identifier: GPL-3.0-or-later
#include "WorkerPool.h"

#include <chrono>
#include <system_error>

#include "FileConversion.h"
#include "SndfileSource.h"

namespace {

// By FileOutcome.
constexpr BatchOutcome kOutcomes[] = {BatchOutcome::Converted, BatchOutcome::Failed,
                                      BatchOutcome::Stopped, BatchOutcome::Skipped};

// The reporter of one file: its progress goes to the progress line, and each box becomes one line
// that names the file, on the console and in the file's own report.
class FileReporter final : public ConversionReporter {
  public:
    FileReporter(std::size_t index, const std::string& source, BatchConsole& console,
                 BatchProgress& progress)
        : index_(index), source_(source), console_(console), progress_(progress) {}

    void FileStarted(const std::string&) override { progress_.Running(index_, source_, 0); }
    void Progress(int current, int) override { progress_.Running(index_, source_, current); }
    void Show(const platform::BoxRecord& box) override {
        std::string line = BoxLine(box);
        // With several files at once, a message that does not name its file would be a riddle.
        if (box.text.find(source_) == std::string::npos) {
            line += " (" + source_ + ")";
        }
        console_.Line(line);
        messages.push_back(std::move(line));
    }

    std::vector<std::string> messages;

  private:
    std::size_t index_;
    const std::string& source_;
    BatchConsole& console_;
    BatchProgress& progress_;
};

}  // namespace

WorkerPool::WorkerPool(bool noClobber, BatchConsole& console, BatchProgress& progress,
                       bool classicInput)
    : noClobber_(noClobber), classicInput_(classicInput), console_(console), progress_(progress) {}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    handedOver_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

bool WorkerPool::Start(std::size_t index, const BatchFile& file) {
    std::lock_guard lock(mutex_);
    if (busy_ == threads_.size()) {
        try {
            threads_.emplace_back(&WorkerPool::Work, this);
        } catch (const std::system_error&) {
            return false;  // a process limit: the file waits for a worker
        }
    }
    ++busy_;
    waiting_.emplace_back(index, &file);
    handedOver_.notify_one();
    return true;
}

std::optional<FinishedFile> WorkerPool::WaitForOne() {
    std::unique_lock lock(mutex_);
    // A signal cannot wake a condition variable; the scheduler looks at its flag now and then.
    if (!ended_.wait_for(lock, std::chrono::milliseconds(100),
                         [this] { return !finished_.empty(); })) {
        return std::nullopt;
    }
    FinishedFile file = std::move(finished_.front());
    finished_.pop_front();
    return file;
}

void WorkerPool::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        handedOver_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            return;
        }
        const auto [index, file] = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        FinishedFile finished = Convert(index, *file);
        lock.lock();
        --busy_;
        finished_.push_back(std::move(finished));
        ended_.notify_one();
    }
}

FinishedFile WorkerPool::Convert(std::size_t index, const BatchFile& file) {
    if (halt_.load(std::memory_order_relaxed)) {
        return {index, {BatchOutcome::Stopped, {}, 0}};
    }
    FileReporter reporter(index, file.source, console_, progress_);
    FileConversion conversion(file.options, {true, noClobber_}, reporter, halt_);
    if (classicInput_) {
        conversion.Inputs.ProbeFirst = true;
    } else {
        conversion.Inputs.Second = OpenWithSndfile;
    }
    const auto start = std::chrono::steady_clock::now();
    const FileOutcome outcome = conversion.Convert(file.source, file.output);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    return {index,
            {kOutcomes[static_cast<int>(outcome)], std::move(reporter.messages), seconds.count()}};
}
