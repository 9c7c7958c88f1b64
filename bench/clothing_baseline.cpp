// What the hardware allows for the parity check's reading: maps the archive once, walks its
// directory, and copies the directory nodes and every clothing file (expanded when stored
// compressed, by the library's own decompressor), in the order the check reads them.
//   clothing_baseline ARCHIVE
// Prints one line of counts (see BaselineCounts) for the benchmark to compare.

#include <algorithm>
#include <cstdio>
#include <vector>

#include "mapped_archive.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/utils.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: clothing_baseline ARCHIVE\n");
        return 2;
    }
    auto archive = bench::MappedArchive::map(argv[1]);
    if (!archive) {
        std::fprintf(stderr, "clothing_baseline: %s\n", archive.error().c_str());
        return 1;
    }
    const tarnwick_dat::DatKind kind = archive->header().dat_kind();
    bench::BaselineCounts counts;
    std::vector<bench::MappedEntry> clothing;
    auto walked = archive->walk_directory([&](const bench::MappedEntry& entry) {
        ++counts.entries;
        if (tarnwick_dat::from_id_in_dat(entry.id, kind) == tarnwick_dat::DatFileType::Clothing) {
            clothing.push_back(entry);
        }
    });
    if (!walked) {
        std::fprintf(stderr, "clothing_baseline: %s\n", walked.error().c_str());
        return 1;
    }
    std::sort(clothing.begin(), clothing.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });

    std::vector<std::uint8_t> stored;
    for (const bench::MappedEntry& entry : clothing) {
        if (auto copied = archive->copy_chain(entry.offset, entry.size, stored); !copied) {
            std::fprintf(stderr, "clothing_baseline: %s\n", copied.error().c_str());
            return 1;
        }
        counts.stored_bytes += stored.size();
        counts.expanded_bytes +=
            entry.compressed ? tarnwick_dat::decompress_lrs(stored).size() : stored.size();
    }
    counts.clothing_files = clothing.size();
    counts.nodes = archive->nodes();
    counts.link_words = archive->link_words();
    std::printf("%s\n", bench::format_counts(counts).c_str());
    return 0;
}
