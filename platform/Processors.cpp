// SPDX-License-Identifier: GPL-3.0-or-later
#include "Processors.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform {
namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

std::optional<long long> Number(std::string_view text) {
    text = Trimmed(text);
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> QuotaProcessors(std::optional<long long> quota,
                                   std::optional<long long> period) {
    if (!quota || !period || *quota <= 0 || *period <= 0) {
        return std::nullopt;
    }
    const long long whole = *quota / *period + (*quota % *period != 0 ? 1 : 0);
    return static_cast<int>(std::clamp(whole, 1LL, static_cast<long long>(INT_MAX)));
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool Contains(const std::vector<std::string_view>& parts, std::string_view part) {
    return std::find(parts.begin(), parts.end(), part) != parts.end();
}

// mountinfo writes a space, tab, newline or backslash in a path as an octal escape (\040).
std::string Unescaped(std::string_view text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            int value = 0;
            const auto [at, error] =
                std::from_chars(text.data() + i + 1, text.data() + i + 4, value, 8);
            if (error == std::errc() && at == text.data() + i + 4) {
                plain += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        plain += text[i];
    }
    return plain;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

enum class Hierarchy { V1Cpu, V2 };

struct CgroupMount {
    Hierarchy hierarchy;
    std::string root;  // the cgroup the mount shows at its mount point
    std::string mountPoint;
};

std::vector<CgroupMount> CgroupMounts(std::string_view mountinfo) {
    std::vector<CgroupMount> mounts;
    for (const std::string_view line : Split(mountinfo, '\n')) {
        // "ID PARENT MAJOR:MINOR ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPEROPTIONS"
        const auto dash = line.find(" - ");
        if (dash == std::string_view::npos) {
            continue;
        }
        const std::vector<std::string_view> fields = Split(line.substr(0, dash), ' ');
        const std::vector<std::string_view> tail = Split(line.substr(dash + 3), ' ');
        if (fields.size() < 5 || tail.size() < 3) {
            continue;
        }
        CgroupMount mount{Hierarchy::V2, Unescaped(fields[3]), Unescaped(fields[4])};
        if (tail[0] == "cgroup2") {
            mounts.push_back(mount);
        } else if (tail[0] == "cgroup" && Contains(Split(tail[2], ','), "cpu")) {
            mount.hierarchy = Hierarchy::V1Cpu;
            mounts.push_back(mount);
        }
    }
    return mounts;
}

// The process's cgroup in the hierarchy: "0::PATH" for cgroup v2, "ID:CONTROLLERS:PATH" with the
// cpu controller among the controllers for v1.
std::optional<std::string> CgroupPath(std::string_view cgroups, Hierarchy hierarchy) {
    for (const std::string_view line : Split(cgroups, '\n')) {
        const auto first = line.find(':');
        const auto second = line.find(':', first + 1);
        if (first == std::string_view::npos || second == std::string_view::npos) {
            continue;
        }
        const std::string_view id = line.substr(0, first);
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const bool wanted = hierarchy == Hierarchy::V2 ? id == "0" && controllers.empty()
                                                       : Contains(Split(controllers, ','), "cpu");
        if (wanted) {
            return std::string(line.substr(second + 1));
        }
    }
    return std::nullopt;
}

std::optional<int> Smaller(std::optional<int> a, std::optional<int> b) {
    if (!a || !b) {
        return a ? a : b;
    }
    return std::min(*a, *b);
}

}  // namespace

std::optional<int> CpuMaxProcessors(std::string_view cpuMax) {
    const std::vector<std::string_view> fields = Split(Trimmed(cpuMax), ' ');
    if (fields.size() != 2 || fields[0] == "max") {
        return std::nullopt;
    }
    return QuotaProcessors(Number(fields[0]), Number(fields[1]));
}

std::optional<int> CfsQuotaProcessors(std::string_view quota, std::string_view period) {
    return QuotaProcessors(Number(quota), Number(period));
}

std::optional<int> CgroupProcessors(std::string_view mountinfo, std::string_view cgroups,
                                    const std::string& filesRoot) {
    std::optional<int> limit;
    for (const CgroupMount& mount : CgroupMounts(mountinfo)) {
        const std::optional<std::string> path = CgroupPath(cgroups, mount.hierarchy);
        if (!path) {
            continue;
        }
        // The mount shows its root cgroup at the mount point; a cgroup outside that root (another
        // namespace's view) is looked up from the mount point itself.
        std::string below;
        if (mount.root == "/") {
            below = *path;
        } else if (path->rfind(mount.root, 0) == 0 &&
                   (path->size() == mount.root.size() || (*path)[mount.root.size()] == '/')) {
            below = path->substr(mount.root.size());
        }
        // Each level of the tree may set its own quota; the smallest one holds.
        std::string top = mount.mountPoint;
        while (top.size() > 1 && top.back() == '/') {
            top.pop_back();
        }
        std::string folder = below.find("/..") == std::string::npos ? top + below : top;
        while (folder.size() > top.size() && folder.back() == '/') {
            folder.pop_back();
        }
        while (true) {
            const std::string at = filesRoot + folder + "/";
            limit = Smaller(limit, mount.hierarchy == Hierarchy::V2
                                       ? CpuMaxProcessors(FileText(at + "cpu.max"))
                                       : CfsQuotaProcessors(FileText(at + "cpu.cfs_quota_us"),
                                                            FileText(at + "cpu.cfs_period_us")));
            if (folder.size() <= top.size()) {
                break;
            }
            folder.erase(folder.rfind('/'));
        }
    }
    return limit;
}

int AffinityProcessors() {
    // The mask's size must cover the kernel's; grow it until the call takes it.
    for (int size = 1024; size <= (1 << 20); size *= 2) {
        cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(size));
        if (set == nullptr) {
            break;
        }
        const std::size_t bytes = CPU_ALLOC_SIZE(static_cast<std::size_t>(size));
        if (sched_getaffinity(0, bytes, set) == 0) {
            const int count = CPU_COUNT_S(bytes, set);
            CPU_FREE(set);
            return std::max(count, 1);
        }
        CPU_FREE(set);
        if (errno != EINVAL) {
            break;
        }
    }
    return 1;
}

int UsableProcessors() {
    const int affinity = AffinityProcessors();
    const std::optional<int> quota =
        CgroupProcessors(FileText("/proc/self/mountinfo"), FileText("/proc/self/cgroup"));
    return quota ? std::min(affinity, *quota) : affinity;
}

}  // namespace platform
