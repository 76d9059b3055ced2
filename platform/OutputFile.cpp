// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputFile.h"

namespace platform {

OutputFile::~OutputFile() {
    Close();
}

bool OutputFile::Create(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    if (file_ == nullptr) {
        return false;
    }
    return size == 0 || std::fwrite(data, 1, size, file_) == size;
}

bool OutputFile::Close() {
    if (file_ == nullptr) {
        return true;
    }
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed && closed;
}

}  // namespace platform
