// Corrupt archives, made deterministically from the small sample: every header field, every
// block's link word, every node's entry count and branches, the entries' sizes and the
// compressed files' declared sizes set to hostile values, and the file cut at every block. Each
// mutant is opened and read whole in a child process, which must end with errors or sound
// results, within a time and a peak memory that do not depend on the values found, and with
// the fast chain reads agreeing with the step-by-step ones byte for byte and error for error.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_base/test_support/forked_child.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"
#include "tarnwick_dat/utils/read_window.hpp"
#include "tarnwick_forge/sample_archive.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;
using tarnwick_base::hex_upper;
using tarnwick_base::test_support::ChildRun;
using tarnwick_base::test_support::run_in_child;

// A child that reads far longer than this, or takes this much more memory than one that does
// nothing, is out of proportion to an archive of about 20 KB.
constexpr std::chrono::seconds time_limit{3};
constexpr long memory_limit_kib = 64 * 1024;

Bytes file_bytes(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

void write_bytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out{path, std::ios::binary | std::ios::trunc};
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t u32_at(const Bytes& bytes, std::size_t at) {
    return tarnwick_base::load_le<std::uint32_t>(std::span{bytes}.subspan(at).first<4>());
}

void set_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Where things lie in the clean sample, found by following its own links.
struct Layout {
    std::uint32_t block_size = 0;
    std::vector<std::uint32_t> blocks;  // every block's offset, ascending
    std::vector<std::uint32_t> nodes;   // every directory node's offset, root first
    // The file offset of byte `index` of the chain at `offset`.
    std::function<std::size_t(std::uint32_t offset, std::size_t index)> chain_byte;
    struct Entry {
        DatFileEntry entry;
        std::uint32_t node;
        std::size_t first;  // index of the entry's first byte in its node
    };
    // The file offset of the entry's field that lies `field_at` bytes into it.
    std::size_t field(const Entry& entry, std::size_t field_at) const {
        return chain_byte(entry.node, entry.first + field_at);
    }
    std::vector<Entry> entries;
};

Layout read_layout(const Bytes& sample) {
    Layout layout;
    layout.block_size = u32_at(sample, dat_header_offset + header_field::block_size);
    for (std::size_t at = layout.block_size; at + layout.block_size <= sample.size();
         at += layout.block_size) {
        layout.blocks.push_back(static_cast<std::uint32_t>(at));
    }
    const std::size_t payload = layout.block_size - dat_link_word_length;
    layout.chain_byte = [&sample, payload](std::uint32_t offset, std::size_t index) {
        for (; index >= payload; index -= payload) {
            offset = u32_at(sample, offset);
        }
        return offset + dat_link_word_length + index;
    };
    std::vector<std::uint32_t> pending{
        u32_at(sample, dat_header_offset + header_field::root_offset)};
    while (!pending.empty()) {
        const std::uint32_t node = pending.back();
        pending.pop_back();
        layout.nodes.push_back(node);
        const auto node_u32 = [&](std::size_t index) {
            return u32_at(sample, layout.chain_byte(node, index));
        };
        const std::uint32_t count = node_u32(dat_node_count_at);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t first = dat_node_entries_at + i * DatFileEntry::byte_length;
            Bytes stored;
            for (std::size_t b = 0; b < DatFileEntry::byte_length; ++b) {
                stored.push_back(sample[layout.chain_byte(node, first + b)]);
            }
            ByteReader reader{stored};
            layout.entries.push_back({DatFileEntry::read(reader).value(), node, first});
        }
        for (std::size_t i = 0; node_u32(0) != 0 && i <= count; ++i) {
            pending.push_back(node_u32(i * 4));
        }
    }
    return layout;
}

struct Mutant {
    std::string name;
    Bytes bytes;
};

class Mutants {
  public:
    explicit Mutants(const Bytes& sample) : sample_{sample}, layout_{read_layout(sample)} {
        header_fields();
        truncations();
        link_words();
        nodes();
        entries();
    }

    const Layout& layout() const { return layout_; }
    std::vector<Mutant> take() { return std::move(mutants_); }

  private:
    void with_u32(const std::string& name, std::size_t at, std::uint32_t value) {
        Bytes bytes = sample_;
        set_u32(bytes, at, value);
        mutants_.push_back({name + " = 0x" + hex_upper(value), std::move(bytes)});
    }
    std::uint32_t past_end() const { return static_cast<std::uint32_t>(sample_.size()); }

