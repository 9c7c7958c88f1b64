#include "verify.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <iterator>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "clothing_file.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "manifest.hpp"
#include "options.hpp"
#include "ordered_reads.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

struct VerifyCommand {
    std::filesystem::path archive;
    Format format = Format::Text;
    bool quiet = false;  // problems only, no summary
    std::optional<std::filesystem::path> manifest;
};

// The link word that begins each block, as the archive's layout gives it.
constexpr auto link_length = static_cast<std::uint32_t>(dat::dat_link_word_length);

using ProblemSink = std::function<void(const nlohmann::json&)>;

// Writes each problem as it is reported, and the counts at the end; every JSON line says which of
// the two it is. With a sink, each problem goes to it as its JSON object instead.
class VerifyReport {
  public:
    VerifyReport(const VerifyCommand& command, StandardOutput& out, ProblemSink sink = {})
        : format_{sink ? Format::Json : command.format},
          quiet_{command.quiet},
          out_{out},
          sink_{std::move(sink)} {}

    // A problem of the file `id`, or of the archive as a whole when there is none.
    void problem(std::optional<std::uint32_t> id, std::string_view step, const std::string& error) {
        ++problems_;
        if (format_ == Format::Json) {
            const nlohmann::json line = {{"type", "problem"},
                                         {"id", id ? nlohmann::json(format_id(*id)) : nullptr},
                                         {"step", step},
                                         {"error", error}};
            if (sink_) {
                sink_(line);
            } else {
                out_.write(json_line(line));
            }
        } else {
            out_.write((id ? format_id(*id) : "archive") + ": " + std::string{step} + ": " + error +
                       "\n");
        }
    }
    bool stopped() const { return out_.failed(); }
    std::size_t problems() const { return problems_; }
    void files_read(std::size_t files, std::uint64_t stored_bytes) {
        files_read_ += files;
        bytes_ += stored_bytes;
    }
    int finish(std::size_t files) {
        if (format_ == Format::Json) {
            out_.write(json_line({{"type", "summary"},
                                  {"files", files},
                                  {"files_read", files_read_},
                                  {"bytes", bytes_},
                                  {"problems", problems_}}));
        } else if (!quiet_) {
            out_.write(std::to_string(files_read_) + " of " + std::to_string(files) +
                       " files read, " + std::to_string(bytes_) + " bytes, " +
                       std::to_string(problems_) + (problems_ == 1 ? " problem\n" : " problems\n"));
        }
        return problems_ == 0 ? 0 : 1;
    }

  private:
    Format format_;
    bool quiet_;
    StandardOutput& out_;
    ProblemSink sink_;
    std::size_t files_read_ = 0;
    std::uint64_t bytes_ = 0;
    std::size_t problems_ = 0;
};

std::string hex32(std::uint32_t value) {
    return "0x" + base::hex_upper(value, 8);
}

// What the header says that cannot be so of an archive this long.
void check_header(const dat::DatHeader& header, std::uint64_t length, VerifyReport& report) {
    constexpr std::string_view step = "check header";
    if (header.magic != dat::DatHeader::signature) {
        report.problem({}, step,
                       "magic " + hex32(header.magic) + " is not an archive's (" +
                           hex32(dat::DatHeader::signature) + "): this is not an archive");
    }
    if (header.block_size <= link_length) {
        report.problem({}, step,
                       "block size " + std::to_string(header.block_size) +
                           " leaves no room for a block's " + std::to_string(link_length) +
                           "-byte link word");
    }
    if (header.file_size != length) {
        report.problem({}, step,
                       "the header records " + std::to_string(header.file_size) +
                           " bytes, the file has " + std::to_string(length));
    }
    if (header.root_offset >= length) {
        report.problem({}, step,
                       "the directory's root " + hex32(header.root_offset) +
                           " lies outside the file (" + std::to_string(length) + " bytes)");
    }
}

