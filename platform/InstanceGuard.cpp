// SPDX-License-Identifier: GPL-3.0-or-later
#include "InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "TempFolder.h"

namespace platform {

bool AcquireInstanceGuard(const std::string& name) {
    // Only in a folder no other user can enter: elsewhere anyone could take the name first and
    // keep this user out.
    const std::string folder = RuntimeFolder();
    if (folder.empty()) {
        return true;
    }
    const std::string path = WithTrailingSeparator(folder, '/') + name + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a place for the guard nobody can hold it; refusing to start would only lock the
        // user out of the program without a word.
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        close(fd);
        // Any other failure (no locks on this file system, no memory for one) is no sign of
        // another instance.
        return !heldElsewhere;
    }
    // Deliberately left open: the lock lasts as long as the process.
    return true;
}

}  // namespace platform