    // Every number of the header (the version string is no number).
    void header_fields() {
        for (std::size_t field = 0; field < 20; ++field) {
            if (field >= 15 && field < 19) {
                continue;
            }
            for (const std::uint32_t value : {0u, 4u, 0xFFFFFFFFu}) {
                with_u32("header word " + std::to_string(field), dat_header_offset + field * 4,
                         value);
            }
        }
    }

    void truncations() {
        std::vector<std::size_t> cuts{0, dat_header_offset, dat_header_offset + 40};
        for (const std::uint32_t block : layout_.blocks) {
            cuts.insert(cuts.end(), {block, block + 4, block + layout_.block_size - 1});
        }
        for (const std::size_t cut : cuts) {
            mutants_.push_back(
                {"cut at " + std::to_string(cut), Bytes(sample_.data(), sample_.data() + cut)});
        }
    }

    void link_words() {
        for (const std::uint32_t block : layout_.blocks) {
            const std::string name = "link of block 0x" + hex_upper(block);
            for (const std::uint32_t target :
                 {0u, std::uint32_t{dat_header_offset}, block, past_end(), 0xFFFFFFFCu}) {
                with_u32(name, block, target);
            }
        }
    }

    void nodes() {
        const std::uint32_t root = layout_.nodes.front();
        for (const std::uint32_t node : layout_.nodes) {
            const std::string name = "node 0x" + hex_upper(node);
            const std::size_t count_at = layout_.chain_byte(node, dat_node_count_at);
            for (const std::uint32_t count : {0u, 61u, 62u, 0xFFFFFFFFu}) {
                with_u32(name + " entry count", count_at, count);
            }
            // A branch to itself, to the root, to the header and past the end.
            for (const std::uint32_t branch :
                 {node, root, std::uint32_t{dat_header_offset}, past_end()}) {
                with_u32(name + " first branch", layout_.chain_byte(node, 0), branch);
            }
        }
        Bytes shared = sample_;
        for (std::size_t i = 0; i < 2; ++i) {
            set_u32(shared, layout_.chain_byte(root, i * 4), layout_.nodes[1]);
        }
        mutants_.push_back({"both branches of the root to one child", std::move(shared)});
    }

    // The entries that have bytes: huge and misplaced sizes and offsets, the compressed flag
    // turned over, and for compressed files a huge declared expanded size.
    void entries() {
        for (const Layout::Entry& stored : layout_.entries) {
            const DatFileEntry& entry = stored.entry;
            if (entry.size == 0) {
                continue;
            }
            const std::string name = "entry " + hex_upper(entry.id);
            const std::size_t flags_at = layout_.field(stored, 0);
            const std::size_t offset_at = layout_.field(stored, 8);
            const std::size_t size_at = layout_.field(stored, 12);
            with_u32(name + " size", size_at, 0xFFFFFFFF);
            with_u32(name + " size", size_at, past_end());
            with_u32(name + " offset", offset_at, past_end());
            with_u32(name + " offset", offset_at, std::uint32_t{dat_header_offset});
            with_u32(name + " flags", flags_at, entry.bit_flags ^ DatFileEntry::compressed_flag);
            if (entry.is_compressed()) {
                for (const std::uint32_t declared : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
                    with_u32(name + " declared expanded size", entry.offset + 4, declared);
                }
            }
        }
    }

    const Bytes& sample_;
    Layout layout_;
    std::vector<Mutant> mutants_;
};

std::string outcome(const std::expected<std::vector<std::uint8_t>, DatError>& read) {
    return read ? "bytes " + std::string{read->begin(), read->end()}
                : "error " + read.error().debug();
}

// The fast chain read and the step-by-step one must agree on the entry, as must a file read
// through a window shared with its neighbours and one read on its own.
std::string fast_and_exact_disagree(const DatDatabase& archive, const DatFileEntry& entry,
                                    ReadWindow& window) {
    if (outcome(archive.read_file_data(entry.offset, entry.size)) !=
        outcome(archive.read_file_data_exact(entry.offset, entry.size))) {
        return "the chain reads of " + hex_upper(entry.id) + " disagree";
    }
    if (outcome(archive.get_file(entry.id, window)) != outcome(archive.get_file(entry.id))) {
        return "the windowed read of " + hex_upper(entry.id) + " disagrees";
    }
    return "";
}