// Follows the chain of `entry` by its link words as `link_at(block, remaining)` gives them
// (nothing when the word cannot be read), handing each block to `claim`, which tells whether the
// block was free. Gives the first block refused. A link that cannot be read, or is 0, ends the
// walk: the read of the chain names what is wrong there.
template <class Claim, class LinkAt>
std::optional<std::uint32_t> first_refused_block(std::uint32_t block_size,
                                                 const dat::DatFileEntry& entry, Claim&& claim,
                                                 LinkAt&& link_at) {
    const std::uint32_t payload = block_size - link_length;
    std::uint64_t remaining = entry.size;
    std::uint32_t block = entry.offset;
    while (remaining > 0) {
        if (!claim(block)) {
            return block;
        }
        if (remaining <= payload) {
            break;  // the last block
        }
        const std::optional<std::uint32_t> link = link_at(block, remaining);
        if (!link || *link == 0) {
            break;
        }
        block = *link;
        remaining -= payload;
    }
    return std::nullopt;
}

std::uint32_t load_link(const std::uint8_t* bytes) {
    return base::load_le<std::uint32_t>(
        std::span<const std::uint8_t, link_length>{bytes, link_length});
}

// The link word at `block`, read on its own.
std::optional<std::uint32_t> read_link(const dat::DatDatabase& database, std::uint32_t block) {
    std::array<std::uint8_t, link_length> link{};
    if (!database.source().read_exact_at_compat(link, block)) {
        return std::nullopt;
    }
    return load_link(link.data());
}

// The blocks each file's chain claims in id order, so that a block in two chains (cross-linked)
// is named, and read for the first only: however the chains overlap, verifying reads each
// block's payload at most once.
class BlockClaims {
  public:
    BlockClaims(const dat::DatDatabase& database) : database_{database} {}

    // Claims the blocks of `entry`'s chain, each link word read on its own; the reason it may
    // not be read when a block is another file's or its own already.
    std::optional<std::string> claim(const dat::DatFileEntry& entry) {
        std::uint32_t owner = entry.id;
        const auto refused = first_refused_block(
            database_.header().block_size, entry,
            [&](std::uint32_t block) {
                const auto [claimed, fresh] = owners_.try_emplace(block, entry.id);
                owner = claimed->second;
                return fresh;
            },
            [&](std::uint32_t block, std::uint64_t) { return read_link(database_, block); });
        if (!refused) {
            return std::nullopt;
        }
        return owner == entry.id ? "the chain reaches its block " + hex32(*refused) + " again"
                                 : "block " + hex32(*refused) + " is also in the chain of file " +
                                       format_id(owner) + " (cross-linked)";
    }

  private:
    const dat::DatDatabase& database_;
    std::unordered_map<std::uint32_t, std::uint32_t> owners_;
};

// Whether a block was claimed, for the walk in offset order, which needs no more: one bit per
// block where blocks lie on multiples of the block size (as archives are written), a set for the
// others. Claims come from two threads at once; of two claims of one block, exactly one finds it
// free.
class ClaimedBlocks {
  public:
    explicit ClaimedBlocks(const dat::DatDatabase& database)
        : block_size_{database.header().block_size} {
        if (block_size_ > link_length && database.file_length() / block_size_ < max_bits) {
            blocks_ = database.file_length() / block_size_ + 1;
            words_ = std::make_unique<std::atomic<std::uint64_t>[]>((blocks_ + 63) / 64);
        }
    }

    // Whether `block` was free until now.
    bool claim(std::uint32_t block) {
        if (words_ && block % block_size_ == 0 && block / block_size_ < blocks_) {
            const std::uint64_t index = block / block_size_;
            const std::uint64_t bit = std::uint64_t{1} << (index % 64);
            return (words_[index / 64].fetch_or(bit, std::memory_order_relaxed) & bit) == 0;
        }
        const std::scoped_lock lock{others_mutex_};
        return others_.insert(block).second;
    }

  private:
    static constexpr std::uint64_t max_bits = std::uint64_t{1} << 30;
    std::uint32_t block_size_;
    std::uint64_t blocks_ = 0;
    std::unique_ptr<std::atomic<std::uint64_t>[]> words_;
    std::mutex others_mutex_;
    std::unordered_set<std::uint32_t> others_;
};

