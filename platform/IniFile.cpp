#include "IniFile.h"

#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t MaxValueLength = 2047;

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

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

struct Line {
    std::string text;  // without its line ending
    std::string eol;   // "\r\n", "\n" or empty for a last line without one
};

enum class LineKind { Blank, Comment, Section, Key, Other };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string name;            // section or key name, trimmed
    std::size_t valueStart = 0;  // for keys: offset of the value in the raw line
};

ParsedLine Parse(const std::string& raw) {
    ParsedLine parsed;
    const std::string text = Trim(raw);
    if (text.empty()) {
        parsed.kind = LineKind::Blank;
        return parsed;
    }
    if (text[0] == ';') {
        parsed.kind = LineKind::Comment;
        return parsed;
    }
    if (text[0] == '[') {
        const std::size_t close = text.rfind(']');
        if (close != std::string::npos) {
            parsed.kind = LineKind::Section;
            parsed.name = Trim(text.substr(1, close - 1));
            return parsed;
        }
    }
    const std::size_t equals = raw.find('=');
    if (equals != std::string::npos) {
        parsed.name = Trim(raw.substr(0, equals));
        if (!parsed.name.empty()) {
            parsed.kind = LineKind::Key;
            // The value starts after the blanks that follow "="; when there is no value, right
            // after "=", so that a written value does not inherit stray blanks.
            std::size_t start = equals + 1;
            while (start < raw.size() && IsBlank(raw[start])) {
                ++start;
            }
            parsed.valueStart = start < raw.size() ? start : equals + 1;
        }
    }
    return parsed;
}

// nullopt when the file cannot be opened for reading.
std::optional<std::vector<Line>> Load(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, count);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return std::nullopt;
    }
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t newline = bytes.find('\n', pos);
        Line line;
        if (newline == std::string::npos) {
            line.text = bytes.substr(pos);
            pos = bytes.size();
        } else {
            std::size_t end = newline;
            if (end > pos && bytes[end - 1] == '\r') {
                --end;
            }
            line.text = bytes.substr(pos, end - pos);
            line.eol = bytes.substr(end, newline + 1 - end);
            pos = newline + 1;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

struct Location {
    std::optional<std::size_t> section;  // index of the first matching section header
    std::optional<std::size_t> key;      // index of the first matching key line inside it
    std::size_t sectionEnd = 0;          // one past the last non-blank line of that section
};

Location Find(const std::vector<Line>& lines, const std::string& section, const std::string& key) {
    Location where;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = Parse(lines[i].text);
        if (!where.section) {
            if (parsed.kind == LineKind::Section && SameName(parsed.name, section)) {
                where.section = i;
                where.sectionEnd = i + 1;
            }
            continue;
        }
        if (parsed.kind == LineKind::Section) {
            break;
        }
        if (parsed.kind != LineKind::Blank) {
            where.sectionEnd = i + 1;
        }
        if (!where.key && parsed.kind == LineKind::Key && SameName(parsed.name, key)) {
            where.key = i;
        }
    }
    return where;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

bool HasWriteBits(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A file or folder without any write permission counts as read-only even for a privileged user,
// as the read-only attribute does on Windows.
bool ReadOnlyTarget(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        return !S_ISREG(info.st_mode) || !HasWriteBits(info);
    }
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) != 0) {
        return true;
    }
    return !S_ISDIR(folder.st_mode) || !HasWriteBits(folder);
}

bool Save(const std::string& path, const std::vector<Line>& lines) {
    std::string bytes;
    for (const Line& line : lines) {
        bytes += line.text;
        bytes += line.eol;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

}  // namespace

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    std::string fallback = defaultValue;
    while (!fallback.empty() && IsBlank(fallback.back())) {
        fallback.pop_back();
    }
    if (fallback.size() > MaxValueLength) {
        fallback.resize(MaxValueLength);
    }
    const auto lines = Load(path_);
    if (!lines) {
        return fallback;
    }
    const Location where = Find(*lines, Trim(section), Trim(key));
    if (!where.key) {
        return fallback;
    }
    const std::string& raw = (*lines)[*where.key].text;
    std::string value = Trim(raw.substr(Parse(raw).valueStart));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > MaxValueLength) {
        value.resize(MaxValueLength);
    }
    return value;
}

bool IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
    const std::string sectionName = Trim(section);
    const std::string keyName = Trim(key);
    // Names and values that the file's line format cannot hold are refused rather than written
    // in a form that would read back as something else.
    if (sectionName.empty() || keyName.empty() || HasLineBreak(sectionName) ||
        HasLineBreak(keyName) || HasLineBreak(value) ||
        sectionName.find(']') != std::string::npos || keyName.find('=') != std::string::npos ||
        keyName[0] == ';' || keyName[0] == '[') {
        return false;
    }
    if (ReadOnlyTarget(path_)) {
        return false;
    }
    std::vector<Line> lines;
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0) {
        auto loaded = Load(path_);
        if (!loaded) {
            return false;
        }
        lines = std::move(*loaded);
    }
    std::string eol = "\r\n";
    for (const Line& line : lines) {
        if (!line.eol.empty()) {
            eol = line.eol;
            break;
        }
    }

    const Location where = Find(lines, sectionName, keyName);
    if (where.key) {
        Line& line = lines[*where.key];
        line.text = line.text.substr(0, Parse(line.text).valueStart) + value;
    } else {
        const bool atEnd = !where.section || where.sectionEnd == lines.size();
        if (atEnd && !lines.empty() && lines.back().eol.empty()) {
            lines.back().eol = eol;
        }
        const Line keyLine{keyName + "=" + value, eol};
        if (where.section) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(where.sectionEnd), keyLine);
        } else {
            lines.push_back(Line{"[" + sectionName + "]", eol});
            lines.push_back(keyLine);
        }
    }
    return Save(path_, lines);
}

}  // namespace platform
