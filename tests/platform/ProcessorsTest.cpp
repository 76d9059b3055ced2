#include "Processors.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(ProcessorsTest, QuotaTextsGiveWholeProcessors) {
    const std::pair<const char*, std::optional<int>> cpuMax[] = {
        {"max 100000\n", std::nullopt}, {"150000 100000\n", 2},
        {"100000 100000", 1},           {"20000 100000", 1},
        {"400000 100000", 4},           {"", std::nullopt},
        {"100000", std::nullopt},       {"x 100000", std::nullopt},
    };
    for (const auto& [text, processors] : cpuMax) {
        EXPECT_EQ(platform::CpuMaxProcessors(text), processors) << text;
    }
    EXPECT_EQ(platform::CfsQuotaProcessors("-1\n", "100000\n"), std::nullopt);
    EXPECT_EQ(platform::CfsQuotaProcessors("250000\n", "100000\n"), 3);
    EXPECT_EQ(platform::CfsQuotaProcessors("250000\n", "0\n"), std::nullopt);
}

// Hierarchies laid out below a folder of the test's own, as mountinfo and /proc/self/cgroup
// describe them.
TEST(ProcessorsTest, TheSmallestQuotaOfTheCgroupTreeHolds) {
    const std::string v2 = "30 22 0:27 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";
    const std::string v1 = "31 22 0:28 / /sys/fs/cgroup/cpu,cpuacct rw - cgroup cgroup rw,cpu\n";
    struct Case {
        const char* name;
        std::string mountinfo;
        std::string cgroups;
        std::vector<std::pair<std::string, std::string>> files;
        std::optional<int> processors;
    };
    const Case cases[] = {
        {"v2_parent_is_smaller",
         v2,
         "0::/job/step\n",
         {{"/sys/fs/cgroup/job/cpu.max", "200000 100000\n"},
          {"/sys/fs/cgroup/job/step/cpu.max", "max 100000\n"}},
         2},
        {"v2_own_is_smaller",
         v2,
         "0::/job/step\n",
         {{"/sys/fs/cgroup/job/cpu.max", "800000 100000\n"},
          {"/sys/fs/cgroup/job/step/cpu.max", "300000 100000\n"}},
         3},
        {"v2_container_root", v2, "0::/\n", {{"/sys/fs/cgroup/cpu.max", "400000 100000"}}, 4},
        {"v2_no_limit", v2, "0::/a\n", {{"/sys/fs/cgroup/a/cpu.max", "max 100000"}}, std::nullopt},
        {"v1_cpu_controller",
         v1,
         "4:memory:/x\n3:cpu,cpuacct:/docker/abc\n",
         {{"/sys/fs/cgroup/cpu,cpuacct/docker/abc/cpu.cfs_quota_us", "150000\n"},
          {"/sys/fs/cgroup/cpu,cpuacct/docker/abc/cpu.cfs_period_us", "100000\n"}},
         2},
        {"v1_mount_shows_own_cgroup_at_its_point",
         "31 22 0:28 /docker/abc /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpuacct,cpu\n",
         "3:cpu,cpuacct:/docker/abc\n",
         {{"/sys/fs/cgroup/cpu/cpu.cfs_quota_us", "50000"},
          {"/sys/fs/cgroup/cpu/cpu.cfs_period_us", "100000"}},
         1},
        {"hybrid_takes_the_smaller",
         v1 + v2,
         "3:cpu,cpuacct:/\n0::/\n",
         {{"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "-1"},
          {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000"},
          {"/sys/fs/cgroup/cpu.max", "500000 100000"}},
         5},
        {"space_in_mount_point",
         "30 22 0:27 / /cg\\040v2 rw - cgroup2 cgroup2 rw\n",
         "0::/\n",
         {{"/cg v2/cpu.max", "100000 50000"}},
         2},
        {"no_cgroup_mounts", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n", "0::/\n", {}, std::nullopt},
    };
    const fs::path root =
        fs::temp_directory_path() / ("sonvert-cgroups-" + std::to_string(getpid()));
    for (const Case& c : cases) {
        fs::remove_all(root);
        for (const auto& [path, text] : c.files) {
            fs::create_directories(fs::path(root.string() + path).parent_path());
            std::ofstream(root.string() + path) << text;
        }
        EXPECT_EQ(platform::CgroupProcessors(c.mountinfo, c.cgroups, root.string()), c.processors)
            << c.name;
    }
    fs::remove_all(root);
}

// What `taskset -c 0` gives a process: this thread's own mask narrowed to one processor, and to
// two where there are.
TEST(ProcessorsTest, CountsTheProcessorsOfTheAffinityMask) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    std::vector<int> allowed;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            allowed.push_back(cpu);
        }
    }
    for (std::size_t count = 1; count <= std::min<std::size_t>(2, allowed.size()); ++count) {
        int affinity = 0;
        int usable = 0;
        std::thread([&] {
            cpu_set_t some;
            CPU_ZERO(&some);
            for (std::size_t i = 0; i < count; ++i) {
                CPU_SET(allowed[i], &some);
            }
            if (sched_setaffinity(0, sizeof some, &some) == 0) {
                affinity = platform::AffinityProcessors();
                usable = platform::UsableProcessors();
            }
        }).join();
        EXPECT_EQ(affinity, static_cast<int>(count));
        EXPECT_GE(usable, 1);
        EXPECT_LE(usable, static_cast<int>(count));
    }
}

}  // namespace
