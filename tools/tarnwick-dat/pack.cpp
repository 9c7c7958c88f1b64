#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <random>
#include <set>
#include <string>

#include "archive.hpp"
#include "ids.hpp"
#include "options.hpp"
#include "output.hpp"
#include "pack_folder.hpp"
#include "report.hpp"
#include "subcommand.hpp"
#include "tarnwick_dat/compress.hpp"
#include "tarnwick_dat/writer.hpp"

namespace tarnwick_tool {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

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

// A new archive's header: the kind, block size, versions and version string of `source`, or a
// portal archive's with block size 1024 and versions 0; no free blocks; root and length are
// set when they are known.
dat::DatHeader new_header(const dat::DatDatabase* source, dat::DatWriter& writer) {
    dat::DatHeader header = writer.header();
    if (source != nullptr) {
        header = source->header();
        header.file_size = 0;
        header.root_offset = 0;
        header.free_head = header.free_tail = header.free_count = 0;
        header.new_lru = header.old_lru = header.use_lru = 0;
    }
    return header;
}

// Whether the two paths name one file, links followed: then writing one would replace the
// other.
bool same_file(const fs::path& a, const fs::path& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The new archive while it is written: a file of its own beside OUT, removed unless it was put
// in place.
class PartFile {
  public:
    static std::expected<PartFile, std::string> create(const fs::path& out,
                                                       std::uint32_t block_size) {
        std::random_device random;
        const fs::path folder = out.parent_path().empty() ? fs::path{"."} : out.parent_path();
        for (int attempt = 0;; ++attempt) {
            // Appended: g++ 12 warns falsely about an overlapping copy in "." + name.
            std::string name = ".";
            name += out.filename().string();
            name += ".";
            name += base::hex_upper(random(), 8);
            name += ".part";
            const fs::path path = folder / name;
            auto writer = dat::DatWriter::create_new(path, block_size);
            if (writer) {
                return PartFile{std::move(*writer), path};
            }
            const auto* failure = std::get_if<dat::DatError::PathError>(&writer.error().kind());
            if (attempt == 100 || failure == nullptr ||
                failure->source.kind() != base::IoErrorKind::AlreadyExists) {
                return std::unexpected{writer.error().message()};
            }
        }
    }
    PartFile(PartFile&& other) noexcept
        : writer_{std::move(other.writer_)}, path_{std::exchange(other.path_, {})} {}
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    PartFile& operator=(PartFile&&) = delete;
    ~PartFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }

    dat::DatWriter& writer() { return writer_; }

    // Ends the file and renames it to `out`.
    std::expected<void, std::string> put_in_place(const fs::path& out) {
        auto done = writer_.finish();
        if (done) {
            done = writer_.sync();
        }
        if (!done) {
            return std::unexpected{path_.string() + ": " + done.error().message()};
        }
        if (::rename(path_.c_str(), out.c_str()) != 0) {
            return std::unexpected{"cannot rename " + path_.string() + " to " + out.string() +
                                   ": " + dat::IoError::from_last_errno().display()};
        }
        path_.clear();
        return {};
    }

  private:
    PartFile(dat::DatWriter writer, fs::path path)
        : writer_{std::move(writer)}, path_{std::move(path)} {}

    dat::DatWriter writer_;
    fs::path path_;
};

// What becomes of one id of the new archive.
struct Planned {
    std::uint32_t id = 0;
    const dat::DatFileEntry* kept = nullptr;  // the source archive's entry, when it has one
    const fs::path* given = nullptr;          // the folder's file, when there is one
};

struct PackCounts {
    std::size_t kept = 0;
    std::size_t replaced = 0;
    std::size_t added = 0;
    std::size_t removed = 0;
};

class Packer {
  public:
    Packer(const PackCommand& command, const dat::DatDatabase* source, dat::DatWriter& writer)
        : command_{command}, source_{source}, writer_{writer} {}

