// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzScratch.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "MessageBox.h"

namespace fuzzing {

ScratchFile::ScratchFile(const std::string& name) {
    std::error_code error;
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path base =
        std::filesystem::is_directory(shm, error) ? shm : std::filesystem::temp_directory_path();
    std::string pattern = (base / "sonvert-fuzz-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    folder_ = buffer.data();
    path_ = folder_ + "/" + name;
}

ScratchFile::~ScratchFile() {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}

void ScratchFile::Write(const uint8_t* data, std::size_t size) const {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path_.c_str());
        std::abort();
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) {
        std::perror(path_.c_str());
        std::abort();
    }
}

void SilenceMessageBoxes() {
    platform::SetMessageSink([](const platform::BoxRecord&) {});
}

void PropertyFailed(const char* what) {
    std::fprintf(stderr, "==PROPERTY== %s\n", what);
    std::abort();
}

}  // namespace fuzzing
