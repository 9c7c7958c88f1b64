#include <filesystem>
#include <string>
#include <system_error>

#include "commands.hpp"
#include "file_writing.hpp"
#include "ids.hpp"
#include "output.hpp"
#include "progress.hpp"
#include "report.hpp"

namespace tarnwick_tool {

namespace {

namespace fs = std::filesystem;

struct ExtractCounts {
    std::size_t extracted = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    std::uint64_t bytes = 0;

    std::size_t done() const { return extracted + skipped + failed; }
};

// `<directory>/<TypeName>/<ID>.bin`, the id as eight upper-case digits.
fs::path destination(const fs::path& directory, const ListedFile& file) {
    return directory / dat::dat_file_type_name(file.type) /
           (base::hex_upper(file.entry.id, 8) + ".bin");
}

// A link, even a dangling one, counts as a file already there.
bool already_there(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

std::expected<void, std::string> make_directories(const fs::path& directory) {
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        return std::unexpected{"cannot create " + directory.string() + ": " +
                               dat::IoError::from_errno(error.value()).display()};
    }
    return {};
}

// The number of bytes written, or why the file could not be.
std::expected<std::size_t, std::string> extract_file(const dat::DatDatabase& database,
                                                     const ListedFile& file, const fs::path& path) {
    auto bytes = database.get_file(file.entry.id);
    if (!bytes) {
        return std::unexpected{bytes.error().display()};
    }
    auto written = make_directories(path.parent_path());
    if (written) {
        written = write_file_whole(path, *bytes, file.entry.timestamp);
    }
    if (!written) {
        return std::unexpected{std::move(written.error())};
    }
    return bytes->size();
}

std::string summary(const ExtractCounts& counts, const fs::path& directory) {
    return "extracted " + std::to_string(counts.extracted) + " files (" +
           std::to_string(counts.bytes) + " bytes) to " + directory.string() + ", skipped " +
           std::to_string(counts.skipped) + " already there, " + std::to_string(counts.failed) +
           " failed\n";
}

}  // namespace

int run_extract(const ExtractCommand& command) {
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    if (auto made = make_directories(command.directory); !made) {
        report_error(made.error());
        return 1;
    }
    const std::vector<ListedFile> files = files_in_id_order(*database, command.type);
    Progress progress{files.size()};
    ExtractCounts counts;
    for (const ListedFile& file : files) {
        const fs::path path = destination(command.directory, file);
        if (!command.force && already_there(path)) {
            ++counts.skipped;
        } else if (auto extracted = extract_file(*database, file, path); extracted) {
            ++counts.extracted;
            counts.bytes += *extracted;
        } else {
            ++counts.failed;
            progress.clear();
            report_error(format_id(file.entry.id) + ": " + extracted.error());
        }
        progress.update(counts.done(), counts.bytes);
    }
    progress.clear();
    StandardOutput out;
    out.write(summary(counts, command.directory));
    return out.finish(counts.failed == 0 ? 0 : 1);
}

}  // namespace tarnwick_tool
