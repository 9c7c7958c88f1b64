#pragma once

#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runner/options/environment.hpp"

namespace runner {

// A terminal description: its names and the capabilities this runner knows by name.
struct TermInfo {
    std::vector<std::string> names;
    std::map<std::string, int, std::less<>> numbers;
    std::map<std::string, std::string, std::less<>> strings;

    const std::string* string_cap(std::string_view name) const;
    int number_cap(std::string_view name) const;  // 0 when absent
};

// The directories searched for compiled descriptions, in order.
std::vector<std::filesystem::path> terminfo_search_dirs(const EnvLookup& env);

// The compiled description of `term` found first in `dirs`, or "terminfo file not found".
std::expected<std::filesystem::path, std::string> find_terminfo_file(
    std::string_view term, const std::vector<std::filesystem::path>& dirs);

std::expected<TermInfo, std::string> read_terminfo_file(const std::filesystem::path& path);

// The built-in description used for the mintty console when no compiled one is found.
TermInfo mintty_terminfo();

// The description of the terminal named by TERM; the mintty fallback when MSYSCON says so.
std::expected<TermInfo, std::string> load_terminfo(const EnvLookup& env = process_environment());

}  // namespace runner
