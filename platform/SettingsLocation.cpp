#include "SettingsLocation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

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

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string SettingsLocation::ReadPath() const {
    std::error_code error;
    if (Defaults.empty() || std::filesystem::exists(Path, error)) {
        return Path;
    }
    return std::filesystem::exists(Defaults, error) ? Defaults : Path;
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
    if (fs::exists(path, ignored) || !fs::is_regular_file(Defaults, ignored)) {
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

SettingsLocation LocateSettings(const std::string& programDir, const std::string& configHome,
                                const std::string& fileName) {
    const std::string besideProgram = programDir + fileName;
    if (configHome.empty() || CanWriteFolder(programDir)) {
        return {besideProgram, {}};
    }
    return {WithoutTrailingSlashes(configHome) + "/sonvert/" + fileName, besideProgram};
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
    const std::string home = Environment("HOME");
    if (!home.empty() && home.front() == '/') {
        return WithoutTrailingSlashes(home) + "/.config";
    }
    return {};
}

void SetConfigHomeForTesting(const std::string& dir) {
    std::lock_guard lock(homeMutex);
    Override() = dir;
}

}  // namespace platform
