#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace tarnwick_tool {

// How pack stores files: `Auto` compressed where the source archive stored them compressed
// (new files plain), `None` every file plain, `All` every file compressed.
enum class Compression { Auto, None, All };

// Builds an archive from files laid out as extract writes them, starting from the files and
// header of `from` when given. OUT is written to a new file beside it and renamed into place.
// Status 0 when written; 1 when anything failed (nothing is left at OUT or beside it); 2 when
// OUT names the same file as `from`.
struct PackCommand {
    std::filesystem::path directory;
    std::filesystem::path out;
    std::optional<std::filesystem::path> from;
    std::vector<std::uint32_t> remove;
    Compression compression = Compression::Auto;
};
int run_pack(const PackCommand& command);

}  // namespace tarnwick_tool