// The link words of one chain for the walk in offset order: from the bytes its read left in the
// window. While the chain has gone from each block to the next one, a link beyond those bytes
// reads on from there, as the read of a chain does; any other is read on its own, so that a
// scattered chain costs no more reads than in id order.
class WindowLinks {
  public:
    WindowLinks(const dat::DatDatabase& database, dat::ReadWindow& window)
        : database_{database}, window_{window} {}

    std::optional<std::uint32_t> operator()(std::uint32_t block, std::uint64_t remaining) {
        const std::uint32_t block_size = database_.header().block_size;
        one_run_ = one_run_ && (!last_ || block == std::uint64_t{*last_} + block_size);
        last_ = block;
        if (!window_.holds(block, link_length) && one_run_) {
            window_.fill(database_.source(), block,
                         static_cast<std::size_t>(std::min<std::uint64_t>(
                             chain_run_length(remaining, block_size), ordered_read_span)));
        }
        if (!window_.holds(block, link_length)) {
            return read_link(database_, block);
        }
        return load_link(window_.at(block));
    }

  private:
    const dat::DatDatabase& database_;
    dat::ReadWindow& window_;
    std::optional<std::uint32_t> last_;
    bool one_run_ = true;
};

constexpr std::string_view manifest_step = "check manifest";

// A problem of the file being checked: the step that found it and what it found.
using FileProblem = std::function<void(std::string_view step, const std::string& error)>;

// Whether the file's expanded bytes have the digest the manifest gives them.
void check_digest(const Manifest& manifest, std::uint32_t id, std::span<const std::uint8_t> bytes,
                  const FileProblem& problem) {
    const auto listed = manifest.find(id);
    if (listed == manifest.end()) {
        return;  // named as missing from the manifest already
    }
    const auto digest = sha256(bytes);
    if (!digest) {
        problem(manifest_step, digest.error());
    } else if (*digest != listed->second) {
        problem(manifest_step, "SHA-256 " + sha256_text(*digest) + ", the manifest has " +
                                   sha256_text(listed->second));
    }
}

// Whether a check reads the file's expanded bytes: a clothing table's, or every file's against a
// manifest.
bool expanded_bytes_wanted(const ListedFile& file, const Manifest* manifest) {
    return file.type == dat::DatFileType::Clothing || manifest != nullptr;
}

// Whether any check needs the file's stored bytes (a plain file's chain need only read whole; a
// compressed one is measured at least).
bool is_looked_at(const ListedFile& file, const Manifest* manifest) {
    return file.entry.is_compressed() || expanded_bytes_wanted(file, manifest);
}

// What is checked of a file once its chain was read: its expansion, its clothing table, its
// digest.
void check_contents(const ListedFile& file, std::span<const std::uint8_t> stored,
                    const Manifest* manifest, const FileProblem& problem) {
    std::vector<std::uint8_t> expanded;
    std::span<const std::uint8_t> bytes = stored;
    if (file.entry.is_compressed()) {
        // The expander stops early on a malformed stream without saying so; the length it
        // declared tells.
        const bool bytes_wanted = expanded_bytes_wanted(file, manifest);
        if (bytes_wanted) {
            expanded = dat::decompress_lrs(stored);
            bytes = expanded;
        }
        const std::size_t length =
            bytes_wanted ? expanded.size() : dat::lrs_expanded_length(stored);
        if (auto shortfall = short_expansion_text(length, dat::declared_lrs_size(stored))) {
            problem("expand compressed file", *shortfall);
        }
    }
    if (file.type == dat::DatFileType::Clothing) {
        if (const auto reading = read_clothing_file(bytes, file.entry.id); reading.problem) {
            problem("parse clothing table", reading.problem->text);
        }
    }
    if (manifest != nullptr) {
        check_digest(*manifest, file.entry.id, bytes, problem);
    }
}

