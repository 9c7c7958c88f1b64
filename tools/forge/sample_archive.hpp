#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type/clothing_tally.hpp"

namespace tarnwick_forge {

// Marks every generated archive, in its header's 16-byte version string.
inline constexpr char sample_version_string[] = "SYNTHETIC SAMPLE";

// Where the files lie in the archive.
enum class SampleLayout {
    Grouped,    // the files of each type one after another, the clothing tables last
    Scattered,  // the same files, each clothing table on its own between files of other types
};

struct SampleOptions {
    std::uint64_t seed = 1;
    // 1.0 is retail-like (tens of thousands of files, a few hundred MB); smaller shrinks every
    // file type's count, keeping at least one file of each.
    double scale = 1.0;
    SampleLayout layout = SampleLayout::Grouped;
};

// What was written, counted from the generated values rather than read back.
struct SampleSummary {
    std::uint64_t files = 0;
    std::uint64_t clothing_tables = 0;
    std::uint64_t compressed_files = 0;
    std::uint64_t scattered_files = 0;
    std::uint64_t archive_bytes = 0;
    tarnwick_dat::ClothingTally clothing;
};

// Writes a deterministic, retail-like portal archive: 1024-byte blocks, dataset 1, a multi-level
// directory, files of many types, clothing tables of realistic shapes including the well-known
// record 0x10000001, some files compressed and some chains scattered. The same options always
// give the same bytes; the two layouts hold the same files with the same contents.
std::expected<SampleSummary, tarnwick_dat::DatError> write_sample_archive(
    const std::filesystem::path& path, const SampleOptions& options);

// The smallest portal archive with everything a reader walks, for corrupting and fuzzing: a
// two-level directory (most of its entries empty files, which take no block), clothing tables
// stored plain and compressed (the well-known record among them), and files over several blocks,
// contiguous and scattered. About 20 KB, and always the same bytes.
std::expected<SampleSummary, tarnwick_dat::DatError> write_small_sample_archive(
    const std::filesystem::path& path);

}  // namespace tarnwick_forge
