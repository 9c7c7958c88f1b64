// Writes the fuzz targets' seed corpora below the folder given (fuzz/corpus in the tree): small
// archives from the sample generator and the archive writer, the clothing files and compressed
// files inside them, and command lines. Terminal descriptions come from `tic` (see the Makefile).

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_dat/compress.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/writer.hpp"
#include "tarnwick_forge/sample_archive.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tarnwick_dat;
using Bytes = std::vector<std::uint8_t>;

// A seed that cannot be written ends the program: a partial corpus is no use.
void write_file(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out{path, std::ios::binary | std::ios::trunc};
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::cerr << "write-seed-corpus: cannot write " << path << "\n";
        std::exit(1);
    }
}

Bytes read_file(const fs::path& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

// Arguments joined by zero bytes, as the command-line targets split them.
Bytes command_line(const std::vector<std::string>& arguments) {
    Bytes bytes;
    for (const std::string& argument : arguments) {
        if (&argument != &arguments.front()) {
            bytes.push_back(0);
        }
        bytes.insert(bytes.end(), argument.begin(), argument.end());
    }
    return bytes;
}

// An archive of one compressed file in one block, and one with an empty directory.
std::expected<void, DatError> write_tiny_archives(const fs::path& archive_dir) {
    auto one = DatWriter::create(archive_dir / "one-compressed-file.dat");
    if (!one) {
        return tarnwick_base::take_error(one);
    }
    const Bytes text(200, 'a');
    auto entry = one->store_file(0x0D000001, text, {.compressed = true});
    if (!entry) {
        return tarnwick_base::take_error(entry);
    }
    TARNWICK_TRY(one->write_directory({*entry}));
    TARNWICK_TRY(one->finish());
    auto empty = DatWriter::create(archive_dir / "empty-directory.dat");
    if (!empty) {
        return tarnwick_base::take_error(empty);
    }
    return empty->finish();
}

// The block-chain target's input: block size, choices, three (offset, size) pairs, the file.
Bytes chain_reads(std::uint16_t block_size, std::uint8_t choices,
                  const std::vector<DatFileEntry>& entries, const Bytes& file) {
    Bytes bytes;
    const auto put = [&bytes](std::uint64_t value, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    };
    put(block_size, 2);
    put(choices, 1);
    for (const DatFileEntry& entry : entries) {
        put(entry.offset, 4);
        put(entry.size, 4);
    }
    bytes.insert(bytes.end(), file.begin(), file.end());
    return bytes;
}

// The sample's three largest files, which run over several blocks, read from the whole sample;
// and a 16-byte-block file whose one chain runs on, then loops back.
void write_block_chain_seeds(const fs::path& dir, const DatDatabase& archive, const Bytes& file) {
    std::vector<DatFileEntry> largest;
    for (const auto& [id, entry] : archive.files()) {
        largest.push_back(entry);
    }
    std::sort(largest.begin(), largest.end(), [](const auto& a, const auto& b) {
        return a.size > b.size || (a.size == b.size && a.id < b.id);
    });
    largest.resize(std::min<std::size_t>(largest.size(), 3));
    const auto block_size = static_cast<std::uint16_t>(archive.header().block_size);
    write_file(dir / "sample-largest", chain_reads(block_size, 0x00, largest, file));
    write_file(dir / "sample-largest-short-reads", chain_reads(block_size, 0x1B, largest, file));
    Bytes looping(64);
    for (const auto& [block, link] :
         {std::pair<std::size_t, int>{0, 16}, {16, 32}, {32, 16}, {48, 0}}) {
        looping[block] = static_cast<std::uint8_t>(link);
    }
    DatFileEntry chain{};
    chain.size = 40;
    write_file(dir / "looping", chain_reads(16, 0x02, {chain, chain, chain}, looping));
}

// The small sample, and its clothing files and compressed files as the other targets' seeds.
std::expected<void, DatError> write_archive_seeds(const fs::path& corpus) {
    const fs::path sample = corpus / "archive" / "small-sample.dat";
    fs::create_directories(sample.parent_path());
    TARNWICK_TRY(tarnwick_forge::write_small_sample_archive(sample));
    TARNWICK_TRY(write_tiny_archives(corpus / "archive"));
    auto archive = DatDatabase::open(sample);
    if (!archive) {
        return tarnwick_base::take_error(archive);
    }
    write_block_chain_seeds(corpus / "block_chain", *archive, read_file(sample));
    for (const auto& [id, entry] : archive->files()) {
        if (entry.size == 0) {
            continue;
        }
        auto bytes = archive->get_file(id);
        if (!bytes) {
            return tarnwick_base::take_error(bytes);
        }
        const std::string name = tarnwick_base::hex_upper(id, 8);
        if (from_id_in_dat(id, archive->dat_kind()) == DatFileType::Clothing) {
            write_file(corpus / "clothing" / name, *bytes);
        }
        write_file(corpus / "decompress" / (name + ".lrs"), compress_lrs(*bytes));
    }
    return {};
}

const std::vector<std::vector<std::string>> runner_command_lines{
    {"--test-threads", "2", "--format", "json", "-Zunstable-options"},
    {"--list", "--format", "terse", "--ignored"},
    {"--help"},
    {"--skip", "lookup", "--skip", "table", "--exact", "classify_known_commands"},
    {"--shuffle-seed", "42", "--report-time", "--ensure-time", "ORRA_TEST_TIME_UNIT=10,20"},
    {"--logfile", "log.txt", "--color", "always", "-q", "--show-output", "--fail-fast"},
    {"ORRA_TEST_THREADS=3", "--nocapture", "ORRA_TEST_SHUFFLE=1", "ORRAC_BOOTSTRAP=1"},
    {"--include-ignored", "--bench", "--test", "--force-run-in-process", "--exclude-should-panic"},
};

const std::vector<std::vector<std::string>> tool_command_lines{
    {"info", "portal.dat"},
    {"ls", "--type", "clothing", "--format", "json", "portal.dat"},
    {"cat", "portal.dat", "0x10000001", "--force"},
    {"extract", "portal.dat", "out", "--type", "Clothing", "--force"},
    {"clothing", "portal.dat", "10000001", "--format", "json"},
    {"verify", "--format", "text", "portal.dat"},
    {"--help"},
    {"--version"},
    {"0x1000ABCD"},
};

void write_command_lines(const fs::path& dir,
                         const std::vector<std::vector<std::string>>& command_lines) {
    for (std::size_t i = 0; i < command_lines.size(); ++i) {
        write_file(dir / ("line-" + std::to_string(i)), command_line(command_lines[i]));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: write-seed-corpus CORPUS_DIR\n";
        return 2;
    }
    const fs::path corpus = argv[1];
    if (auto written = write_archive_seeds(corpus); !written) {
        std::cerr << "write-seed-corpus: " << written.error().display() << "\n";
        return 1;
    }
    write_command_lines(corpus / "runner_options", runner_command_lines);
    write_command_lines(corpus / "tool_command_line", tool_command_lines);
    return 0;
}