void check_listed(const Manifest* manifest, std::uint32_t id, VerifyReport& report) {
    if (manifest != nullptr && !manifest->contains(id)) {
        report.problem(id, manifest_step, "not in the manifest");
    }
}

constexpr std::string_view read_step = "read block chain";

// One file in id order: its blocks claimed with a read for each link word, its chain read on
// its own.
void verify_file(const dat::DatDatabase& database, const ListedFile& file, BlockClaims& claims,
                 const Manifest* manifest, VerifyReport& report) {
    const dat::DatFileEntry& entry = file.entry;
    check_listed(manifest, entry.id, report);
    if (auto overlap = claims.claim(entry)) {
        report.problem(entry.id, read_step, *overlap);
        return;
    }
    auto stored = database.read_file_data(entry.offset, entry.size);
    if (!stored) {
        report.problem(entry.id, read_step, stored.error().message());
        return;
    }
    report.files_read(1, stored->size());
    check_contents(file, *stored, manifest, [&](std::string_view step, const std::string& error) {
        report.problem(entry.id, step, error);
    });
}

// A problem found in the walk in offset order, kept to be reported in id order.
struct Found {
    std::size_t file;
    std::string_view step;
    std::string error;
};

// One thread's stretch of the walk in offset order, and what it found and read there.
struct Stretch {
    std::span<const std::size_t> order;
    std::vector<Found> found;
    std::size_t files_read = 0;
    std::uint64_t bytes_read = 0;
    bool claimed_twice = false;
};

// Reads the files of `stretch` in its order through a window of its own, claiming their blocks
// in `claimed`. Stops when a block is claimed twice, here or (`stop`) in the other stretch.
void verify_stretch(const dat::DatDatabase& database, std::span<const ListedFile> files,
                    const Manifest* manifest, ClaimedBlocks& claimed, std::atomic<bool>& stop,
                    Stretch& stretch) {
    dat::ReadWindow window{ordered_read_span};
    std::vector<std::uint8_t> stored;
    for (const std::size_t index : stretch.order) {
        if (stop.load(std::memory_order_relaxed)) {
            return;
        }
        const dat::DatFileEntry& entry = files[index].entry;
        const bool looked_at = is_looked_at(files[index], manifest);
        const auto read = looked_at ? read_stored(database, entry, window, stored)
                                    : check_stored(database, entry, window);
        if (first_refused_block(
                database.header().block_size, entry,
                [&](std::uint32_t block) { return claimed.claim(block); },
                WindowLinks{database, window})) {
            stretch.claimed_twice = true;
            stop = true;
            return;
        }
        const auto problem = [&](std::string_view step, const std::string& error) {
            stretch.found.push_back({index, step, error});
        };
        if (!read) {
            problem(read_step, read.error().message());
            continue;
        }
        ++stretch.files_read;
        stretch.bytes_read += entry.size;
        if (looked_at) {
            check_contents(files[index], stored, manifest, problem);
        }
    }
}

// Every file read in ascending offset order, in two stretches of about as many stored bytes on
// two threads when there are two cores, each through its own large window, the claims' link
// words taken from the bytes read; the problems are kept and reported afterwards in id order,
// as the walk in id order reports them. Gives false, having reported nothing, when a block is
// claimed twice: which chain is named for it depends on the order of claiming, so then the
// files are gone through in id order instead.
bool verify_in_offset_order(const dat::DatDatabase& database, std::span<const ListedFile> files,
                            const Manifest* manifest, VerifyReport& report) {
    if (database.header().block_size <= link_length) {
        return false;  // no chain can be read; the walk in id order names each
    }
    const std::vector<std::size_t> order = offset_order(files);
    const auto cut =
        halving_cut(order.size(), [&](std::size_t i) { return files[order[i]].entry.size; });
    Stretch parts[2];
    parts[0].order = std::span{order}.first(cut.value_or(order.size()));
    parts[1].order = std::span{order}.subspan(cut.value_or(order.size()));
    ClaimedBlocks claimed{database};
    std::atomic<bool> stop{false};
    const auto stretch = [&](std::size_t part) {
        verify_stretch(database, files, manifest, claimed, stop, parts[part]);
    };
    if (cut) {
        run_two_stretches(stretch, stop);
    } else {
        stretch(0);
    }
    if (parts[0].claimed_twice || parts[1].claimed_twice) {
        return false;
    }
    std::vector<Found> found = std::move(parts[0].found);
    std::ranges::move(parts[1].found, std::back_inserter(found));
    const std::size_t files_read = parts[0].files_read + parts[1].files_read;
    const std::uint64_t bytes_read = parts[0].bytes_read + parts[1].bytes_read;
    // Each file's problems were kept together, in the order found.
    std::ranges::stable_sort(found, {}, &Found::file);
    auto next = found.begin();
    for (std::size_t index = 0; index < files.size(); ++index) {
        const std::uint32_t id = files[index].entry.id;
        check_listed(manifest, id, report);
        for (; next != found.end() && next->file == index; ++next) {
            report.problem(id, next->step, next->error);
        }
        if (report.stopped()) {
            break;
        }
    }
    report.files_read(files_read, bytes_read);
    return true;
}