// In the child: opens and reads everything. Gives "" when every result was an error with a
// text or sound, else what was not; counts what it read in `summary`.
std::string read_everything(const std::filesystem::path& path, std::string& summary) {
    auto archive = DatDatabase::open(path);
    if (!archive) {
        summary = "open failed";
        return archive.error().display().empty() ? "an open error without a text" : "";
    }
    std::size_t errors = 0;
    std::size_t tables = 0;
    ReadWindow window;
    const std::vector<DatFileEntry> entries = archive->entries();
    for (const DatFileEntry& entry : entries) {
        const std::uint32_t id = entry.id;
        if (std::string disagreement = fast_and_exact_disagree(*archive, entry, window);
            !disagreement.empty()) {
            return disagreement;
        }
        auto bytes = archive->get_file(id);
        if (!bytes) {
            ++errors;
            if (bytes.error().display().empty()) {
                return "a read error without a text";
            }
            continue;
        }
        const std::size_t bound = entry.is_compressed() && entry.size >= lrs::size_prefix_length
                                      ? entry.size / lrs::reference_length * lrs::max_match_length
                                      : entry.size;
        if (entry.is_compressed() ? bytes->size() > bound : bytes->size() != entry.size) {
            return "file " + hex_upper(id) + " has " + std::to_string(bytes->size()) + " bytes";
        }
        if (archive->type_of(id) == DatFileType::Clothing) {
            ByteReader reader{*bytes};
            tables += ClothingTable::read(reader, Endian::Little).has_value() ? 1U : 0U;
        }
    }
    summary = std::to_string(entries.size()) + " files, " + std::to_string(errors) + " errors, " +
              std::to_string(tables) + " clothing tables";
    return "";
}

// Runs `body` in a child process that a hang cannot keep alive; what it gives is what the
// child writes.
ChildRun in_child(const std::function<std::string()>& body) {
    return run_in_child(
        [&body] {
            const std::string text = body();
            if (write(STDOUT_FILENO, text.data(), text.size()) !=
                static_cast<ssize_t>(text.size())) {
                _exit(3);
            }
        },
        static_cast<unsigned>(time_limit.count() * 4));
}

class CorruptArchives : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tarnwick_forge::write_small_sample_archive(sample_path_).has_value());
        sample_ = file_bytes(sample_path_);
        idle_rss_kib_ = in_child([] { return std::string{}; }).max_rss_kib;
    }

    // Reads `bytes` as an archive in a child; fails the test with `name` unless every result
    // was sound and the child stayed within its limits and left the file as it was.
    std::string read_in_child(const std::string& name, const Bytes& bytes) {
        write_bytes(mutant_path_, bytes);
        const ChildRun report = in_child([this] {
            std::string summary;
            const std::string problem = read_everything(mutant_path_, summary);
            return problem.empty() ? summary : "UNSOUND: " + problem;
        });
        EXPECT_TRUE(WIFEXITED(report.status) && WEXITSTATUS(report.status) == 0)
            << name << ": child ended with status " << report.status;
        EXPECT_FALSE(report.out.starts_with("UNSOUND")) << name << ": " << report.out;
        EXPECT_LT(report.elapsed, time_limit) << name;
        EXPECT_LT(report.max_rss_kib - idle_rss_kib_, memory_limit_kib) << name;
        EXPECT_EQ(file_bytes(mutant_path_), bytes) << name << ": the archive changed";
        return report.out;
    }

    test_support::TempDir dir_;
    std::filesystem::path sample_path_ = dir_ / "sample.dat";
    std::filesystem::path mutant_path_ = dir_ / "mutant.dat";
    Bytes sample_;
    long idle_rss_kib_ = 0;
};

TEST_F(CorruptArchives, TheCleanSampleReadsWhole) {
    const Layout layout = read_layout(sample_);
    EXPECT_EQ(layout.nodes.size(), 3u);
    EXPECT_EQ(read_in_child("clean sample", sample_),
              std::to_string(layout.entries.size()) + " files, 0 errors, 2 clothing tables");
}

TEST_F(CorruptArchives, EveryMutantEndsInErrorsOrSoundResults) {
    Mutants mutants{sample_};
    std::size_t opened = 0;
    std::size_t count = 0;
    for (const Mutant& mutant : mutants.take()) {
        opened += read_in_child(mutant.name, mutant.bytes) != "open failed" ? 1U : 0U;
        ++count;
    }
    // Both ways are taken: many mutants open and are read, many are refused at once.
    EXPECT_GT(count, 200u);
    EXPECT_GT(opened, count / 4);
    EXPECT_LT(opened, count);
}

}  // namespace
}  // namespace tarnwick_dat
