// SPDX-License-Identifier: GPL-3.0-or-later
// The batch's scheduler driven by a runner that runs nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BatchRunner.h"

namespace {

// Each started file ends at the next wait, the last started first, with its row's outcome; the
// system gives `workers` workers at most, and the stop level becomes `stopAt` at the first wait.
class FakeRunner final : public FileRunner {
  public:
    FakeRunner(std::string ends, std::size_t workers, std::atomic<int>& stop, int stopAt)
        : ends_(std::move(ends)), workers_(workers), stop_(stop), stopAt_(stopAt) {}
    bool Start(std::size_t index, const BatchFile&) override {
        if (running_.size() == workers_) {
            return false;
        }
        running_.push_back(index);
        peak = std::max(peak, running_.size());
        return true;
    }
    std::optional<FinishedFile> WaitForOne() override {
        stop_ = std::max(stop_.load(), stopAt_);
        const std::size_t index = running_.back();
        running_.pop_back();
        const char end = halted_ ? 's' : ends_[index];
        return FinishedFile{index,
                            {end == 'c'   ? BatchOutcome::Converted
                             : end == 's' ? BatchOutcome::Stopped
                             : end == 'k' ? BatchOutcome::Skipped
                                          : BatchOutcome::Failed,
                             {},
                             0}};
    }
    void Halt() override { halted_ = true; }
    std::size_t peak = 0;

  private:
    std::string ends_;
    std::size_t workers_;
    std::atomic<int>& stop_;
    int stopAt_;
    std::vector<std::size_t> running_;
    bool halted_ = false;
};

TEST(BatchRunner, RunsAtMostJobsAndReportsInListOrder) {
    const struct {
        const char* name;
        std::string ends;  // what the runner ends each file with: c, f, k(skipped), s
        int jobs;
        std::size_t workers;
        int stopAt;
        std::size_t peak;
        std::string report;  // the report's outcomes in list order, lettered as `ends`
        int converted;
        const char* line;  // a console line besides the summary, or ""
    } rows[] = {
        {"jobs bound", "cfckc", 2, 9, BatchRunner::Go, 2, "cfckc", 3, "skipped (--no-clobber)"},
        {"fewer workers", "ccccc", 4, 2, BatchRunner::Go, 2, "ccccc", 5, ""},
        {"drain", "ccccc", 2, 9, BatchRunner::Drain, 2, "ccsss", 2, "interrupted"},
        {"halt", "cccc", 2, 9, BatchRunner::Halt, 2, "scss", 1, ""},
        {"no worker", "ccc", 2, 0, BatchRunner::Go, 0, "fff", 0, "Could not start a worker"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        char* reportText = nullptr;
        char* consoleText = nullptr;
        std::size_t size = 0;
        std::FILE* reportStream = open_memstream(&reportText, &size);
        std::FILE* consoleStream = open_memstream(&consoleText, &size);
        std::vector<BatchFile> files;
        std::vector<std::string> names;
        for (std::size_t i = 0; i < row.ends.size(); ++i) {
            names.push_back("/in/" + std::to_string(i) + ".wav");
            files.push_back({names.back(), names.back() + ".mp3", {}, false});
        }
        BatchReport report(reportStream, names, names);
        BatchConsole console(consoleStream, false, static_cast<int>(names.size()));
        BatchProgress progress(console, static_cast<int>(names.size()));
        std::atomic<int> stop{BatchRunner::Go};
        FakeRunner runner(row.ends, row.workers, stop, row.stopAt);
        BatchRunner scheduler(files, row.jobs, ExistingOutput::Replace, console, report, progress);
        EXPECT_EQ(scheduler.Run(stop, runner), row.converted);
        EXPECT_EQ(report.Close(), "");
        std::fclose(consoleStream);
        std::string outcomes;
        for (const char* at = reportText; (at = std::strstr(at, "\"outcome\":\"")); ++at) {
            outcomes += at[12] == 'k' ? 'k' : at[11];
        }
        EXPECT_EQ(outcomes, row.report);
        EXPECT_EQ(runner.peak, row.peak);
        EXPECT_NE(std::string(consoleText).find(row.line), std::string::npos) << consoleText;
        std::free(reportText);
        std::free(consoleText);
    }
}

}  // namespace
