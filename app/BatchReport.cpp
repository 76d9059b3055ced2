#include "BatchReport.h"

#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the bytes there are not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || at(i + 1) < low || at(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

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
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else if (byte < 0x80) {
            json += c;
        } else if (const std::size_t length = Utf8SequenceLength(text, i); length > 0) {
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
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", result.seconds);
    return "{\"source\":" + JsonString(source) + ",\"output\":" + JsonString(output) +
           ",\"outcome\":\"" + OutcomeName(result.outcome) + "\",\"messages\":" + messages +
           "],\"seconds\":" + seconds + "}";
}

BatchReport::BatchReport(std::FILE* stream, std::vector<std::string> sources,
                         std::vector<std::string> outputs)
    : stream_(stream),
      sources_(std::move(sources)),
      outputs_(std::move(outputs)),
      waiting_(sources_.size()) {}

void BatchReport::Ended(std::size_t index, const BatchResult& result) {
    if (stream_ == nullptr || index >= waiting_.size()) {
        return;
    }
    waiting_[index] = ReportLine(sources_[index], outputs_[index], result);
    for (; next_ < waiting_.size() && waiting_[next_]; ++next_) {
        std::fputs((*waiting_[next_] + "\n").c_str(), stream_);
        waiting_[next_].reset();
    }
    std::fflush(stream_);
}
