// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchReport.h"

#include "ErrorText.h"

#include <cerrno>
#include <charconv>
#include <system_error>

#include "ConsoleText.h"

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\t') {
            json += "\\t";
        } else if (byte < 0x20 || byte == 0x7f) {
            static const char kHex[] = "0123456789abcdef";
            json += "\\u00";
            json += kHex[byte >> 4];
            json += kHex[byte & 0xf];
        } else if (byte < 0x80) {
            json += c;
        } else if (const std::size_t length = DecodeUtf8(text, i).length; length > 0) {
            json.append(text, i, length);
            i += length - 1;
        } else {
            // A file name need not be UTF-8, but JSON must be: such a byte reads as U+FFFD.
            json += "\\ufffd";
        }
    }
    return json + "\"";
}

namespace {

const char* OutcomeName(BatchOutcome outcome) {
    switch (outcome) {
        case BatchOutcome::Converted:
            return "converted";
        case BatchOutcome::Skipped:
            return "skipped";
        case BatchOutcome::Stopped:
            return "stopped";
        case BatchOutcome::Failed:
            break;
    }
    return "failed";
}

}  // namespace

std::string ReportLine(const std::string& source, const std::string& output,
                       const BatchResult& result) {
    std::string messages = "[";
    for (const std::string& message : result.messages) {
        messages += (messages.size() > 1 ? "," : "") + JsonString(message);
    }
    // Not printf: under a locale with a decimal comma it would write "0,412", which is not JSON.
    char seconds[32];
    const auto [end, error] = std::to_chars(seconds, seconds + sizeof seconds, result.seconds,
                                            std::chars_format::fixed, 3);
    return "{\"source\":" + JsonString(source) + ",\"output\":" + JsonString(output) +
           ",\"outcome\":\"" + OutcomeName(result.outcome) + "\",\"messages\":" + messages +
           "],\"seconds\":" + (error == std::errc() ? std::string(seconds, end) : "0") + "}";
}

BatchReport::BatchReport(std::FILE* stream, std::vector<std::string> sources,
                         std::vector<std::string> outputs)
    : stream_(stream),
      sources_(std::move(sources)),
      outputs_(std::move(outputs)),
      waiting_(sources_.size()) {}

BatchReport::~BatchReport() {
    Close();
}

void BatchReport::Ended(std::size_t index, const BatchResult& result) {
    if (stream_ == nullptr || index >= waiting_.size()) {
        return;
    }
    waiting_[index] = ReportLine(sources_[index], outputs_[index], result);
    for (; next_ < waiting_.size() && waiting_[next_]; ++next_) {
        // After a failed write the report has lost a line; later ones would leave a gap in it.
        if (failure_.empty() && std::fputs((*waiting_[next_] + "\n").c_str(), stream_) == EOF) {
            Failed();
        }
        waiting_[next_].reset();
    }
    if (failure_.empty() && std::fflush(stream_) == EOF) {
        Failed();
    }
}

std::string BatchReport::Close() {
    if (stream_ != nullptr) {
        if (std::fclose(stream_) == EOF && failure_.empty()) {
            Failed();
        }
        stream_ = nullptr;
    }
    return failure_;
}

void BatchReport::Failed() {
    failure_ = platform::ErrorText();
}
