#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BatchConsole.h"
#include "BatchReport.h"
#include "ConversionOptions.h"
#include "ConversionReporter.h"
#include "MessageBox.h"

// One source of a batch, with everything decided before the batch starts.
struct BatchFile {
    std::string source;
    std::string output;
    ConversionOptions options;  // its OutputDir may be a subfolder of the batch's
    bool makeFolder = false;    // create options.OutputDir before converting
};

// Converts the files of a batch with up to `jobs` workers at once. Each worker is the windows' own
// worker given a list of one file; the next free one takes the next file of the list, so a long
// file holds up one worker only.
class BatchRunner {
  public:
    BatchRunner(std::vector<BatchFile> files, int jobs, bool noClobber, BatchConsole& console,
                BatchReport& report);

    // How far a stop request goes: the running files finish, or they stop at once.
    enum StopLevel : int { Go = 0, Drain = 1, Halt = 2 };
    ~BatchRunner();
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;

    // The message sink of the batch, called on the workers' threads: each box becomes one line that
    // names its file, and goes into that file's report.
    void ShowBox(const platform::BoxRecord& box);

    // Runs the batch and returns the number of files converted. From Drain on no new file starts;
    // at Halt the running files stop after their current block and leave no output behind.
    int Run(const std::atomic<int>& stop);

  private:
    class Slot;

    bool StartNext();
    void Conclude(std::size_t index, const BatchResult& result);
    void ShowProgress();
    Slot* SlotOfThisThread();

    void Started(Slot& slot);
    void Progressed(Slot& slot, int percent);
    void Finished(Slot& slot, FileOutcome outcome);
    void Ended(Slot& slot);

    std::vector<BatchFile> files_;
    std::size_t jobs_;
    bool noClobber_;
    BatchConsole& console_;
    BatchReport& report_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Slot>> running_;
    std::size_t next_ = 0;
    int done_ = 0;
    int converted_ = 0;
    bool stopping_ = false;
    bool halted_ = false;
};
