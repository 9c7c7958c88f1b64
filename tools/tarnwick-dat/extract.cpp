#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "file_paths.hpp"
#include "file_writing.hpp"
#include "ids.hpp"
#include "options.hpp"
#include "ordered_reads.hpp"
#include "output.hpp"
#include "progress.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

struct ExtractCommand {
    std::filesystem::path archive;
    std::filesystem::path directory;
    FileSelection selection;
    bool force = false;  // replace files that already exist
    bool quiet = false;  // no progress, no summary
};

struct ExtractCounts {
    std::size_t extracted = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    std::uint64_t bytes = 0;

    std::size_t done() const { return extracted + skipped + failed; }
};

std::string summary(const ExtractCounts& counts, const std::filesystem::path& directory) {
    return "extracted " + std::to_string(counts.extracted) + " files (" +
           std::to_string(counts.bytes) + " bytes) to " + shown_path(directory) + ", skipped " +
           std::to_string(counts.skipped) + " already there, " + std::to_string(counts.failed) +
           " failed\n";
}

// The type folders, each opened once (or refused once) when its first file comes.
class TypeFolders {
  public:
    explicit TypeFolders(const OutputFolder& top) : top_{top} {}

    const std::expected<OutputFolder, std::string>& of(dat::DatFileType type) {
        auto found = folders_.find(type);
        if (found == folders_.end()) {
            found = folders_.emplace(type, Folder{top_.subfolder(dat::file_type_name(type))}).first;
        }
        return found->second.folder;
    }

    // The folder of `type` if it was opened already.
    const std::expected<OutputFolder, std::string>* opened(dat::DatFileType type) const {
        const auto found = folders_.find(type);
        return found == folders_.end() ? nullptr : &found->second.folder;
    }

    // Whether anything is at `name` in the folder of `type`, opened already. A folder this run
    // made holds nothing but what it put there, once one look into it showed that it can be
    // looked into; the names of the files differ, so there is no need to look again.
    bool has(dat::DatFileType type, const std::string& name) {
        Folder& folder = folders_.at(type);
        if (folder.known_empty) {
            return false;
        }
        const bool there = folder.folder->has(name);
        folder.known_empty = !there && folder.folder->made();
        return there;
    }

  private:
    struct Folder {
        std::expected<OutputFolder, std::string> folder;
        bool known_empty = false;
    };
    const OutputFolder& top_;
    std::map<dat::DatFileType, Folder> folders_;
};

// What is known of a file before it is put in place.
struct Ahead {
    std::optional<bool> present;  // whether its name is taken, when looked at already
    std::optional<std::expected<std::vector<std::uint8_t>, Failure>> bytes;
};

// Files are put in place in id order; they are read ahead in stretches of that order, each
// stretch in ascending offset order through one window, so that neighbouring files cost one
// read between them. A stretch holds about this many stored bytes.
constexpr std::uint64_t stretch_bytes = std::uint64_t{4} << 20;

// The end of the stretch of `files` that begins at `first`.
std::size_t stretch_end(std::span<const ListedFile> files, std::size_t first) {
    std::uint64_t bytes = 0;
    std::size_t end = first;
    while (end < files.size() && (end == first || bytes + files[end].entry.size <= stretch_bytes)) {
        bytes += files[end].entry.size;
        ++end;
    }
    return end;
}

// Reads ahead the files of one stretch that will be written: not those whose folder was refused,
// nor those already there (unless replaced).
std::vector<Ahead> read_ahead(const dat::DatDatabase& database, std::span<const ListedFile> stretch,
                              TypeFolders& folders, bool force, dat::ReadWindow& window) {
    std::vector<Ahead> ahead(stretch.size());
    for (const std::size_t i : offset_order(stretch)) {
        const ListedFile& file = stretch[i];
        if (const auto* folder = folders.opened(file.type)) {
            if (!*folder) {
                continue;
            }
            if (!force) {
                ahead[i].present = folders.has(file.type, extracted_file_name(file.entry.id));
                if (*ahead[i].present) {
                    continue;
                }
            }
        }
        hold_chain(database, file.entry, window);
        ahead[i].bytes = read_whole_file(database, file.entry.id, window);
    }
    return ahead;
}

int run_extract(const ExtractCommand& command) {
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    auto top = OutputFolder::open(command.directory);
    if (!top) {
        report_failure(command.archive, "extracting", top.error());
        return 1;
    }
    TypeFolders folders{*top};
    const std::vector<ListedFile> files = selected_files(*database, command.selection);
    Progress progress{files.size(), !command.quiet};
    ExtractCounts counts;
    const auto failed = [&](const Failure& failure) {
        ++counts.failed;
        progress.clear();
        report_failure(command.archive, failure.doing, failure.why);
    };
    dat::ReadWindow window{ordered_read_span};
    bool stopped = false;
    for (std::size_t first = 0; first < files.size() && !stopped;) {
        const std::size_t end = stretch_end(files, first);
        const std::span<const ListedFile> stretch{files.data() + first, end - first};
        std::vector<Ahead> ahead = read_ahead(*database, stretch, folders, command.force, window);
        first = end;
        for (std::size_t i = 0; i < stretch.size(); ++i) {
            const ListedFile& file = stretch[i];
            progress.update(counts.done(), counts.bytes);
            const std::string doing = "extracting " + format_id(file.entry.id);
            const auto& folder = folders.of(file.type);
            if (!folder) {
                failed({doing, folder.error()});
                continue;
            }
            const std::string name = extracted_file_name(file.entry.id);
            if (!command.force &&
                (ahead[i].present ? *ahead[i].present : folders.has(file.type, name))) {
                ++counts.skipped;
                continue;
            }
            auto bytes = ahead[i].bytes ? std::move(*ahead[i].bytes)
                                        : read_whole_file(*database, file.entry.id, window);
            if (!bytes) {
                failed(bytes.error());
                continue;
            }
            auto put = folder->put(name, *bytes, file.entry.timestamp, command.force);
            if (!put && put.error().out_of_space) {
                failed({doing, put.error().why + "; stopping: no room for the remaining files"});
                stopped = true;
                break;
            }
            if (!put) {
                failed({doing, put.error().why});
            } else if (*put) {
                ++counts.extracted;
                counts.bytes += bytes->size();
            } else {
                ++counts.skipped;  // another run put it there meanwhile
            }
        }
    }
    progress.clear();
    StandardOutput out;
    if (!command.quiet) {
        out.write(summary(counts, command.directory));
    }
    return out.finish(counts.failed == 0 ? 0 : 1);
}

void declare_extract(CLI::App& app, ExtractCommand& command) {
    add_path(app, "DIR", command.directory, "Where the files go (created if need be)");
    add_selection(app, command.selection);
    app.add_flag("--force", command.force,
                 "Replace files that are already there (a link is replaced, never "
                 "written through)");
    add_quiet(app, command.quiet, "the progress line and the summary");
}

}  // namespace

Subcommand extract_subcommand() {
    return archive_subcommand<ExtractCommand>(
        "extract",
        "Every file (expanded) to DIR/<TypeName>/<ID>.bin, dated as in the archive; existing "
        "files are kept",
        "extract portal.dat out --type clothing", declare_extract, run_extract);
}

}  // namespace tarnwick_tool
