#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace runner {

// How many checks run at once by default: ORRA_TEST_THREADS (a bad value ends the program as a
// failure of the main thread), else the processors available to the process, else 1.
std::size_t get_concurrency();

// A positive whole number, as ORRA_TEST_THREADS must hold; nothing for anything else.
std::optional<std::size_t> parse_thread_count(std::string_view text);

// The whole processors a control group's CPU quota allows, given the text of /proc/self/cgroup
// and the root of the cgroup file systems; nothing when no quota is set. The quota of every
// group from the process's own up to the root counts.
std::optional<std::size_t> cgroup_cpu_limit(std::string_view proc_self_cgroup,
                                            const std::filesystem::path& cgroup_root);

}  // namespace runner
