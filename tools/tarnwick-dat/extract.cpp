#include <map>
#include <string>

#include "file_writing.hpp"
#include "ids.hpp"
#include "options.hpp"
#include "output.hpp"
#include "progress.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

struct ExtractCommand {
    std::filesystem::path archive;
    std::filesystem::path directory;
    std::optional<dat::DatFileType> type;
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

// `<ID>.bin`, the id as eight upper-case digits.
std::string file_name(const ListedFile& file) {
    return base::hex_upper(file.entry.id, 8) + ".bin";
}

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
            found = folders_.emplace(type, top_.subfolder(dat::file_type_name(type))).first;
        }
        return found->second;
    }

  private:
    const OutputFolder& top_;
    std::map<dat::DatFileType, std::expected<OutputFolder, std::string>> folders_;
};

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
    const std::vector<ListedFile> files = files_in_id_order(*database, command.type);
    Progress progress{files.size(), !command.quiet};
    ExtractCounts counts;
    const auto failed = [&](const Failure& failure) {
        ++counts.failed;
        progress.clear();
        report_failure(command.archive, failure.doing, failure.why);
    };
    for (const ListedFile& file : files) {
        progress.update(counts.done(), counts.bytes);
        const std::string doing = "extracting " + format_id(file.entry.id);
        const auto& folder = folders.of(file.type);
        if (!folder) {
            failed({doing, folder.error()});
            continue;
        }
        const std::string name = file_name(file);
        if (!command.force && folder->has(name)) {
            ++counts.skipped;
            continue;
        }
        auto bytes = read_whole_file(*database, file.entry.id);
        if (!bytes) {
            failed(bytes.error());
            continue;
        }
        auto put = folder->put(name, *bytes, file.entry.timestamp, command.force);
        if (!put && put.error().out_of_space) {
            failed({doing, put.error().why + "; stopping: no room for the remaining files"});
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
    progress.clear();
    StandardOutput out;
    if (!command.quiet) {
        out.write(summary(counts, command.directory));
    }
    return out.finish(counts.failed == 0 ? 0 : 1);
}

void declare_extract(CLI::App& app, ExtractCommand& command) {
    add_path(app, "DIR", command.directory, "Where the files go (created if need be)");
    add_type(app, command.type);
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
