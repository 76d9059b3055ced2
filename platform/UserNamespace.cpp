// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// Only system calls: the child of a process that may run threads.
bool WriteFile(const char* path, const char* text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const auto length = static_cast<ssize_t>(std::strlen(text));
    const bool written = ::write(fd, text, static_cast<size_t>(length)) == length;
    return ::close(fd) == 0 && written;
}

}  // namespace

bool UserNamespaceSandboxWorks() {
    // The maps are formatted before the fork.
    char uidMap[64];
    char gidMap[64];
    std::snprintf(uidMap, sizeof uidMap, "%u %u 1\n", ::geteuid(), ::geteuid());
    std::snprintf(gidMap, sizeof gidMap, "%u %u 1\n", ::getegid(), ::getegid());

    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        if (::unshare(CLONE_NEWUSER) != 0) {
            ::_exit(1);
        }
        // Without setgroups denied an unprivileged process may not map its group; kernels before
        // the file existed did not ask for it.
        if (!WriteFile("/proc/self/setgroups", "deny") && errno != ENOENT) {
            ::_exit(2);
        }
        const bool mapped =
            WriteFile("/proc/self/uid_map", uidMap) && WriteFile("/proc/self/gid_map", gidMap);
        ::_exit(mapped ? 0 : 3);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
