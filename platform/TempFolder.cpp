// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempFolder.h"

#include <QDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

std::mutex folderMutex;
std::string& Override() {
    static std::string dir;
    return dir;
}

// A folder of this user's that no other user can read, write or enter.
bool IsPrivate(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) == 0;
}

std::string UserFolderIn(const std::string& tempDir) {
    if (tempDir.empty()) {
        return {};
    }
    const std::string folder = WithTrailingSeparator(tempDir, '/') + "sonvert-" +
                               std::to_string(static_cast<unsigned long>(geteuid()));
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    // Opened without following a link, so that what is checked is what is used.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    struct stat info {};
    bool usable = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
    // Ours but opened up (an old copy, a changed umask): shut it again before trusting it.
    if (usable && (info.st_mode & 077) != 0) {
        usable = fchmod(fd, 0700) == 0;
    }
    close(fd);
    return usable ? folder : std::string();
}

}  // namespace

std::string TempFolder() {
    {
        std::lock_guard lock(folderMutex);
        if (!Override().empty()) {
            return Override();
        }
    }
    // Honours TMPDIR like the rest of the system's tools.
    return QDir::tempPath().toStdString();
}

void SetTempFolderForTesting(const std::string& dir) {
    std::lock_guard lock(folderMutex);
    Override() = dir;
}

std::string WithTrailingSeparator(const std::string& folder, char separator) {
    const auto last = folder.rfind(separator);
    if (last == std::string::npos || last + 1 != folder.size()) {
        return folder + separator;
    }
    return folder;
}

std::string PrivateFolder(const std::string& runtimeDir, const std::string& tempDir) {
    struct stat info {};
    // Inherited from another user (su, runuser) it is theirs, and passed over.
    if (!runtimeDir.empty() && runtimeDir.front() == '/' && lstat(runtimeDir.c_str(), &info) == 0 &&
        IsPrivate(info)) {
        return runtimeDir;
    }
    return UserFolderIn(tempDir);
}

std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return PrivateFolder(runtime != nullptr ? runtime : "", TempFolder());
}

std::string WriteNewFile(const std::string& path, const char* data, std::size_t size) {
    constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(path.c_str(), flags, 0600);
    if (fd < 0 && errno == EEXIST) {
        // Left by an earlier run, or planted: unlinking removes a link, never what it points to.
        if (unlink(path.c_str()) == 0) {
            fd = open(path.c_str(), flags, 0600);
        }
    }
    if (fd < 0) {
        return std::strerror(errno);
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
            close(fd);
            unlink(path.c_str());
            return reason;
        }
        written += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0) {
        const std::string reason = std::strerror(errno);
        unlink(path.c_str());
        return reason;
    }
    return {};
}

}  // namespace platform
