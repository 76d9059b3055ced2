// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader over arbitrary files, and one write into each: a written value reads back as it
// was written, and every other key keeps the value it had.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzScratch.h"
#include "IniFile.h"

namespace {

constexpr std::size_t kProbes = 4;
constexpr std::size_t kMaxValue = 2047;
const std::string kAbsent =
    "\x01"
    "absent";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Names the line format can hold; a write of any other is refused.
bool Writable(const std::string& section, const std::string& key, const std::string& value) {
    const std::string s = Trim(section);
    const std::string k = Trim(key);
    return !s.empty() && !k.empty() && !HasLineBreak(s) && !HasLineBreak(k) &&
           !HasLineBreak(value) && s.find(']') == std::string::npos &&
           k.find('=') == std::string::npos && k[0] != ';' && k[0] != '[';
}

// A value that reading gives back byte for byte: no blanks at its ends (values are trimmed), not
// in quotes (they are taken off) and within the length a read returns.
bool ReadsBackAsWritten(const std::string& value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return value == Trim(value) && !quoted && value.size() <= kMaxValue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFile scratch("Sonvert.ini");
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(40);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string value = input.ConsumeRandomLengthString(3000);
    std::array<std::pair<std::string, std::string>, kProbes> probes;
    for (auto& [probeSection, probeKey] : probes) {
        probeSection = input.ConsumeRandomLengthString(40);
        probeKey = input.ConsumeRandomLengthString(40);
    }
    const std::string contents = input.ConsumeRemainingBytesAsString();
    scratch.Write(reinterpret_cast<const uint8_t*>(contents.data()), contents.size());

    platform::IniFile file(scratch.Path());
    std::array<std::string, kProbes> before;
    for (std::size_t i = 0; i < kProbes; ++i) {
        before[i] = file.ReadString(probes[i].first, probes[i].second, kAbsent);
        if (before[i].size() > kMaxValue) {
            fuzzing::PropertyFailed("a read returned more than 2047 characters");
        }
    }
    const bool written = file.WriteString(section, key, value);
    if (written != Writable(section, key, value)) {
        fuzzing::PropertyFailed(written ? "a name the format cannot hold was written"
                                        : "a write into a writable file was refused");
    }
    if (!written) {
        return 0;
    }
    if (ReadsBackAsWritten(value) && file.ReadString(section, key, kAbsent) != value) {
        fuzzing::PropertyFailed("a written value reads back changed");
    }
    for (std::size_t i = 0; i < kProbes; ++i) {
        const bool same = SameName(Trim(probes[i].first), Trim(section)) &&
                          SameName(Trim(probes[i].second), Trim(key));
        if (!same && file.ReadString(probes[i].first, probes[i].second, kAbsent) != before[i]) {
            fuzzing::PropertyFailed("a write changed another key's value");
        }
    }
    return 0;
}
