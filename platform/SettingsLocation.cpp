// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsLocation.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <vector>

namespace platform {
namespace {

std::mutex homeMutex;
std::string& Override() {
    static std::string dir;
    return dir;
}

// A folder without any write permission counts as read-only even for a privileged user, as the
// settings file's own writes treat it.
bool CanWriteFolder(const std::string& dir) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return false;
    }
    return ::access(dir.c_str(), W_OK) == 0;
}

std::string WithoutTrailingSlashes(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    return dir;
}

// An administrator's file this user cannot open (root's, written under a strict umask) is as good
// as none: it must neither hide the user's own values nor stop their first write.
bool Readable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

std::string AccountHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return found->pw_dir;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The first candidate stands in when none is readable; ReadPath and PrepareWrite then pass it by.
std::string SystemDefaults(const std::string& configDirs, const std::string& fileName) {
    std::vector<std::string> candidates;
    std::istringstream list(configDirs);
    for (std::string dir; std::getline(list, dir, ':');) {
        // Relative entries are invalid by the base-directory rules and are ignored.
        if (!dir.empty() && dir.front() == '/') {
            candidates.push_back(WithoutTrailingSlashes(dir) + "/sonvert/" + fileName);
        }
    }
    if (candidates.empty()) {
        candidates.push_back("/etc/xdg/sonvert/" + fileName);
    }
    for (const std::string& candidate : candidates) {
        if (Readable(candidate)) {
            return candidate;
        }
    }
    return candidates.front();
}

}  // namespace

std::string SettingsLocation::ReadPath() const {
    std::error_code error;
    if (Defaults.empty() || std::filesystem::exists(Path, error)) {
        return Path;
    }
    return Readable(Defaults) ? Defaults : Path;
}

bool SettingsLocation::PrepareWrite() const {
    if (Defaults.empty()) {
        return true;
    }
    namespace fs = std::filesystem;
    const fs::path path(Path);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error || !CanWriteFolder(path.parent_path().string())) {
        return false;
    }
    std::error_code ignored;
    if (fs::exists(path, ignored) || !Readable(Defaults)) {
        return true;
    }
    fs::copy_file(Defaults, path, error);
    if (error) {
        return false;
    }
    // The copy is the user's own, whatever the administrator's file allows.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                    error);
    return !error;
}

ProgramFolder ExamineProgramFolder(const std::string& dir) {
    std::error_code error;
    return {dir, std::filesystem::exists(dir + InstalledMarker, error), CanWriteFolder(dir)};
}

SettingsLocation LocateSettings(const ProgramFolder& program, const std::string& configHome,
                                const std::string& fileName, const std::string& configDirs) {
    const std::string besideProgram = program.Dir + fileName;
    // An installed program folder is shared by every user; root could write there, and its file
    // would then be every other user's starting values and outlive the package.
    if (configHome.empty() || (!program.Installed && program.Writable)) {
        return {besideProgram, {}};
    }
    return {WithoutTrailingSlashes(configHome) + "/sonvert/" + fileName,
            program.Installed ? SystemDefaults(configDirs, fileName) : besideProgram};
}

std::string SystemConfigDirs() {
    return Environment("XDG_CONFIG_DIRS");
}

std::string UserConfigHome() {
    {
        std::lock_guard lock(homeMutex);
        if (!Override().empty()) {
            return Override();
        }
    }
    // Relative values are invalid by the base-directory rules and are ignored.
    const std::string config = Environment("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/') {
        return config;
    }
    for (const std::string& home : {Environment("HOME"), AccountHome()}) {
        if (!home.empty() && home.front() == '/') {
            return WithoutTrailingSlashes(home) + "/.config";
        }
    }
    return {};
}

void SetConfigHomeForTesting(const std::string& dir) {
    std::lock_guard lock(homeMutex);
    Override() = dir;
}

}  // namespace platform
