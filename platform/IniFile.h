// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// A Windows-style INI file with private-profile semantics: section and key names match without
// regard to case, values are trimmed, an absent key reads as the default, the file is created by
// the first write and every write touches only its own key. Nothing is cached: every call goes to
// the file. Lines end at CR, LF or CRLF, a leading UTF-8 byte-order mark is skipped, and a file
// larger than 1 MiB (or one that is no regular file) reads as absent.
class IniFile {
  public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    // At most 2047 characters of a value are read.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // False when the system refuses the write (read-only file or folder, full disk); the old file
    // then stays as it was. A write keeps the file's byte-order mark, line ends and permissions.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

  private:
    std::string path_;
};

}  // namespace platform
