#pragma once

// The arguments and options that several subcommands share, each read and checked the same way.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "archive.hpp"

namespace tarnwick_tool {

enum class Format { Text, Json };

// ARCHIVE, required and not empty.
void add_archive(CLI::App& command, std::filesystem::path& archive);
// A required positional path that may not be empty.
CLI::Option* add_path(CLI::App& command, std::string_view name, std::filesystem::path& path,
                      std::string_view help);
// ID, a required file id in hexadecimal.
void add_id(CLI::App& command, std::uint32_t& id);
// --type NAME, one of the file type names in any case.
void add_type(CLI::App& command, std::optional<dat::DatFileType>& type);
// --format text|json; `json_help` says what the JSON is.
void add_format(CLI::App& command, Format& format, std::string_view json_help);
// -q/--quiet: `what` is what it leaves out.
void add_quiet(CLI::App& command, bool& quiet, std::string_view what);

}  // namespace tarnwick_tool
