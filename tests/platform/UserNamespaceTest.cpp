// SPDX-License-Identifier: GPL-3.0-or-later
#include "UserNamespace.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>

#include <string>

#include "ChildProcess.h"
#include "FileText.h"

namespace {

int MakeNamespace() {
    return unshare(CLONE_NEWUSER) == 0 ? 0 : 1;
}

// Root of a namespace of its own, without the capability that mapping root into a further
// namespace asks of its maker: it still makes namespaces but cannot map itself into them.
bool BecomeRootWithoutSetfcap() {
    const std::string uid = std::to_string(geteuid()), gid = std::to_string(getegid());
    if (unshare(CLONE_NEWUSER) != 0) {
        return false;
    }
    testfile::WriteAll("/proc/self/setgroups", "deny");
    testfile::WriteAll("/proc/self/uid_map", "0 " + uid + " 1");
    testfile::WriteAll("/proc/self/gid_map", "0 " + gid + " 1");
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    syscall(SYS_capget, &header, caps);
    caps[CAP_SETFCAP / 32].effective &= ~(1u << (CAP_SETFCAP % 32));
    caps[CAP_SETFCAP / 32].permitted &= ~(1u << (CAP_SETFCAP % 32));
    return syscall(SYS_capset, &header, caps) == 0 && testchild::Run(MakeNamespace) == 0;
}

TEST(UserNamespaceTest, ProbeTellsWhetherTheSandboxCanBeBuilt) {
    if (testchild::Run(MakeNamespace) != 0) {
        GTEST_SKIP() << "this machine makes no user namespaces at all (a locked-down container)";
    }
    EXPECT_TRUE(platform::UserNamespaceSandboxWorks());
    const auto unmappable = [] {
        return !BecomeRootWithoutSetfcap() ? 10 : platform::UserNamespaceSandboxWorks() ? 1 : 0;
    };
    EXPECT_EQ(testchild::Run(unmappable), 0)
        << "a namespace that can be made but not mapped (10: could not set that up, 1: the probe "
           "passed)";
}

}  // namespace
