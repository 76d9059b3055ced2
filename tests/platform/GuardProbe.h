// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "InstanceGuard.h"

// Whether a fresh process could take the guard right now, while this one may hold it.
inline bool AnotherProcessAcquires(const std::string& name) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(platform::AcquireInstanceGuard(name) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
