#include "BatchRunner.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "Convertthread.h"

using Clock = std::chrono::steady_clock;

namespace {

BatchOutcome OutcomeOf(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::Converted:
            return BatchOutcome::Converted;
        case FileOutcome::Stopped:
            return BatchOutcome::Stopped;
        case FileOutcome::Skipped:
            return BatchOutcome::Skipped;
        case FileOutcome::Failed:
            break;
    }
    return BatchOutcome::Failed;
}

std::string SkipLine(const BatchFile& file) {
    return "sonvert-batch: '" + file.output + "' exists; '" + file.source +
           "' skipped (--no-clobber)";
}

}  // namespace

// The reporter of one running file; its state is guarded by the runner's mutex.
class BatchRunner::Slot final : public ConversionReporter {
  public:
    Slot(BatchRunner& owner, std::size_t position) : runner(owner), index(position) {}

    void FileStarted(const std::string&) override { runner.Started(*this); }
    void Progress(int current, int) override { runner.Progressed(*this, current); }
    void FileFinished(const std::string&, FileOutcome result) override {
        runner.Finished(*this, result);
    }
    void BatchEnded() override { runner.Ended(*this); }

    BatchRunner& runner;
    const std::size_t index;
    std::thread::id thread;
    int percent = 0;
    bool finished = false;
    FileOutcome outcome = FileOutcome::Failed;
    bool ended = false;
    std::vector<std::string> messages;
    Clock::time_point start = Clock::now();
    Clock::time_point end = start;
    // Last, so that it is joined before the reporter it uses goes.
    std::unique_ptr<TConvertThread> worker;
};

BatchRunner::BatchRunner(std::vector<BatchFile> files, int jobs, bool noClobber,
                         BatchConsole& console, BatchReport& report)
    : files_(std::move(files)),
      jobs_(static_cast<std::size_t>(std::max(jobs, 1))),
      noClobber_(noClobber),
      console_(console),
      report_(report) {}

BatchRunner::~BatchRunner() = default;

void BatchRunner::ShowBox(const platform::BoxRecord& box) {
    std::lock_guard lock(mutex_);
    std::string line = BoxLine(box);
    Slot* slot = SlotOfThisThread();
    if (slot != nullptr) {
        // With several files at once, a message that does not name its file would be a riddle.
        const std::string& source = files_[slot->index].source;
        if (box.text.find(source) == std::string::npos) {
            line += " (" + source + ")";
        }
        slot->messages.push_back(line);
    }
    console_.Line(line);
}

BatchRunner::Slot* BatchRunner::SlotOfThisThread() {
    const auto self = std::this_thread::get_id();
    for (const auto& slot : running_) {
        if (slot->thread == self) {
            return slot.get();
        }
    }
    return nullptr;
}

int BatchRunner::Run(const std::atomic<int>& stop) {
    constexpr int kStartAttempts = 5;
    int refusals = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        const int level = stop.load();
        if (level == Drain && !stopping_) {
            console_.Line(
                "sonvert-batch: interrupted: the running files finish and no new one "
                "starts; interrupt again to stop them at once");
        }
        stopping_ = stopping_ || level >= Drain;
        if (level >= Halt && !halted_) {
            halted_ = true;
            for (const auto& slot : running_) {
                slot->worker->Terminate();
            }
        }
        while (!stopping_ && next_ < files_.size() && running_.size() < jobs_) {
            if (StartNext()) {
                refusals = 0;
            } else if (!running_.empty()) {
                // The system gives no more threads: go on with the workers there are.
                jobs_ = running_.size();
            } else if (++refusals < kStartAttempts) {
                // A thread that has just ended may count against a process limit a moment longer.
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                lock.lock();
            } else {
                for (; next_ < files_.size(); ++next_) {
                    const std::string line =
                        "Error: Could not start a worker thread (" + files_[next_].source + ")";
                    console_.Line(line);
                    Conclude(next_, {BatchOutcome::Failed, {line}, 0});
                }
            }
        }
        std::vector<std::unique_ptr<Slot>> ended;
        for (auto it = running_.begin(); it != running_.end();) {
            if ((*it)->ended) {
                ended.push_back(std::move(*it));
                it = running_.erase(it);
            } else {
                ++it;
            }
        }
        if (!ended.empty()) {
            // Joined without the lock: a worker may still be on its way out of a call into us.
            lock.unlock();
            for (const auto& slot : ended) {
                slot->worker.reset();
            }
            lock.lock();
            for (const auto& slot : ended) {
                BatchResult result;
                result.outcome = !slot->finished ? BatchOutcome::Stopped : OutcomeOf(slot->outcome);
                result.messages = std::move(slot->messages);
                if (slot->finished && slot->outcome == FileOutcome::Skipped) {
                    const std::string line = SkipLine(files_[slot->index]);
                    console_.Line(line);
                    result.messages.push_back(line);
                }
                result.seconds = std::chrono::duration<double>(slot->end - slot->start).count();
                Conclude(slot->index, result);
            }
            continue;
        }
        if (running_.empty() && (stopping_ || next_ == files_.size())) {
            break;
        }
        // A signal cannot wake a condition variable; look at the flag now and then.
        changed_.wait_for(lock, std::chrono::milliseconds(100));
    }
    for (; next_ < files_.size(); ++next_) {
        Conclude(next_, {BatchOutcome::Stopped, {}, 0});
    }
    return converted_;
}

