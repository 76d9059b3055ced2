#include "BatchConsole.h"

#include <algorithm>

std::string BoxLine(const platform::BoxRecord& box) {
    std::string text = box.text;
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return box.caption + ": " + text;
}

std::string ProgressLine(int fileNumber, int fileCount, int current, int total,
                         const std::string& path, std::size_t width) {
    auto bar = [](int percent) {
        const int filled = std::clamp(percent, 0, 100) / 10;
        return "[" + std::string(static_cast<std::size_t>(filled), '#') +
               std::string(static_cast<std::size_t>(10 - filled), '-') + "]";
    };
    auto percent = [](int value) {
        std::string text = std::to_string(std::clamp(value, 0, 100)) + "%";
        return std::string(4 - std::min<std::size_t>(4, text.size()), ' ') + text;
    };
    std::string line = std::to_string(fileNumber) + "/" + std::to_string(fileCount) + " " +
                       bar(current) + percent(current) + " total " + bar(total) + percent(total) +
                       " ";
    if (line.size() >= width) {
        return line.substr(0, width);
    }
    const std::size_t room = width - line.size();
    if (path.size() <= room) {
        return line + path;
    }
    // The end of a path names the file; keep that.
    if (room <= 3) {
        return line + std::string(room, '.');
    }
    return line + "..." + path.substr(path.size() - (room - 3));
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
    if (!live_ || fileNumber_ == 0) {
        return;
    }
    // One column less than the terminal so that the cursor never wraps to a new line.
    const std::string line = ProgressLine(fileNumber_, fileCount_, std::max(current_, 0),
                                          std::max(total_, 0), path_, width_ - 1);
    std::fputs(("\r" + line + "\x1b[K").c_str(), stream_);
    std::fflush(stream_);
    barShown_ = true;
}

void BatchConsole::ShowBox(const platform::BoxRecord& box) {
    std::lock_guard lock(mutex_);
    ClearBar();
    std::fputs((BoxLine(box) + "\n").c_str(), stream_);
    std::fflush(stream_);
    DrawBar();
}

void BatchConsole::FileStarted(const std::string& sourcePath) {
    std::lock_guard lock(mutex_);
    ++fileNumber_;
    path_ = sourcePath;
    current_ = 0;
    total_ = -1;
    DrawBar();
}

void BatchConsole::Progress(int current, int total) {
    std::lock_guard lock(mutex_);
    // Blocks come much faster than a terminal needs redrawing; draw only what changed.
    if (current == current_ && total == total_) {
        return;
    }
    current_ = current;
    total_ = total;
    DrawBar();
}

void BatchConsole::FileFinished(const std::string& sourcePath, FileOutcome outcome) {
    static_cast<void>(sourcePath);
    std::lock_guard lock(mutex_);
    if (outcome == FileOutcome::Converted) {
        ++converted_;
    }
}

void BatchConsole::BatchEnded() {
    std::lock_guard lock(mutex_);
    batchEnded_ = true;
    ended_.notify_all();
}

void BatchConsole::WaitForEnd() {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return batchEnded_; });
    ClearBar();
    std::fprintf(stream_, "sonvert-batch: %d of %d files converted\n", converted_, fileCount_);
    std::fflush(stream_);
}

int BatchConsole::Converted() const {
    std::lock_guard lock(mutex_);
    return converted_;
}
