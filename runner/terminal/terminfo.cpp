#include "runner/terminal/terminfo.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "runner/terminal/terminfo_parser.hpp"

namespace runner {
namespace {

// Compiled descriptions are a few kilobytes; anything far larger is not one, and a bound keeps
// a device or a huge file named by mistake from being read without end.
constexpr std::size_t MAX_TERMINFO_FILE_SIZE = 1 << 20;

bool directory_exists(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

bool regular_file_exists(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored);
}

}  // namespace

const std::string* TermInfo::string_cap(std::string_view name) const {
    auto found = strings.find(name);
    return found == strings.end() ? nullptr : &found->second;
}

int TermInfo::number_cap(std::string_view name) const {
    auto found = numbers.find(name);
    return found == numbers.end() ? 0 : found->second;
}

std::vector<std::filesystem::path> terminfo_search_dirs(const EnvLookup& env) {
    std::vector<std::filesystem::path> dirs;
    if (auto dir = env("TERMINFO")) {
        dirs.emplace_back(*dir);
    }
    if (auto list = env("TERMINFO_DIRS")) {
        std::string_view rest = *list;
        while (true) {
            std::size_t colon = rest.find(':');
            std::string_view entry = rest.substr(0, colon);
            dirs.emplace_back(entry.empty() ? std::string_view{"/usr/share/terminfo"} : entry);
            if (colon == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(colon + 1);
        }
        return dirs;
    }
    if (auto home = env("HOME")) {
        dirs.push_back(std::filesystem::path{*home} / ".terminfo");
    }
    for (const char* dir :
         {"/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo", "/boot/system/data/terminfo"}) {
        dirs.emplace_back(dir);
    }
    return dirs;
}

std::expected<std::filesystem::path, std::string> find_terminfo_file(
    std::string_view term, const std::vector<std::filesystem::path>& dirs) {
    // An empty name or one that climbs out of the directory names no description.
    if (!term.empty() && term.find('/') == std::string_view::npos && term != "." && term != "..") {
        std::string first_char{term.substr(0, 1)};
        for (const auto& dir : dirs) {
            if (!directory_exists(dir)) {
                continue;
            }
            std::filesystem::path candidate = dir / first_char / std::string{term};
            if (regular_file_exists(candidate)) {
                return candidate;
            }
        }
    }
    return std::unexpected{std::string{"terminfo file not found"}};
}

std::expected<TermInfo, std::string> read_terminfo_file(const std::filesystem::path& path) {
    std::ifstream file{path, std::ios::binary};
    if (!file) {
        return std::unexpected{path.string() + ": " + std::strerror(errno)};
    }
    // Read as far as the file goes, one byte past the bound at most, so that only what the file
    // holds is ever allocated.
    std::string bytes;
    std::array<char, 4096> chunk{};
    while (file && bytes.size() <= MAX_TERMINFO_FILE_SIZE) {
        const std::size_t want = std::min(chunk.size(), MAX_TERMINFO_FILE_SIZE + 1 - bytes.size());
        file.read(chunk.data(), static_cast<std::streamsize>(want));
        bytes.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        return std::unexpected{path.string() + ": read failed"};
    }
    if (bytes.size() > MAX_TERMINFO_FILE_SIZE) {
        return std::unexpected{std::string{"incompatible file: file is too large"}};
    }
    return parse_terminfo(bytes);
}

TermInfo mintty_terminfo() {
    TermInfo info;
    info.names = {"cygwin"};
    info.numbers = {{"colors", 8}};
    info.strings = {{"sgr0", "\x1b[0m"},
                    {"bold", "\x1b[1m"},
                    {"setaf", "\x1b[3%p1%dm"},
                    {"setab", "\x1b[4%p1%dm"}};
    return info;
}

std::expected<TermInfo, std::string> load_terminfo(const EnvLookup& env) {
    auto term = env("TERM");
    if (!term) {
        return std::unexpected{std::string{"TERM environment variable not defined"}};
    }
    auto path = find_terminfo_file(*term, terminfo_search_dirs(env));
    auto loaded = path ? read_terminfo_file(*path)
                       : std::expected<TermInfo, std::string>{std::unexpect, path.error()};
    if (!loaded && env("MSYSCON") == "mintty.exe") {
        return mintty_terminfo();
    }
    return loaded;
}

}  // namespace runner
