#pragma once

// The subcommands, each given its parsed command line and giving the exit status: 0 when all
// went well, 1 when anything failed (the reasons are on standard error), 2 when cat refuses to
// write to a terminal.

#include <cstdint>
#include <filesystem>
#include <optional>

#include "archive.hpp"

namespace tarnwick_tool {

enum class Format { Text, Json };

struct InfoCommand {
    std::filesystem::path archive;
};
int run_info(const InfoCommand& command);

struct LsCommand {
    std::filesystem::path archive;
    std::optional<dat::DatFileType> type;
    Format format = Format::Text;
};
int run_ls(const LsCommand& command);

struct CatCommand {
    std::filesystem::path archive;
    std::uint32_t id = 0;
    bool force = false;  // write to a terminal all the same
};
int run_cat(const CatCommand& command);

struct ExtractCommand {
    std::filesystem::path archive;
    std::filesystem::path directory;
    std::optional<dat::DatFileType> type;
    bool force = false;  // replace files that already exist
};
int run_extract(const ExtractCommand& command);

struct ClothingCommand {
    std::filesystem::path archive;
    std::uint32_t id = 0;
    Format format = Format::Text;
};
int run_clothing(const ClothingCommand& command);

struct VerifyCommand {
    std::filesystem::path archive;
    Format format = Format::Text;
};
int run_verify(const VerifyCommand& command);

struct MountCommand {
    std::filesystem::path archive;
    std::filesystem::path directory;
    bool foreground = false;
    bool clothing_json = false;  // each clothing table's JSON document beside it
};
int run_mount(const MountCommand& command);

}  // namespace tarnwick_tool
