// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// An encoded output file: created or emptied, write-only, buffered.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Create(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    // False when the system refuses the bytes (disk full, I/O error).
    bool Write(const void* data, std::size_t size);
    // False when buffered bytes could not be flushed or the file could not be closed.
    bool Close();

  private:
    std::FILE* file_ = nullptr;
};

}  // namespace platform
