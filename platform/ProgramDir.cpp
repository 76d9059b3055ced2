// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramDir.h"

#include <filesystem>
#include <mutex>

namespace platform {
namespace {

std::mutex dirMutex;
std::string& Override() {
    static std::string dir;
    return dir;
}

std::string ExecutableDir() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::string(1, PathSeparator);
    }
    std::string dir = exe.parent_path().string();
    if (dir.empty() || dir.back() != PathSeparator) {
        dir += PathSeparator;
    }
    return dir;
}

}  // namespace

std::string ProgramDir() {
    {
        std::lock_guard lock(dirMutex);
        if (!Override().empty()) {
            return Override();
        }
    }
    static const std::string dir = ExecutableDir();
    return dir;
}

void SetProgramDirForTesting(const std::string& dir) {
    std::lock_guard lock(dirMutex);
    Override() = dir;
    if (!dir.empty() && dir.back() != PathSeparator) {
        Override() += PathSeparator;
    }
}

}  // namespace platform