// Checks the header, opens the archive and reads every file, comparing digests with `manifest`
// when given; the number of files, or why the archive did not open (a problem reported already).
std::expected<std::size_t, Failure> check_archive(const std::filesystem::path& path,
                                                  const Manifest* manifest, VerifyReport& report) {
    const HeaderRead header = read_header_only(path);
    if (header.header) {
        check_header(*header.header, header.length, report);
    }
    auto database = dat::DatDatabase::open(path);
    if (!database) {
        Failure failure = open_failure(path, database.error());
        report.problem({}, failure.doing, failure.why);
        return std::unexpected{std::move(failure)};
    }
    std::vector<ListedFile> files;
    for (const dat::DatFileEntry& entry : database->entries()) {
        files.push_back({entry, database->type_of(entry.id)});
    }
    if (!verify_in_offset_order(*database, files, manifest, report)) {
        BlockClaims claims{*database};
        for (const ListedFile& file : files) {
            verify_file(*database, file, claims, manifest, report);
            if (report.stopped()) {
                break;
            }
        }
    }
    if (manifest != nullptr) {
        for (const auto& [id, digest] : *manifest) {
            if (!database->files().contains(id)) {
                report.problem(id, manifest_step, "in the manifest, not in the archive");
            }
        }
    }
    return files.size();
}

int run_verify(const VerifyCommand& command) {
    std::optional<Manifest> manifest;
    if (command.manifest) {
        auto read = read_manifest(*command.manifest);
        if (!read) {
            report_error(read.error());
            return 2;
        }
        manifest = std::move(*read);
    }
    StandardOutput out;
    VerifyReport report{command, out};
    const auto files = check_archive(command.archive, manifest ? &*manifest : nullptr, report);
    if (!files) {
        report_failure(command.archive, files.error().doing, files.error().why);
    }
    return out.finish(report.finish(files.value_or(0)));
}

void declare_verify(CLI::App& app, VerifyCommand& command) {
    add_format(app, command.format, "json (one object per line, tagged by \"type\")");
    add_quiet(app, command.quiet, "the summary line of the text format");
    app.add_option("--manifest", command.manifest,
                   "Also compare every file's SHA-256 with this manifest (as manifest writes "
                   "it); a malformed line is a usage error (status 2)");
}

}  // namespace

std::size_t verify_archive(const std::filesystem::path& path, const ProblemSink& problem) {
    StandardOutput unused;
    VerifyReport report{VerifyCommand{}, unused, problem};
    static_cast<void>(check_archive(path, nullptr, report));
    return report.problems();
}

Subcommand verify_subcommand() {
    return archive_subcommand<VerifyCommand>(
        "verify",
        "Checks the header, reads every file once (blocks claimed by two chains are named), "
        "expands the compressed ones, parses every clothing table; lists every problem and "
        "the counts (status 1 when there is any problem)",
        "verify portal.dat --format json", declare_verify, run_verify);
}

}  // namespace tarnwick_tool
