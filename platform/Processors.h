// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The processors this process may run on: those of its CPU affinity mask (taskset, a scheduler's
// allocation), lowered to its cgroup's CPU quota where one is set (a container's --cpus). At
// least 1.
int UsableProcessors();

// The processors in the calling thread's CPU affinity mask, as `nproc` counts them; at least 1.
int AffinityProcessors();

// The processors a CPU quota allows: the quota divided by its period, rounded up, at least 1.
// Nothing when the text sets no limit or is not a quota. cgroup v2's cpu.max holds
// "QUOTA PERIOD" or "max PERIOD"; cgroup v1 keeps the two in cpu.cfs_quota_us (-1: no limit) and
// cpu.cfs_period_us.
std::optional<int> CpuMaxProcessors(std::string_view cpuMax);
std::optional<int> CfsQuotaProcessors(std::string_view quota, std::string_view period);

// The smallest CPU quota on the way from the process's cgroups up to the roots of their
// hierarchies, in processors; nothing when none is set. `mountinfo` and `cgroups` are the texts of
// /proc/self/mountinfo and /proc/self/cgroup; the quota files are read below `filesRoot` ("" for
// the real ones).
std::optional<int> CgroupProcessors(std::string_view mountinfo, std::string_view cgroups,
                                    const std::string& filesRoot = "");

}  // namespace platform
