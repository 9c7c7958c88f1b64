#include "runner/concurrency.hpp"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runner/check/panic.hpp"
#include "runner/options/number_parse.hpp"

namespace runner {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> read_file(const fs::path& path) {
    std::ifstream in{path};
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<long long> parse_integer(std::string_view text) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::size_t> whole_processors(long long quota, long long period) {
    if (quota <= 0 || period <= 0) {
        return std::nullopt;
    }
    return std::max<std::size_t>(1, static_cast<std::size_t>(quota / period));
}

// cgroup v2 "cpu.max": "QUOTA PERIOD" or "max PERIOD".
std::optional<std::size_t> v2_limit(const fs::path& group) {
    const auto text = read_file(group / "cpu.max");
    if (!text || text->starts_with("max")) {
        return std::nullopt;
    }
    const std::size_t blank = text->find(' ');
    if (blank == std::string::npos) {
        return std::nullopt;
    }
    const auto quota = parse_integer(std::string_view{*text}.substr(0, blank));
    const auto period = parse_integer(std::string_view{*text}.substr(blank + 1));
    return quota && period ? whole_processors(*quota, *period) : std::nullopt;
}

// cgroup v1: "cpu.cfs_quota_us" (-1 without a quota) and "cpu.cfs_period_us".
std::optional<std::size_t> v1_limit(const fs::path& group) {
    const auto quota_text = read_file(group / "cpu.cfs_quota_us");
    const auto period_text = read_file(group / "cpu.cfs_period_us");
    if (!quota_text || !period_text) {
        return std::nullopt;
    }
    const auto quota = parse_integer(*quota_text);
    const auto period = parse_integer(*period_text);
    return quota && period ? whole_processors(*quota, *period) : std::nullopt;
}

// The smallest limit of the group and all groups above it up to `mount`. A group path from
// inside a container may not exist below the mount; its missing levels are skipped.
template <class LimitOf>
std::optional<std::size_t> smallest_limit(const fs::path& mount, std::string_view group_path,
                                          LimitOf limit_of) {
    std::optional<std::size_t> smallest;
    fs::path relative = fs::path{group_path}.relative_path();
    while (true) {
        if (const auto limit = limit_of(mount / relative)) {
            smallest = smallest ? std::min(*smallest, *limit) : *limit;
        }
        if (relative.empty()) {
            return smallest;
        }
        relative = relative.parent_path();
    }
}

bool lists_cpu_controller(std::string_view controllers) {
    while (!controllers.empty()) {
        const std::size_t comma = controllers.find(',');
        if (controllers.substr(0, comma) == "cpu") {
            return true;
        }
        if (comma == std::string_view::npos) {
            return false;
        }
        controllers.remove_prefix(comma + 1);
    }
    return false;
}

std::optional<std::size_t> affinity_count() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) {
        return std::nullopt;
    }
    const int count = CPU_COUNT(&set);
    return count > 0 ? std::optional<std::size_t>{count} : std::nullopt;
}

}  // namespace

std::optional<std::size_t> parse_thread_count(std::string_view text) {
    const auto value = parse_nonzero_u64(text);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(*value);
}

std::optional<std::size_t> cgroup_cpu_limit(std::string_view proc_self_cgroup,
                                            const fs::path& cgroup_root) {
    std::istringstream lines{std::string{proc_self_cgroup}};
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        const std::string_view controllers =
            std::string_view{line}.substr(first + 1, second - first - 1);
        const std::string_view group = std::string_view{line}.substr(second + 1);
        if (line.starts_with("0::")) {
            return smallest_limit(cgroup_root, group, v2_limit);
        }
        if (lists_cpu_controller(controllers)) {
            return smallest_limit(cgroup_root / std::string{controllers}, group, v1_limit);
        }
    }
    return std::nullopt;
}

std::size_t get_concurrency() {
    if (const char* value = std::getenv("ORRA_TEST_THREADS")) {
        if (const auto count = parse_thread_count(value)) {
            return *count;
        }
        std::string message = "ORRA_TEST_THREADS is `";
        message.append(value).append("`, should be a positive integer.");
        fail_main_thread(message);
    }
    const auto processors = affinity_count();
    if (!processors) {
        return 1;
    }
    const auto cgroup_text = read_file("/proc/self/cgroup");
    const auto limit =
        cgroup_text ? cgroup_cpu_limit(*cgroup_text, "/sys/fs/cgroup") : std::nullopt;
    return limit ? std::min(*processors, *limit) : *processors;
}

}  // namespace runner
