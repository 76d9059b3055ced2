#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "ConversionReporter.h"
#include "MessageBox.h"

// A box as one line of text: "caption: text", with any line breaks of the text made spaces.
std::string BoxLine(const platform::BoxRecord& box);

// The live progress line: the file's number, both bars and as much of the path as fits.
std::string ProgressLine(int fileNumber, int fileCount, int current, int total,
                         const std::string& path, std::size_t width);

// 0 when every file was converted, 1 otherwise.
int BatchExitStatus(int converted, int fileCount);

// Serves a batch without windows: boxes become lines on the stream, progress a bar that redraws
// itself in place when the stream is a terminal and stays silent otherwise.
class BatchConsole final : public ConversionReporter {
  public:
    BatchConsole(std::FILE* stream, bool live, int fileCount, std::size_t width = 80);

    // The message sink: blocks the worker only while the line is written.
    void ShowBox(const platform::BoxRecord& box);

    void FileStarted(const std::string& sourcePath) override;
    void Progress(int current, int total) override;
    void FileFinished(const std::string& sourcePath, FileOutcome outcome) override;
    void BatchEnded() override;

    // Blocks until the batch has ended, then writes the summary line.
    void WaitForEnd();
    int Converted() const;

  private:
    void ClearBar();
    void DrawBar();

    std::FILE* stream_;
    bool live_;
    int fileCount_;
    std::size_t width_;

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool batchEnded_ = false;
    bool barShown_ = false;
    std::string path_;
    int fileNumber_ = 0;
    int current_ = -1;
    int total_ = -1;
    int converted_ = 0;
};
