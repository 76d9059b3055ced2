#include "UserNamespace.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

// The exit code of `body` run in a child process.
template <typename Body>
int InChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

int MakeNamespace() {
    return unshare(CLONE_NEWUSER) == 0 ? 0 : 1;
}

bool WriteText(const char* path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.close();
    return !out.fail();
}

// Root of a namespace of its own, without the capability that mapping root into a further
// namespace asks of its maker: it still makes namespaces, but cannot map itself into them.
int RootWithoutSetfcap() {
    const std::string uid = std::to_string(geteuid());
    const std::string gid = std::to_string(getegid());
    if (unshare(CLONE_NEWUSER) != 0 || !WriteText("/proc/self/setgroups", "deny") ||
        !WriteText("/proc/self/uid_map", "0 " + uid + " 1") ||
        !WriteText("/proc/self/gid_map", "0 " + gid + " 1")) {
        return 1;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    if (syscall(SYS_capget, &header, caps) != 0) {
        return 1;
    }
    const unsigned bit = 1u << (CAP_SETFCAP % 32);
    caps[CAP_SETFCAP / 32].effective &= ~bit;
    caps[CAP_SETFCAP / 32].permitted &= ~bit;
    caps[CAP_SETFCAP / 32].inheritable &= ~bit;
    return syscall(SYS_capset, &header, caps) == 0 && InChild(MakeNamespace) == 0 ? 0 : 1;
}

class UserNamespaceTest : public testing::Test {
  protected:
    void SetUp() override {
        if (InChild(MakeNamespace) != 0) {
            GTEST_SKIP() << "this machine makes no user namespaces at all (a locked-down "
                            "container); the probe has nothing to tell apart";
        }
    }
};

TEST_F(UserNamespaceTest, ProbeSucceedsWhereTheMachineAllowsIt) {
    EXPECT_TRUE(platform::UserNamespaceSandboxWorks());
}

TEST_F(UserNamespaceTest, ProbeFailsWhereTheSandboxCannotBeBuilt) {
    const struct {
        const char* name;
        int (*setUp)();  // 0 when the condition holds
    } cases[] = {
        // The caller's own ids have no mapping in its namespace: no further one can be made.
        {"inside a namespace without a mapping", MakeNamespace},
        // The namespace can be made, but the mapping is refused.
        {"a namespace that cannot be mapped", RootWithoutSetfcap},
    };
    for (const auto& c : cases) {
        const int result = InChild([&c] {
            if (c.setUp() != 0) {
                return 10;
            }
            return platform::UserNamespaceSandboxWorks() ? 1 : 0;
        });
        EXPECT_EQ(result, 0) << c.name << " (10: could not set up the condition, 1: probe passed)";
    }
}

}  // namespace
