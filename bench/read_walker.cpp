// The check's floor: what reading the check's bytes costs at the least. Walks the archive's
// directory and gathers every clothing table's stored bytes, in ascending identifier order as
// the check reads them, with one positioned read per run of contiguous blocks (no window, no
// expansion, no parsing).
//   read_walker ARCHIVE
// Prints one line of counts (see FloorCounts) for the benchmark to compare.

#include <algorithm>
#include <cstdio>
#include <vector>

#include "pread_archive.hpp"
#include "tarnwick_dat/file_type.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: read_walker ARCHIVE\n");
        return 2;
    }
    auto archive = bench::PreadArchive::open(argv[1]);
    if (!archive) {
        std::fprintf(stderr, "read_walker: %s\n", archive.error().c_str());
        return 1;
    }
    const tarnwick_dat::DatKind kind = archive->header().dat_kind();
    bench::FloorCounts counts;
    std::vector<bench::WalkedEntry> clothing;
    auto walked = archive->walk_directory([&](const bench::WalkedEntry& entry) {
        ++counts.entries;
        if (tarnwick_dat::from_id_in_dat(entry.id, kind) == tarnwick_dat::DatFileType::Clothing) {
            clothing.push_back(entry);
        }
    });
    if (!walked) {
        std::fprintf(stderr, "read_walker: %s\n", walked.error().c_str());
        return 1;
    }
    std::sort(clothing.begin(), clothing.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });

    std::vector<std::uint8_t> stored;
    for (const bench::WalkedEntry& entry : clothing) {
        if (auto read = archive->gather(entry.offset, entry.size, stored); !read) {
            std::fprintf(stderr, "read_walker: %s\n", read.error().c_str());
            return 1;
        }
        counts.stored_bytes += stored.size();
    }
    counts.clothing_files = clothing.size();
    counts.nodes = archive->nodes();
    counts.reads = archive->reads();
    std::printf("%s\n", bench::format_counts(counts).c_str());
    return 0;
}