bool BatchRunner::StartNext() {
    const std::size_t index = next_++;
    const BatchFile& file = files_[index];
    auto refuse = [&](BatchOutcome outcome, const std::string& line) {
        console_.Line(line);
        Conclude(index, {outcome, {line}, 0});
    };
    std::error_code error;
    if (noClobber_ &&
        std::filesystem::exists(std::filesystem::symlink_status(file.output, error))) {
        refuse(BatchOutcome::Skipped, SkipLine(file));
        return true;
    }
    if (file.makeFolder) {
        std::filesystem::create_directories(file.options.OutputDir, error);
        if (error) {
            refuse(BatchOutcome::Failed, "Error: Could not create the folder '" +
                                             file.options.OutputDir + "': " + error.message() +
                                             " (" + file.source + ")");
            return true;
        }
    }
    auto slot = std::make_unique<Slot>(*this, index);
    slot->worker = std::make_unique<TConvertThread>(true);
    TConvertThread& worker = *slot->worker;
    worker.FreeOnTerminate = false;  // joined and deleted by Run
    worker.FileList = {file.source};
    worker.SetOptions(file.options);
    worker.SetOutputGuard({true, noClobber_});
    worker.SetReporter(slot.get());
    running_.push_back(std::move(slot));
    worker.Resume();
    if (!worker.isRunning() && !worker.isFinished()) {
        // The thread could not be created (a process limit): the file waits for a worker.
        running_.pop_back();
        --next_;
        return false;
    }
    return true;
}

void BatchRunner::Conclude(std::size_t index, const BatchResult& result) {
    ++done_;
    if (result.outcome == BatchOutcome::Converted) {
        ++converted_;
    }
    report_.Ended(index, result);
    ShowProgress();
}

void BatchRunner::ShowProgress() {
    if (!console_.Live()) {
        return;
    }
    std::vector<RunningFile> running;
    int sum = done_ * 100;
    for (const auto& slot : running_) {
        running.push_back({files_[slot->index].source, slot->percent});
        sum += slot->percent;
    }
    const int count = static_cast<int>(files_.size());
    console_.Progress(done_, count == 0 ? 100 : sum / count, running);
}

void BatchRunner::Started(Slot& slot) {
    std::lock_guard lock(mutex_);
    slot.thread = std::this_thread::get_id();
    slot.start = Clock::now();
    ShowProgress();
}

void BatchRunner::Progressed(Slot& slot, int percent) {
    std::lock_guard lock(mutex_);
    // Blocks come much faster than a terminal needs redrawing; draw only what changed.
    if (slot.percent == percent) {
        return;
    }
    slot.percent = percent;
    ShowProgress();
}

void BatchRunner::Finished(Slot& slot, FileOutcome outcome) {
    std::lock_guard lock(mutex_);
    slot.finished = true;
    slot.outcome = outcome;
    slot.end = Clock::now();
}

void BatchRunner::Ended(Slot& slot) {
    std::lock_guard lock(mutex_);
    slot.ended = true;
    changed_.notify_one();
}
