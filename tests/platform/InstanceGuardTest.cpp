// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "GuardProbe.h"
#include "InstanceGuard.h"

TEST(InstanceGuard, OneHolderAtATimeAndFreedWithItsProcess) {
    const std::string name = "SonvertTestGuard" + std::to_string(getpid());
    // A first process takes it and keeps running; a second is refused; after the first ends, a
    // third gets it.
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const char ok = platform::AcquireInstanceGuard(name) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_FALSE(AnotherProcessAcquires(name));
    (void)!write(release[1], "x", 1);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(AnotherProcessAcquires(name));
    for (int fd : {ready[0], ready[1], release[0], release[1]}) {
        close(fd);
    }
}
