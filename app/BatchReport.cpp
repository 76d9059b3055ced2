#include "BatchReport.h"

#include <cstdio>

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
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
        } else {
            json += c;
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
