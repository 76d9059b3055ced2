// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BatchConsole.h"
#include "BatchReport.h"
#include "ConversionOptions.h"

// One source of a batch, with everything decided before the batch starts.
struct BatchFile {
    std::string source;
    std::string output;
    ConversionOptions options;  // its OutputDir may be a subfolder of the batch's
    bool makeFolder = false;    // create options.OutputDir before converting
    std::string refusal{};      // not empty: never converted, it failed; the line that says why
};

// What becomes of a source whose output exists before it starts.
enum class ExistingOutput {
    Replace,  // converted; the new output takes the old one's place
    Keep,     // skipped (--no-clobber)
    Update,   // skipped unless the output is older than its source (--update)
};

// A file that a runner has done with: its place in the list and how it ended.
struct FinishedFile {
    std::size_t index = 0;
    BatchResult result;
};

// Runs the files the scheduler hands it, each on a worker of its own; tests give a fake.
class FileRunner {
  public:
    virtual ~FileRunner() = default;
    // False when no worker can be had for it (the system gives no more threads).
    virtual bool Start(std::size_t index, const BatchFile& file) = 0;
    // The next file to have ended, waiting a moment at most: nothing when none has.
    virtual std::optional<FinishedFile> WaitForOne() = 0;
    // The running files stop after their current block and leave no output behind. May come again.
    virtual void Halt() = 0;
};

// The live progress line of a batch, kept up to date by the scheduler and the workers alike.
class BatchProgress {
  public:
    BatchProgress(BatchConsole& console, int fileCount) : console_(console), count_(fileCount) {}
    // A running file's percentage.
    void Running(std::size_t index, const std::string& source, int percent);
    // A file has ended, whether it ran or not.
    void Ended(std::size_t index);

  private:
    void Show();

    BatchConsole& console_;
    const int count_;
    std::mutex mutex_;
    std::map<std::size_t, RunningFile> running_;  // in list order
    int done_ = 0;
};

// Decides which file of a batch runs when: up to `jobs` at once, in list order, so that a long
// file holds up one worker only. Each file's end goes into the report as soon as it is known.
class BatchRunner {
  public:
    BatchRunner(std::vector<BatchFile> files, int jobs, ExistingOutput existing,
                BatchConsole& console, BatchReport& report, BatchProgress& progress);

    // How far a stop request goes: the running files finish, or they stop at once.
    enum StopLevel : int { Go = 0, Drain = 1, Halt = 2 };

    // Runs the batch and returns the number of files converted. From Drain on no new file starts;
    // at Halt the running files stop after their current block and leave no output behind.
    int Run(const std::atomic<int>& stop, FileRunner& runner);

  private:
    // Whatever keeps a file from being handed to a worker: a line, after which it has ended.
    bool Refused(std::size_t index);
    bool Refuse(std::size_t index, BatchOutcome outcome, const std::string& line);
    void Conclude(std::size_t index, const BatchResult& result);

    std::vector<BatchFile> files_;
    std::size_t jobs_;
    ExistingOutput existing_;
    std::string madeFolder_;  // the last folder made: the files of one folder come together
    BatchConsole& console_;
    BatchReport& report_;
    BatchProgress& progress_;
    int converted_ = 0;
};
