#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "clothing_file.hpp"
#include "clothing_json.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "json_pointer_diff.hpp"
#include "options.hpp"
#include "ordered_reads.hpp"
#include "output.hpp"
#include "report.hpp"
#include "sha256.hpp"
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

// One archive's side of a listed file: its entry, and its expanded length and, for JSON, digest,
// or why it could not be read.
struct Side {
    ListedFile file;
    std::expected<std::uint64_t, std::string> size;
    std::optional<Sha256> sha256;
};

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
std::vector<std::string> clothing_fields(std::span<const std::uint8_t> old_bytes,
                                         std::span<const std::uint8_t> new_bytes,
                                         std::uint32_t id) {
    const ClothingReading old_reading = read_clothing_file(old_bytes, id);
    const ClothingReading new_reading = read_clothing_file(new_bytes, id);
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
    if (side.size) {
        object["size"] = *side.size;
        if (side.sha256) {
            object["sha256"] = sha256_text(*side.sha256);
        }
    } else {
        object["error"] = side.size.error();
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
        return side->size ? std::to_string(*side->size) : "?";
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
    if (old_side != nullptr && !old_side->size) {
        errors.push_back("old: " + old_side->size.error());
    }
    if (new_side != nullptr && !new_side->size) {
        errors.push_back("new: " + new_side->size.error());
    }
    return errors;
}

// One archive's chains, read in the order asked through one read-ahead window.
class SideReader {
  public:
    explicit SideReader(const dat::DatDatabase& database) : database_{database} {}

    // The stored bytes of `entry`'s chain, valid until the next call, or why they could not be
    // read.
    std::expected<std::span<const std::uint8_t>, std::string> stored(
        const dat::DatFileEntry& entry) {
        if (auto read = read_stored(database_, entry, window_, stored_); !read) {
            return std::unexpected{read_failure_text(database_, entry.id, read.error())};
        }
        return std::span<const std::uint8_t>{stored_};
    }

  private:
    const dat::DatDatabase& database_;
    dat::ReadWindow window_{ordered_read_span};
    std::vector<std::uint8_t> stored_;
};

// A file's expanded bytes: a view of its stored bytes when it is stored plain.
class Contents {
  public:
    static std::expected<Contents, std::string> of(
        const dat::DatFileEntry& entry,
        const std::expected<std::span<const std::uint8_t>, std::string>& stored) {
        if (!stored) {
            return std::unexpected{stored.error()};
        }
        if (!entry.is_compressed()) {
            return Contents{*stored, {}};
        }
        auto expanded = expand_stored(*stored);
        if (!expanded) {
            return std::unexpected{std::move(expanded.error())};
        }
        return Contents{{}, std::move(*expanded)};
    }

    std::span<const std::uint8_t> bytes() const {
        return plain_.empty() ? std::span<const std::uint8_t>{expanded_} : plain_;
    }

  private:
    Contents(std::span<const std::uint8_t> plain, std::vector<std::uint8_t> expanded)
        : plain_{plain}, expanded_{std::move(expanded)} {}

    std::span<const std::uint8_t> plain_;
    std::vector<std::uint8_t> expanded_;
};

using Read = std::expected<Contents, std::string>;

// A file the diff lists: how it changed, its sides, and what the change names (differing
// fields, read errors).
struct Found {
    Change change;
    std::optional<Side> old_side;
    std::optional<Side> new_side;
    std::vector<std::string> details;
};

// Compares the files of two archives one id at a time, reading each side through its own
// window. A file whose stored bytes are the same on both sides is measured, to learn that it
// expands whole, and expanded only when it is listed; only files that are listed are hashed,
// and only for JSON.
class Comparison {
  public:
    Comparison(const dat::DatDatabase& old_database, const dat::DatDatabase& new_database,
               bool digests)
        : old_reader_{old_database}, new_reader_{new_database}, digests_{digests} {}

    // What changed for the file whose sides are `old_file` and `new_file` (either null when
    // only the other archive holds it), or nothing when it is unchanged.
    std::optional<Found> compare(const ListedFile* old_file, const ListedFile* new_file) {
        if (old_file != nullptr && new_file != nullptr) {
            return compare_both(*old_file, *new_file);
        }
        const bool removed = new_file == nullptr;
        const ListedFile& file = removed ? *old_file : *new_file;
        const Read read =
            Contents::of(file.entry, (removed ? old_reader_ : new_reader_).stored(file.entry));
        Found found{removed ? Change::Removed : Change::Added, {}, {}, {}};
        (removed ? found.old_side : found.new_side) = side(file, read);
        return finished(std::move(found));
    }

  private:
    std::optional<Found> compare_both(const ListedFile& old_file, const ListedFile& new_file) {
        const auto old_stored = old_reader_.stored(old_file.entry);
        const auto new_stored = new_reader_.stored(new_file.entry);
        std::vector<std::string> names = metadata_differences(old_file.entry, new_file.entry);
        // The same stored bytes expand alike.
        if (old_stored && new_stored &&
            old_file.entry.is_compressed() == new_file.entry.is_compressed() &&
            std::ranges::equal(*old_stored, *new_stored)) {
            if (names.empty() && (!old_file.entry.is_compressed() || expands_whole(*old_stored))) {
                return std::nullopt;
            }
            const Read read = Contents::of(old_file.entry, old_stored);
            return finished(
                {Change::Metadata, side(old_file, read), side(new_file, read), std::move(names)});
        }
        const Read old_read = Contents::of(old_file.entry, old_stored);
        const Read new_read = Contents::of(new_file.entry, new_stored);
        Found found{Change::Changed, side(old_file, old_read), side(new_file, new_read), {}};
        if (!old_read || !new_read) {
            return finished(std::move(found));
        }
        if (std::ranges::equal(old_read->bytes(), new_read->bytes())) {
            if (names.empty()) {
                return std::nullopt;
            }
            found.change = Change::Metadata;
            found.details = std::move(names);
        } else if (old_file.type == dat::DatFileType::Clothing) {
            found.details =
                clothing_fields(old_read->bytes(), new_read->bytes(), old_file.entry.id);
        }
        return finished(std::move(found));
    }

    // A listed side: its length and, for JSON, its digest, or why it could not be read.
    Side side(const ListedFile& file, const Read& read) const {
        if (!read) {
            return {file, std::unexpected{read.error()}, std::nullopt};
        }
        Side listed{file, read->bytes().size(), std::nullopt};
        if (digests_) {
            if (auto digest = sha256(read->bytes())) {
                listed.sha256 = *digest;
            } else {
                listed.size = std::unexpected{std::move(digest.error())};
            }
        }
        return listed;
    }

    // A side that could not be read makes the change one of trouble, naming why.
    static Found finished(Found found) {
        const Side* old_side = found.old_side ? &*found.old_side : nullptr;
        const Side* new_side = found.new_side ? &*found.new_side : nullptr;
        if (auto errors = read_errors(old_side, new_side); !errors.empty()) {
            found.change = Change::Unreadable;
            found.details = std::move(errors);
        }
        return found;
    }

    SideReader old_reader_;
    SideReader new_reader_;
    bool digests_;
};

// A file's two sides, as matched by id.
struct Pair {
    const ListedFile* old_file;
    const ListedFile* new_file;
};

std::vector<Pair> paired(const std::vector<ListedFile>& old_files,
                         const std::vector<ListedFile>& new_files) {
    std::vector<Pair> pairs;
    pairs.reserve(std::max(old_files.size(), new_files.size()));
    auto old_file = old_files.begin();
    auto new_file = new_files.begin();
    while (old_file != old_files.end() || new_file != new_files.end()) {
        const bool old_first =
            new_file == new_files.end() ||
            (old_file != old_files.end() && old_file->entry.id < new_file->entry.id);
        const bool new_first =
            old_file == old_files.end() ||
            (new_file != new_files.end() && new_file->entry.id < old_file->entry.id);
        pairs.push_back({new_first ? nullptr : &*old_file++, old_first ? nullptr : &*new_file++});
    }
    return pairs;
}

// The order to compare pairs in: the old archive's files by offset, then the files only the new
// one holds by theirs. Where the new archive keeps the old one's layout, both are read front to
// back.
std::vector<std::size_t> reading_order(const std::vector<Pair>& pairs) {
    std::vector<std::size_t> order(pairs.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::stable_sort(order, {}, [&](std::size_t i) {
        const Pair& pair = pairs[i];
        return pair.old_file != nullptr ? std::pair{0, pair.old_file->entry.offset}
                                        : std::pair{1, pair.new_file->entry.offset};
    });
    return order;
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
    const std::vector<ListedFile> old_files = selected_files(*old_database, command.selection);
    const std::vector<ListedFile> new_files = selected_files(*new_database, command.selection);
    const std::vector<Pair> pairs = paired(old_files, new_files);
    const std::vector<std::size_t> order = reading_order(pairs);
    // With two cores, two stretches of the reading order on two threads, each with its windows.
    const auto cut = halving_cut(order.size(), [&](std::size_t i) {
        const Pair& pair = pairs[order[i]];
        return std::uint64_t{pair.old_file != nullptr ? pair.old_file->entry.size : 0} +
               (pair.new_file != nullptr ? pair.new_file->entry.size : 0);
    });
    const std::span<const std::size_t> stretches[] = {
        std::span{order}.first(cut.value_or(order.size())),
        std::span{order}.subspan(cut.value_or(order.size()))};
    std::vector<std::pair<std::size_t, Found>> listed_in[2];
    std::atomic<bool> stop{false};
    const auto compare_stretch = [&](std::size_t part) {
        Comparison comparison{*old_database, *new_database, command.format == Format::Json};
        for (const std::size_t index : stretches[part]) {
            if (stop.load(std::memory_order_relaxed)) {
                return;
            }
            if (auto found = comparison.compare(pairs[index].old_file, pairs[index].new_file)) {
                listed_in[part].emplace_back(index, std::move(*found));
            }
        }
    };
    if (cut) {
        run_two_stretches(compare_stretch, stop);
    } else {
        compare_stretch(0);
    }
    std::vector<std::pair<std::size_t, Found>> listed = std::move(listed_in[0]);
    std::ranges::move(listed_in[1], std::back_inserter(listed));
    std::ranges::sort(listed, {}, &std::pair<std::size_t, Found>::first);
    StandardOutput out;
    DiffReport report{command.format, out};
    for (const auto& [index, found] : listed) {
        if (out.failed()) {
            break;
        }
        report.entry(found.change, found.old_side ? &*found.old_side : nullptr,
                     found.new_side ? &*found.new_side : nullptr, found.details);
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
