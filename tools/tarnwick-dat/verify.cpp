#include "verify.hpp"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "clothing_file.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "manifest.hpp"
#include "options.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"
#include "tarnwick_base/little_endian.hpp"

namespace tarnwick_tool {

namespace {

struct VerifyCommand {
    std::filesystem::path archive;
    Format format = Format::Text;
    bool quiet = false;  // problems only, no summary
    std::optional<std::filesystem::path> manifest;
};

constexpr std::uint32_t link_length = 4;

using ProblemSink = std::function<void(const nlohmann::json&)>;

// Writes each problem as it is found, and the counts at the end; every JSON line says which of
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
    void file_read(std::size_t stored_bytes) {
        ++files_read_;
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
                           " leaves no room for a block's 4-byte link word");
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

// The blocks each file's chain claims, so that a block in two chains (cross-linked) is named,
// and read for the first only: however the chains overlap, verifying reads each block's payload
// at most once.
class BlockClaims {
  public:
    BlockClaims(const dat::DatDatabase& database) : database_{database} {}

    // Follows the chain of `entry` by its link words, claiming its blocks; the reason it may
    // not be read when a block is another file's or its own already.
    std::optional<std::string> claim(const dat::DatFileEntry& entry) {
        const std::uint32_t payload = database_.header().block_size - link_length;
        std::uint64_t remaining = entry.size;
        std::uint32_t block = entry.offset;
        while (remaining > 0) {
            const auto [owner, fresh] = owners_.try_emplace(block, entry.id);
            if (!fresh) {
                return owner->second == entry.id
                           ? "the chain reaches its block " + hex32(block) + " again"
                           : "block " + hex32(block) + " is also in the chain of file " +
                                 format_id(owner->second) + " (cross-linked)";
            }
            std::array<std::uint8_t, link_length> link{};
            if (remaining <= payload || !database_.source().read_exact_at_compat(link, block)) {
                break;  // the last block, or one that the read below names
            }
            block = tarnwick_base::load_le<std::uint32_t>(link);
            if (block == 0) {
                break;
            }
            remaining -= payload;
        }
        return std::nullopt;
    }

  private:
    const dat::DatDatabase& database_;
    std::unordered_map<std::uint32_t, std::uint32_t> owners_;
};

// The expander stops early on a malformed stream without saying so; the length it declared
// tells.
std::optional<std::string> short_expansion(std::span<const std::uint8_t> stored,
                                           std::span<const std::uint8_t> expanded) {
    if (stored.size() < 4) {
        return std::nullopt;
    }
    const auto declared = tarnwick_base::load_le<std::uint32_t>(stored.first<4>());
    if (expanded.size() == declared) {
        return std::nullopt;
    }
    return "expanded to " + std::to_string(expanded.size()) + " of the " +
           std::to_string(declared) + " bytes declared";
}

constexpr std::string_view manifest_step = "check manifest";

// Whether the file's expanded bytes have the digest the manifest gives them.
void check_digest(const Manifest& manifest, std::uint32_t id, std::span<const std::uint8_t> bytes,
                  VerifyReport& report) {
    const auto listed = manifest.find(id);
    if (listed == manifest.end()) {
        return;  // named as missing from the manifest already
    }
    const auto digest = sha256(bytes);
    if (!digest) {
        report.problem(id, manifest_step, digest.error());
    } else if (*digest != listed->second) {
        report.problem(id, manifest_step,
                       "SHA-256 " + sha256_text(*digest) + ", the manifest has " +
                           sha256_text(listed->second));
    }
}

void verify_file(const dat::DatDatabase& database, const ListedFile& file, BlockClaims& claims,
                 const Manifest* manifest, VerifyReport& report) {
    if (manifest != nullptr && !manifest->contains(file.entry.id)) {
        report.problem(file.entry.id, manifest_step, "not in the manifest");
    }
    const dat::DatFileEntry& entry = file.entry;
    if (auto overlap = claims.claim(entry)) {
        report.problem(entry.id, "read block chain", *overlap);
        return;
    }
    auto stored = database.read_file_data(entry.offset, entry.size);
    if (!stored) {
        report.problem(entry.id, "read block chain", stored.error().message());
        return;
    }
    report.file_read(stored->size());
    std::vector<std::uint8_t> bytes = std::move(*stored);
    if (entry.is_compressed()) {
        std::vector<std::uint8_t> expanded = dat::decompress_lrs(bytes);
        if (auto problem = short_expansion(bytes, expanded)) {
            report.problem(entry.id, "expand compressed file", *problem);
        }
        bytes = std::move(expanded);
    }
    if (file.type == dat::DatFileType::Clothing) {
        if (const auto reading = read_clothing_file(bytes, entry.id); reading.problem) {
            report.problem(entry.id, "parse clothing table", reading.problem->text);
        }
    }
    if (manifest != nullptr) {
        check_digest(*manifest, entry.id, bytes, report);
    }
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
    const std::vector<ListedFile> files = files_in_id_order(*database);
    BlockClaims claims{*database};
    for (const ListedFile& file : files) {
        verify_file(*database, file, claims, manifest, report);
        if (report.stopped()) {
            break;
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
