#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick_tool {

// Why a file could not be put in place, and whether it is worth trying the next one (a full
// disk or quota is not).
struct WriteFailure {
    std::string why;
    bool out_of_space = false;
};

// A folder opened once, into which files are put whole and only there: every name is taken
// relative to the folder's own descriptor, so that renaming or replacing a folder on the way
// changes nothing. A file is written to a temporary name that no other run uses, created
// exclusively (never through a link, never opening a FIFO, socket or device), and put in place
// by rename, the only step that puts a name there; a link at the name is replaced, never written
// through. SIGINT and SIGTERM remove the temporary file in flight before the tool ends.
class OutputFolder {
  public:
    // The folder at `path`, created if need be (with its parents).
    static std::expected<OutputFolder, std::string> open(const std::filesystem::path& path);

    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    ~OutputFolder();

    const std::filesystem::path& path() const { return path_; }

    // The folder `name` inside this one, made if need be. Anything there but a real folder (a
    // link to one included) is refused.
    std::expected<OutputFolder, std::string> subfolder(std::string_view name) const;

    // Whether anything, even a dangling link, is at `name`.
    bool has(std::string_view name) const;
    // Whether `subfolder` made this folder, rather than finding it there.
    bool made() const { return made_; }

    // Puts `bytes` at `name`, with `modified` as its modification time (seconds since 1970).
    // With `replace` unset, a file that appeared meanwhile is kept: gives false.
    std::expected<bool, WriteFailure> put(std::string_view name,
                                          std::span<const std::uint8_t> bytes,
                                          std::uint32_t modified, bool replace) const;

  private:
    OutputFolder(int fd, std::filesystem::path path) : fd_{fd}, path_{std::move(path)} {}

    int fd_ = -1;
    std::filesystem::path path_;
    bool made_ = false;
};

}  // namespace tarnwick_tool
