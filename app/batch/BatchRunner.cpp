// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchRunner.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

namespace {

std::string SkipLine(const BatchFile& file, const char* option = "--no-clobber") {
    return "sonvert-batch: '" + file.output + "' exists; '" + file.source + "' skipped (" + option +
           ")";
}

// As cp -u: an output is out of date when it is missing or its source was modified after it.
bool UpToDate(const BatchFile& file) {
    struct stat source {};
    struct stat output {};
    if (::stat(file.output.c_str(), &output) != 0 || ::stat(file.source.c_str(), &source) != 0) {
        return false;
    }
    const auto time = [](const struct stat& status) {
        return std::pair(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    };
    return time(source) <= time(output);
}

}  // namespace

void BatchProgress::Running(std::size_t index, const std::string& source, int percent) {
    std::lock_guard lock(mutex_);
    const auto [file, added] = running_.try_emplace(index, RunningFile{source, percent});
    // Blocks come much faster than a terminal needs redrawing; draw only what changed.
    if (added || file->second.percent != percent) {
        file->second.percent = percent;
        Show();
    }
}

void BatchProgress::Ended(std::size_t index) {
    std::lock_guard lock(mutex_);
    running_.erase(index);
    ++done_;
    Show();
}

void BatchProgress::Show() {
    if (!console_.Live()) {
        return;
    }
    std::vector<RunningFile> running;
    int sum = done_ * 100;
    for (const auto& [index, file] : running_) {
        running.push_back(file);
        sum += file.percent;
    }
    console_.Progress(done_, count_ == 0 ? 100 : sum / count_, running);
}

BatchRunner::BatchRunner(std::vector<BatchFile> files, int jobs, ExistingOutput existing,
                         BatchConsole& console, BatchReport& report, BatchProgress& progress)
    : files_(std::move(files)),
      jobs_(static_cast<std::size_t>(std::max(jobs, 1))),
      existing_(existing),
      console_(console),
      report_(report),
      progress_(progress) {}

int BatchRunner::Run(const std::atomic<int>& stop, FileRunner& runner) {
    constexpr int kStartAttempts = 5;
    int refusals = 0;
    std::size_t next = 0;
    std::size_t running = 0;
    bool stopping = false;
    for (;;) {
        const int level = stop.load();
        if (level == Drain && !stopping) {
            console_.Line(
                "sonvert-batch: interrupted: the running files finish and no new one "
                "starts; interrupt again to stop them at once");
        }
        stopping = stopping || level >= Drain;
        if (level >= Halt) {
            runner.Halt();
        }
        while (!stopping && next < files_.size() && running < jobs_) {
            const bool refused = Refused(next);
            if (refused || runner.Start(next, files_[next])) {
                running += refused ? 0 : 1;
                refusals = 0;
                ++next;
            } else if (running > 0) {
                // The system gives no more threads: go on with the workers there are.
                jobs_ = running;
            } else if (++refusals < kStartAttempts) {
                // A thread that has just ended may count against a process limit a moment longer.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            } else {
                for (; next < files_.size(); ++next) {
                    Refuse(next, BatchOutcome::Failed,
                           "Error: Could not start a worker thread (" + files_[next].source + ")");
                }
            }
        }
        if (running == 0 && (stopping || next == files_.size())) {
            break;
        }
        if (std::optional<FinishedFile> finished = runner.WaitForOne()) {
            --running;
            BatchResult& result = finished->result;
            if (result.outcome == BatchOutcome::Skipped) {
                result.messages.push_back(SkipLine(files_[finished->index]));
                console_.Line(result.messages.back());
            }
            Conclude(finished->index, result);
        }
    }
    for (; next < files_.size(); ++next) {
        Conclude(next, {BatchOutcome::Stopped, {}, 0});
    }
    return converted_;
}

bool BatchRunner::Refused(std::size_t index) {
    const BatchFile& file = files_[index];
    if (!file.refusal.empty()) {
        return Refuse(index, BatchOutcome::Failed, file.refusal);
    }
    std::error_code error;
    if (existing_ == ExistingOutput::Keep &&
        std::filesystem::exists(std::filesystem::symlink_status(file.output, error))) {
        return Refuse(index, BatchOutcome::Skipped, SkipLine(file));
    }
    if (existing_ == ExistingOutput::Update && UpToDate(file)) {
        return Refuse(index, BatchOutcome::Skipped, SkipLine(file, "--update"));
    }
    if (file.makeFolder && file.options.OutputDir != madeFolder_) {
        std::filesystem::create_directories(file.options.OutputDir, error);
        if (error) {
            return Refuse(index, BatchOutcome::Failed,
                          "Error: Could not create the folder '" + file.options.OutputDir +
                              "': " + error.message() + " (" + file.source + ")");
        }
        madeFolder_ = file.options.OutputDir;
    }
    return false;
}

bool BatchRunner::Refuse(std::size_t index, BatchOutcome outcome, const std::string& line) {
    console_.Line(line);
    Conclude(index, {outcome, {line}, 0});
    return true;
}

void BatchRunner::Conclude(std::size_t index, const BatchResult& result) {
    if (result.outcome == BatchOutcome::Converted) {
        ++converted_;
    }
    report_.Ended(index, result);
    progress_.Ended(index);
}
