// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
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

// Settings files and language packs are a few KiB; anything far larger is not one of them, and
// reading it whole could exhaust memory.
constexpr std::size_t MaxFileSize = 1024 * 1024;

constexpr char Bom[] = "\xEF\xBB\xBF";
constexpr std::size_t BomSize = 3;

struct Content {
    std::string bytes;  // the file as it lies on disk
    bool bom = false;   // starts with a UTF-8 byte-order mark, which is no part of the first line
    std::vector<Line> lines;
};

// False when the file is no regular file, cannot be read or is larger than MaxFileSize. Opening
// does not wait for a writer (a FIFO), and no more than the limit is read from a file that grows.
bool ReadSmallFile(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::uintmax_t>(info.st_size) <= MaxFileSize;
    bytes.clear();
    char buffer[4096];
    while (ok) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            ok = count == 0;
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        ok = bytes.size() <= MaxFileSize;
    }
    ::close(fd);
    return ok;
}

// Lines end at CR, LF or CRLF, so that files from any system read alike.
std::vector<Line> SplitLines(const std::string& bytes, std::size_t pos) {
    std::vector<Line> lines;
    while (pos < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", pos);
        Line line;
        if (end == std::string::npos) {
            line.text = bytes.substr(pos);
            pos = bytes.size();
        } else {
            const std::size_t next =
                bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? end + 2
                                                                                       : end + 1;
            line.text = bytes.substr(pos, end - pos);
            line.eol = bytes.substr(end, next - end);
            pos = next;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// nullopt when the file cannot be read (see ReadSmallFile).
std::optional<Content> Load(const std::string& path) {
    Content content;
    if (!ReadSmallFile(path, content.bytes)) {
        return std::nullopt;
    }
    content.bom = content.bytes.compare(0, BomSize, Bom) == 0;
    content.lines = SplitLines(content.bytes, content.bom ? BomSize : 0);
    return content;
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

// Writes `bytes` from the start of the file.
bool WriteFully(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

// A new, empty file beside `path` that no other process has opened; -1 when the folder refuses.
int CreateSibling(const std::string& path, mode_t mode, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
        name = path + suffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// The new contents go to a file of their own that then takes the old one's place, so that a full
// disk or an I/O error leaves the old file as it was rather than cut short.
enum class Replaced { Yes, Failed, FolderRefused };

Replaced ReplaceFile(const std::string& path, const std::string& bytes, const struct stat* old) {
    std::string temporary;
    const int fd = CreateSibling(path, old != nullptr ? old->st_mode & 07777 : 0666, temporary);
    if (fd < 0) {
        return errno == EACCES || errno == EPERM ? Replaced::FolderRefused : Replaced::Failed;
    }
    bool ok = true;
    if (old != nullptr) {
        // The old file's owner and group go first, since a change of owner may clear mode bits.
        // Only a privileged user may give the file away; anyone may keep a group they belong
        // to, which keeps a shared, group-writable file writable by the group.
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
            if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
                (void)::fchown(fd, static_cast<uid_t>(-1), old->st_gid);
            }
        }
        // The creation mode passed the umask; the old file's bits are what it keeps.
        ok = ::fchmod(fd, old->st_mode & 07777) == 0;
    }
    ok = ok && WriteFully(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return Replaced::Failed;
    }
    return Replaced::Yes;
}

// A writable file in a folder that admits no new names is rewritten where it lies; on a failure
// its old bytes go back, which fit the room they had.
bool RewriteInPlace(const std::string& path, const std::string& bytes, const std::string& old) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteFully(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
              ::fsync(fd) == 0;
    if (!ok) {
        WriteFully(fd, old);
        (void)::ftruncate(fd, static_cast<off_t>(old.size()));
    }
    ok = ::close(fd) == 0 && ok;
    return ok;
}

// The file a link points to is the one rewritten; the link stays.
std::string TargetOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return path;
    }
    std::string target(resolved);
    std::free(resolved);
    return target;
}

bool Save(const std::string& path, const Content& content, const struct stat* old) {
    std::string bytes = content.bom ? Bom : "";
    for (const Line& line : content.lines) {
        bytes += line.text;
        bytes += line.eol;
    }
    const std::string target = TargetOf(path);
    const Replaced replaced = ReplaceFile(target, bytes, old);
    if (replaced == Replaced::FolderRefused && old != nullptr) {
        return RewriteInPlace(target, bytes, content.bytes);
    }
    return replaced == Replaced::Yes;
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
    const auto content = Load(path_);
    if (!content) {
        return fallback;
    }
    const Location where = Find(content->lines, Trim(section), Trim(key));
    if (!where.key) {
        return fallback;
    }
    const std::string& raw = content->lines[*where.key].text;
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
    Content content;
    struct stat info {};
    const bool exists = ::stat(path_.c_str(), &info) == 0;
    if (exists) {
        auto loaded = Load(path_);
        if (!loaded) {
            return false;
        }
        content = std::move(*loaded);
    }
    std::vector<Line>& lines = content.lines;
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
    return Save(path_, content, exists ? &info : nullptr);
}

}  // namespace platform