    std::expected<void, std::string> pack(const Planned& file, PackCounts& counts) {
        if (file.given != nullptr) {
            auto given = read_folder_file(*file.given);
            if (!given) {
                return std::unexpected{given.error()};
            }
            const dat::DatFileEntry kept = file.kept != nullptr ? *file.kept : dat::DatFileEntry{};
            ++(file.kept != nullptr ? counts.replaced : counts.added);
            return store(file.id, given->bytes, wants_compression(file.kept), kept.bit_flags,
                         given->modified, kept.version);
        }
        ++counts.kept;
        const dat::DatFileEntry& entry = *file.kept;
        const bool compress = wants_compression(&entry);
        if (compress == entry.is_compressed()) {
            // Stored as it was: the bytes need no second expansion and compression.
            auto stored = source_->read_file_data(entry.offset, entry.size);
            if (!stored) {
                return std::unexpected{format_id(entry.id) + ": " + stored.error().message()};
            }
            return put(entry.id, *stored, entry.bit_flags, entry.timestamp, entry.version);
        }
        auto bytes = read_whole_file(*source_, entry.id);
        if (!bytes) {
            return std::unexpected{bytes.error().doing + ": " + bytes.error().why};
        }
        return store(entry.id, *bytes, compress, entry.bit_flags, entry.timestamp, entry.version);
    }

    std::expected<void, std::string> finish(PartFile& part) {
        if (auto root = writer_.write_directory(entries_); !root) {
            return std::unexpected{root.error().message()};
        }
        if (writer_.end_offset() > std::numeric_limits<std::uint32_t>::max()) {
            return std::unexpected{std::string{"the archive would exceed 4 GiB"}};
        }
        writer_.header().file_size = static_cast<std::uint32_t>(writer_.end_offset());
        return part.put_in_place(command_.out);
    }

  private:
    bool wants_compression(const dat::DatFileEntry* kept) const {
        switch (command_.compression) {
            case Compression::None:
                return false;
            case Compression::All:
                return true;
            case Compression::Auto:
                break;
        }
        return kept != nullptr && kept->is_compressed();
    }

    // Stores `bytes` plain or compressed, after checking that the compressed form expands back.
    std::expected<void, std::string> store(std::uint32_t id, const Bytes& bytes, bool compress,
                                           std::uint32_t flags, std::uint32_t timestamp,
                                           std::uint32_t version) {
        constexpr std::uint32_t compressed = dat::DatFileEntry::compressed_flag;
        if (!compress) {
            return put(id, bytes, flags & ~compressed, timestamp, version);
        }
        const Bytes stored = dat::compress_lrs(bytes);
        if (dat::decompress_lrs(stored) != bytes) {
            return std::unexpected{format_id(id) + ": its compressed form does not expand back"};
        }
        return put(id, stored, flags | compressed, timestamp, version);
    }

    std::expected<void, std::string> put(std::uint32_t id, const Bytes& stored, std::uint32_t flags,
                                         std::uint32_t timestamp, std::uint32_t version) {
        auto entry = writer_.store_file(
            id, stored, {.extra_flags = flags, .timestamp = timestamp, .version = version});
        if (!entry) {
            return std::unexpected{format_id(id) + ": " + entry.error().message()};
        }
        entries_.push_back(*entry);
        return {};
    }

