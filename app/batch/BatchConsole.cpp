// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchConsole.h"

#include <algorithm>
#include <filesystem>

#include "ConsoleText.h"

std::string BoxLine(const platform::BoxRecord& box) {
    std::string text = box.text;
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return box.caption + ": " + text;
}

std::string ProgressLine(int done, int fileCount, int percent,
                         const std::vector<RunningFile>& running, std::size_t width) {
    auto percentText = [](int value) {
        std::string text = std::to_string(std::clamp(value, 0, 100)) + "%";
        return std::string(4 - std::min<std::size_t>(4, text.size()), ' ') + text;
    };
    const int filled = std::clamp(percent, 0, 100) / 10;
    std::string line = std::to_string(done) + "/" + std::to_string(fileCount) + " [" +
                       std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(10 - filled), '-') + "]" +
                       percentText(percent);
    for (const RunningFile& file : running) {
        // The name says which file it is; the folders rarely fit beside several of them.
        line += " |" + percentText(file.percent) + " " +
                EscapeControls(std::filesystem::path(file.path).filename().string());
    }
    return CutToWidth(line, width);
}

int BatchExitStatus(int converted, int fileCount) {
    return converted == fileCount ? 0 : 1;
}

BatchConsole::BatchConsole(std::FILE* stream, bool live, int fileCount, std::size_t width)
    : stream_(stream),
      live_(live),
      fileCount_(fileCount),
      width_(std::max<std::size_t>(width, 20)) {}

void BatchConsole::ClearBar() {
    if (barShown_) {
        std::fputs("\r\x1b[K", stream_);
        barShown_ = false;
    }
}

void BatchConsole::DrawBar() {
    if (!live_ || bar_.empty()) {
        return;
    }
    std::fputs(("\r" + bar_ + "\x1b[K").c_str(), stream_);
    barShown_ = true;
}

void BatchConsole::Line(const std::string& line) {
    std::lock_guard lock(mutex_);
    ClearBar();
    // One call per line, so that nothing else can land inside it; a file name's control
    // characters shown, not obeyed.
    std::fputs((EscapeControls(line) + "\n").c_str(), stream_);
    DrawBar();
    std::fflush(stream_);
}

void BatchConsole::Progress(int done, int percent, const std::vector<RunningFile>& running) {
    if (!live_) {
        return;
    }
    // One column less than the terminal so that the cursor never wraps to a new line.
    std::string bar = ProgressLine(done, fileCount_, percent, running, width_ - 1);
    std::lock_guard lock(mutex_);
    if (bar == bar_) {
        return;
    }
    bar_ = std::move(bar);
    DrawBar();
    std::fflush(stream_);
}

void BatchConsole::Summary(int converted) {
    std::lock_guard lock(mutex_);
    ClearBar();
    bar_.clear();
    std::fprintf(stream_, "sonvert-batch: %d of %d files converted\n", converted, fileCount_);
    std::fflush(stream_);
}
