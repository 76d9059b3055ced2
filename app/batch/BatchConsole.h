// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "MessageBox.h"

// A box as one line of text: "caption: text", with any line breaks of the text made spaces.
std::string BoxLine(const platform::BoxRecord& box);

// A file being converted, as the progress line shows it.
struct RunningFile {
    std::string path;
    int percent = 0;
};

// The live progress line: files ended of all files, the batch's bar, then each running file's name
// (control characters escaped) and percentage, cut to `width` columns.
std::string ProgressLine(int done, int fileCount, int percent,
                         const std::vector<RunningFile>& running, std::size_t width);

// 0 when every file was converted, 1 otherwise.
int BatchExitStatus(int converted, int fileCount);

// Standard error of a batch, shared by its workers: whole lines, and on a terminal a progress line
// that redraws itself in place below them. Silent about progress when the stream is not a terminal.
class BatchConsole {
  public:
    BatchConsole(std::FILE* stream, bool live, int fileCount, std::size_t width = 80);

    bool Live() const { return live_; }
    // Writes one line, its control characters escaped; the progress line steps aside for it and
    // comes back below it.
    void Line(const std::string& line);
    void Progress(int done, int percent, const std::vector<RunningFile>& running);
    // Clears the progress line and writes "sonvert-batch: X of Y files converted".
    void Summary(int converted);

  private:
    void ClearBar();
    void DrawBar();

    std::FILE* stream_;
    bool live_;
    int fileCount_;
    std::size_t width_;

    std::mutex mutex_;
    bool barShown_ = false;
    std::string bar_;
};
