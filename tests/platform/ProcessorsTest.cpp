// SPDX-License-Identifier: GPL-3.0-or-later
#include "Processors.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "WorkerPool.h"

namespace {

namespace fs = std::filesystem;

TEST(ProcessorsTest, QuotaTextsGiveWholeProcessors) {
    const std::pair<const char*, std::optional<int>> cpuMax[] = {
        {"max 100000\n", std::nullopt}, {"150000 100000\n", 2}, {"20000 100000", 1},
        {"400000 100000", 4},           {"", std::nullopt},     {"x 100000", std::nullopt},
    };
    for (const auto& [text, processors] : cpuMax) {
        EXPECT_EQ(platform::CpuMaxProcessors(text), processors) << text;
    }
}

// cgroup trees laid out below a folder of the test's own, as mountinfo and /proc/self/cgroup
// describe them.
TEST(ProcessorsTest, TheSmallestQuotaOnTheWayUpTheCgroupTreeHolds) {
    const std::string v2 = "30 22 0:27 / /cg rw - cgroup2 cgroup2 rw\n";
    const std::string v1 = "31 22 0:28 / /cpu rw - cgroup cgroup rw,cpu,cpuacct\n";
    const struct {
        std::string mountinfo;
        std::string cgroups;
        std::vector<std::pair<std::string, std::string>> files;
        std::optional<int> processors;
    } cases[] = {
        {v2,
         "0::/a/b\n",
         {{"/cg/cpu.max", "800000 100000"},
          {"/cg/a/cpu.max", "300000 100000"},
          {"/cg/a/b/cpu.max", "max 100000"}},
         3},
        {v1,
         "4:memory:/x\n3:cpu,cpuacct:/a\n",
         {{"/cpu/a/cpu.cfs_quota_us", "150000"}, {"/cpu/a/cpu.cfs_period_us", "100000"}},
         2},
        // A mount that shows the process's own cgroup at its point, named with a space.
        {"31 22 0:28 /a /cpu\\040x rw - cgroup cgroup rw,cpu\n",
         "3:cpu:/a\n",
         {{"/cpu x/cpu.cfs_quota_us", "50000"}, {"/cpu x/cpu.cfs_period_us", "100000"}},
         1},
        {v1 + v2,
         "3:cpu,cpuacct:/\n0::/\n",
         {{"/cpu/cpu.cfs_quota_us", "-1"},
          {"/cpu/cpu.cfs_period_us", "100000"},
          {"/cg/cpu.max", "500000 100000"}},
         5},
        {"22 1 8:1 / / rw - ext4 /dev/sda1 rw\n", "0::/\n", {}, std::nullopt},
    };
    const fs::path root =
        fs::temp_directory_path() / ("sonvert-cgroups-" + std::to_string(getpid()));
    for (const auto& c : cases) {
        fs::remove_all(root);
        for (const auto& [path, text] : c.files) {
            fs::create_directories(fs::path(root.string() + path).parent_path());
            std::ofstream(root.string() + path) << text << "\n";
        }
        EXPECT_EQ(platform::CgroupProcessors(c.mountinfo, c.cgroups, root.string()), c.processors)
            << c.mountinfo << c.cgroups;
    }
    fs::remove_all(root);
}

// The whole mask, and what `taskset -c 0` gives a process: this thread's own mask narrowed to
// one processor. The encoder libraries' pools count their threads the same way.
TEST(ProcessorsTest, CountsTheProcessorsOfTheAffinityMask) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(platform::AffinityProcessors(), CPU_COUNT(&all));
    constexpr const char* kUnset = "SONVERT_TEST_UNSET_THREADS";
    ::unsetenv(kUnset);
    int affinity = 0;
    int usable = 0;
    int workers = 0;
    std::thread([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        if (sched_setaffinity(0, sizeof one, &one) == 0) {
            affinity = platform::AffinityProcessors();
            usable = platform::UsableProcessors();
            workers = standins::WorkerPool(standins::PoolThreads(kUnset), "test").Threads();
        }
    }).join();
    EXPECT_EQ(affinity, 1);
    EXPECT_EQ(usable, 1);
    EXPECT_EQ(workers, 1);
}

}  // namespace
