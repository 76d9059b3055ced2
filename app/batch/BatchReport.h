// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// How one source of a batch ended, as the report names it.
enum class BatchOutcome { Converted, Failed, Skipped, Stopped };

struct BatchResult {
    BatchOutcome outcome = BatchOutcome::Failed;
    std::vector<std::string> messages;  // the lines shown for the file
    double seconds = 0;
};

// A JSON string literal of the text: quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& text);

// One report line (without its line break): source, output, outcome, messages, seconds.
std::string ReportLine(const std::string& source, const std::string& output,
                       const BatchResult& result);

// The JSON Lines report of a batch: one line per source in list order. Sources end in any order
// when several run at once; a line is written, and flushed, as soon as its own source and every
// source before it have ended, so a killed run leaves a report of a whole first part of the list.
class BatchReport {
  public:
    // Writes nothing when stream is null; closes the stream.
    BatchReport(std::FILE* stream, std::vector<std::string> sources,
                std::vector<std::string> outputs);
    ~BatchReport();
    BatchReport(const BatchReport&) = delete;
    BatchReport& operator=(const BatchReport&) = delete;

    void Ended(std::size_t index, const BatchResult& result);
    // Closes the stream. Returns the system's reason when a write, flush or the close failed
    // (the first such failure; nothing is written after it), else an empty text.
    std::string Close();

  private:
    void Failed();

    std::FILE* stream_;
    std::vector<std::string> sources_;
    std::vector<std::string> outputs_;
    std::vector<std::optional<std::string>> waiting_;
    std::size_t next_ = 0;
    std::string failure_;
};
