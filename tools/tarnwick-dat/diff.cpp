#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "clothing_file.hpp"
#include "clothing_json.hpp"
#include "file_digests.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "json_pointer_diff.hpp"
#include "options.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

using nlohmann::json;

// What changed from one archive to another, file by file on expanded bytes. Status as diff and
// cmp give it: 0 when nothing is listed, 1 when something is, 2 on trouble (an archive that
// does not open, a file that cannot be read, a failed write).
struct DiffCommand {
    std::filesystem::path old_archive;
    std::filesystem::path new_archive;
    FileSelection selection;
    Format format = Format::Text;
};

// One archive's side of a file: its entry and what reading it gave.
struct Side {
    ListedFile file;
    std::expected<FileDigest, std::string> digest;
};

std::vector<Side> read_sides(const dat::DatDatabase& database, const FileSelection& selection) {
    const std::vector<ListedFile> files = selected_files(database, selection);
    auto digests = file_digests(database, files);
    std::vector<Side> sides;
    sides.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        sides.push_back({files[i], std::move(digests[i])});
    }
    return sides;
}

enum class Change { Added, Removed, Changed, Metadata, Unreadable };

constexpr const char* change_names[] = {"added", "removed", "changed", "metadata", "unreadable"};
constexpr char change_marks[] = {'+', '-', 'M', '~', '!'};

struct Counts {
    std::size_t of[std::size(change_names)] = {};

    std::string text() const {
        std::string text;
        for (std::size_t i = 0; i < std::size(change_names); ++i) {
            if (i + 1 < std::size(change_names) || of[i] != 0) {
                text += (i == 0 ? "" : ", ") + std::to_string(of[i]) + " " + change_names[i];
            }
        }
        return text;
    }
};

// The entry fields whose difference makes a change of metadata only.
std::vector<std::string> metadata_differences(const dat::DatFileEntry& a,
                                              const dat::DatFileEntry& b) {
    std::vector<std::string> names;
    if (a.timestamp != b.timestamp) {
        names.emplace_back("timestamp");
    }
    if (a.version != b.version) {
        names.emplace_back("version");
    }
    if (a.is_compressed() != b.is_compressed()) {
        names.emplace_back("compressed");
    }
    if ((a.bit_flags & ~dat::DatFileEntry::compressed_flag) !=
        (b.bit_flags & ~dat::DatFileEntry::compressed_flag)) {
        names.emplace_back("bit_flags");
    }
    return names;
}

// The pointers into the clothing JSON of both sides where they differ, when both parse.
std::vector<std::string> clothing_fields(const dat::DatDatabase& old_database,
                                         const dat::DatDatabase& new_database, std::uint32_t id) {
    auto old_bytes = old_database.get_file(id);
    auto new_bytes = new_database.get_file(id);
    if (!old_bytes || !new_bytes) {
        return {};
    }
    const ClothingReading old_reading = read_clothing_file(*old_bytes, id);
    const ClothingReading new_reading = read_clothing_file(*new_bytes, id);
    if (!old_reading.table || old_reading.problem || !new_reading.table || new_reading.problem) {
        return {};
    }
    return json_pointer_diff(clothing_json(*old_reading.table), clothing_json(*new_reading.table));
}

json side_json(const Side& side) {
    const dat::DatFileEntry& entry = side.file.entry;
    json object = {
        {"stored_size", entry.size},    {"compressed", entry.is_compressed()},
        {"bit_flags", entry.bit_flags}, {"timestamp", iso_timestamp(entry.timestamp)},
        {"version", entry.version},
    };
    if (side.digest) {
        object["size"] = side.digest->size;
        object["sha256"] = sha256_text(side.digest->sha256);
    } else {
        object["error"] = side.digest.error();
    }
    return object;
}

// Lists the files of the two archives that differ, as they are found.
class DiffReport {
  public:
    DiffReport(Format format, StandardOutput& out) : format_{format}, out_{out} {}

    // `old_side` or `new_side` is null for a file only the other archive holds.
    void entry(Change change, const Side* old_side, const Side* new_side,
               const std::vector<std::string>& details) {
        const ListedFile& file = (old_side != nullptr ? old_side : new_side)->file;
        const std::string type{dat::file_type_name(file.type)};
        const auto index = static_cast<std::size_t>(change);
        ++by_type_[type].of[index];
        ++all_.of[index];
        if (format_ == Format::Json) {
            json object = {{"type", "entry"},
                           {"id", format_id(file.entry.id)},
                           {"file_type", type},
                           {"change", change_names[index]}};
            if (old_side != nullptr) {
                object["old"] = side_json(*old_side);
            }
            if (new_side != nullptr) {
                object["new"] = side_json(*new_side);
            }
            if (change == Change::Changed && !details.empty()) {
                object["fields"] = details;
            }
            out_.write(json_line(object));
            return;
        }
        char head[64];
        std::snprintf(head, sizeof head, "%c %s  %-19s ", change_marks[index],
                      format_id(file.entry.id).c_str(), type.c_str());
        std::string line = head + sizes(old_side, new_side);
        if (change == Change::Metadata) {
            line += "  (" + joined(details, ", ") + ")";
        }
        if (change == Change::Unreadable) {
            line += "  " + joined(details, "; ");
        }
        out_.write(line + "\n");
        if (change == Change::Changed) {
            for (const std::string& pointer : details) {
                out_.write("    " + pointer + "\n");
            }
        }
    }

