// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::FILE* OpenRegularFile(const std::string& path, OpenFailure& failure) {
    failure = OpenFailure::CannotOpen;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        // A folder cannot be opened as a file on other systems either; anything else that is no
        // regular file did open, but is not a file that could hold a recording.
        if (info.st_mode != 0 && !S_ISDIR(info.st_mode)) {
            failure = OpenFailure::NotRegularFile;
        }
        ::close(fd);
        return nullptr;
    }
    // Reads of a regular file do not block anyway; cleared so that no reader meets EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* stream = nullptr;
    if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
        stream = ::fdopen(fd, "rb");
    }
    if (stream == nullptr) {
        ::close(fd);
        return nullptr;
    }
    failure = OpenFailure::None;
    return stream;
}

}  // namespace platform
