// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testchild {

// The exit status of `body` run in a forked child; 128 when the child did not exit.
template <typename Body>
int Run(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// As Run, but a root child first becomes user `uid` with group `gid`, a member of `group` too.
template <typename Body>
int RunAs(uid_t uid, gid_t gid, gid_t group, Body body) {
    return Run([&] {
        if (geteuid() == 0 && (setgroups(1, &group) != 0 || setresgid(gid, gid, gid) != 0 ||
                               setresuid(uid, uid, uid) != 0)) {
            return 127;
        }
        return body();
    });
}

}  // namespace testchild