    // Writes the counts; gives the exit status.
    int finish() {
        if (format_ == Format::Json) {
            json summary = {{"type", "summary"}};
            for (std::size_t i = 0; i < std::size(change_names); ++i) {
                summary[change_names[i]] = all_.of[i];
            }
            out_.write(json_line(summary));
        } else {
            for (const auto& [type, counts] : by_type_) {
                out_.write(type + ": " + counts.text() + "\n");
            }
            out_.write("in all: " + all_.text() + "\n");
        }
        if (all_.of[static_cast<std::size_t>(Change::Unreadable)] != 0) {
            return 2;
        }
        for (std::size_t count : all_.of) {
            if (count != 0) {
                return 1;
            }
        }
        return 0;
    }

  private:
    static std::string size_text(const Side* side) {
        return side->digest ? std::to_string(side->digest->size) : "?";
    }
    static std::string sizes(const Side* old_side, const Side* new_side) {
        if (old_side == nullptr || new_side == nullptr) {
            return size_text(old_side != nullptr ? old_side : new_side);
        }
        const std::string old_size = size_text(old_side);
        const std::string new_size = size_text(new_side);
        return old_size == new_size ? old_size : old_size + " → " + new_size;
    }
    static std::string joined(const std::vector<std::string>& parts, std::string_view between) {
        std::string text;
        for (const std::string& part : parts) {
            text += (text.empty() ? "" : std::string{between}) + part;
        }
        return text;
    }

    Format format_;
    StandardOutput& out_;
    std::map<std::string, Counts> by_type_;
    Counts all_;
};

// Why either side could not be read; empty when both were.
std::vector<std::string> read_errors(const Side* old_side, const Side* new_side) {
    std::vector<std::string> errors;
    if (old_side != nullptr && !old_side->digest) {
        errors.push_back("old: " + old_side->digest.error());
    }
    if (new_side != nullptr && !new_side->digest) {
        errors.push_back("new: " + new_side->digest.error());
    }
    return errors;
}

void compare(const dat::DatDatabase& old_database, const dat::DatDatabase& new_database,
             const Side* old_side, const Side* new_side, DiffReport& report) {
    if (auto errors = read_errors(old_side, new_side); !errors.empty()) {
        report.entry(Change::Unreadable, old_side, new_side, errors);
    } else if (new_side == nullptr) {
        report.entry(Change::Removed, old_side, nullptr, {});
    } else if (old_side == nullptr) {
        report.entry(Change::Added, nullptr, new_side, {});
    } else if (old_side->digest->size != new_side->digest->size ||
               old_side->digest->sha256 != new_side->digest->sha256) {
        const bool clothing = old_side->file.type == dat::DatFileType::Clothing;
        report.entry(Change::Changed, old_side, new_side,
                     clothing ? clothing_fields(old_database, new_database, old_side->file.entry.id)
                              : std::vector<std::string>{});
    } else if (auto names = metadata_differences(old_side->file.entry, new_side->file.entry);
               !names.empty()) {
        report.entry(Change::Metadata, old_side, new_side, names);
    }
}

int run_diff(const DiffCommand& command) {
    const auto old_database = open_archive(command.old_archive);
    if (!old_database) {
        return 2;
    }
    const auto new_database = open_archive(command.new_archive);
    if (!new_database) {
        return 2;
    }
    const std::vector<Side> old_sides = read_sides(*old_database, command.selection);
    const std::vector<Side> new_sides = read_sides(*new_database, command.selection);
    StandardOutput out;
    DiffReport report{command.format, out};
    auto old_side = old_sides.begin();
    auto new_side = new_sides.begin();
    while ((old_side != old_sides.end() || new_side != new_sides.end()) && !out.failed()) {
        const bool old_first =
            new_side == new_sides.end() ||
            (old_side != old_sides.end() && old_side->file.entry.id < new_side->file.entry.id);
        const bool new_first =
            old_side == old_sides.end() ||
            (new_side != new_sides.end() && new_side->file.entry.id < old_side->file.entry.id);
        const Side* old_entry = new_first ? nullptr : &*old_side++;
        const Side* new_entry = old_first ? nullptr : &*new_side++;
        compare(*old_database, *new_database, old_entry, new_entry, report);
    }
    const int status = out.finish(report.finish());
    return out.failed() ? 2 : status;
}

}  // namespace

Subcommand diff_subcommand() {
    return command_subcommand<DiffCommand>(
        "diff",
        "Files added (+), removed (-), changed (M) or changed in metadata only (~) from OLD to "
        "NEW, compared on expanded bytes; status 0 when none, 1 when some, 2 on trouble",
        "diff old/portal.dat portal.dat --type clothing",
        [](CLI::App& app, DiffCommand& command) {
            add_path(app, "OLD", command.old_archive, "The archive before");
            add_path(app, "NEW", command.new_archive, "The archive after");
            add_selection(app, command.selection);
            add_format(app, command.format, "json (one object per line, tagged by \"type\")");
        },
        run_diff);
}

}  // namespace tarnwick_tool