    const PackCommand& command_;
    const dat::DatDatabase* source_;
    dat::DatWriter& writer_;
    std::vector<dat::DatFileEntry> entries_;
};

// Every id of the new archive in ascending order, or why the removals do not fit.
std::expected<std::vector<Planned>, std::string> plan(const PackCommand& command,
                                                      const dat::DatDatabase* source,
                                                      const PackFolder& folder,
                                                      PackCounts& counts) {
    const std::set<std::uint32_t> removed{command.remove.begin(), command.remove.end()};
    for (std::uint32_t id : removed) {
        if (folder.contains(id)) {
            return std::unexpected{format_id(id) + " is to be removed and is in " +
                                   command.directory.string()};
        }
        if (source == nullptr || !source->files().contains(id)) {
            return std::unexpected{format_id(id) + " is to be removed and is not in " +
                                   (command.from ? command.from->string() : "an archive")};
        }
    }
    counts.removed = removed.size();
    std::map<std::uint32_t, Planned> files;
    if (source != nullptr) {
        for (const auto& [id, entry] : source->files()) {
            if (!removed.contains(id)) {
                files[id] = {id, &entry, nullptr};
            }
        }
    }
    for (const auto& [id, path] : folder) {
        Planned& file = files[id];
        file.id = id;
        file.given = &path;
    }
    std::vector<Planned> planned;
    planned.reserve(files.size());
    for (const auto& [id, file] : files) {
        planned.push_back(file);
    }
    return planned;
}

int run_pack(const PackCommand& command) {
    auto folder = list_pack_folder(command.directory);
    if (!folder) {
        for (const std::string& refused : folder.error()) {
            report_error(refused);
        }
        return 1;
    }
    std::optional<dat::DatDatabase> source;
    if (command.from) {
        if (same_file(*command.from, command.out)) {
            report_error("not writing " + command.out.string() + ": it is the archive " +
                         command.from->string());
            return 2;
        }
        source = open_archive(*command.from);
        if (!source) {
            return 1;
        }
    }
    PackCounts counts;
    const auto planned = plan(command, source ? &*source : nullptr, *folder, counts);
    if (!planned) {
        report_error(planned.error());
        return 1;
    }
    auto part = PartFile::create(
        command.out, source ? source->header().block_size : dat::DatWriter::default_block_size);
    if (!part) {
        report_error(part.error());
        return 1;
    }
    part->writer().header() = new_header(source ? &*source : nullptr, part->writer());
    Packer packer{command, source ? &*source : nullptr, part->writer()};
    for (const Planned& file : *planned) {
        if (auto packed = packer.pack(file, counts); !packed) {
            report_error(packed.error());
            return 1;
        }
    }
    if (auto done = packer.finish(*part); !done) {
        report_error(done.error());
        return 1;
    }
    StandardOutput out;
    out.write("packed " + std::to_string(planned->size()) + " files into " + command.out.string() +
              ": " + std::to_string(counts.kept) + " kept, " + std::to_string(counts.replaced) +
              " replaced, " + std::to_string(counts.added) + " added, " +
              std::to_string(counts.removed) + " removed\n");
    return out.finish(0);
}

void declare_pack(CLI::App& app, PackCommand& command) {
    add_path(app, "DIR", command.directory, "The folder of files to store");
    add_path(app, "OUT", command.out, "The archive to write (replaced if it exists)");
    app.add_option("--from", command.from,
                   "Start from this archive's files and header; files in DIR replace or add");
    add_ids(app, "--remove", command.remove, "Leave out the file of this id");
    app.add_option_function<std::string>(
        "--compress",
        [&command](const std::string& name) {
            constexpr std::pair<std::string_view, Compression> modes[] = {
                {"auto", Compression::Auto},
                {"none", Compression::None},
                {"all", Compression::All}};
            for (const auto& [mode_name, mode] : modes) {
                if (name == mode_name) {
                    command.compression = mode;
                    return;
                }
            }
            throw CLI::ValidationError(
                "--compress", single_quoted(shown_text(name)) + " is not auto, none or all");
        },
        "auto (the default: compressed as in --from, new files plain), none or all");
}

}  // namespace

Subcommand pack_subcommand() {
    return command_subcommand<PackCommand>(
        "pack",
        "A new archive from files laid out as extract writes them (DIR/<TypeName>/<ID>.bin), "
        "starting from the files and header of --from; OUT is written beside and renamed into "
        "place (status 2 when OUT is the --from archive)",
        "pack mod/ patched.dat --from portal.dat", declare_pack, run_pack);
}

}  // namespace tarnwick_tool
