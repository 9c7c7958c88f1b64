#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>

#include "tarnwick_dat/error.hpp"
#include "tarnwick_dat/file_type/clothing_tally.hpp"

namespace tarnwick_forge {

// Marks every generated archive, in its header's 16-byte version string.
inline constexpr char sample_version_string[] = "SYNTHETIC SAMPLE";

struct SampleOptions {
    std::uint64_t seed = 1;
    // 1.0 is retail-like (tens of thousands of files, a few hundred MB); smaller shrinks every
    // file type's count, keeping at least one file of each.
    double scale = 1.0;
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
// give the same bytes.
std::expected<SampleSummary, tarnwick_dat::DatError> write_sample_archive(
    const std::filesystem::path& path, const SampleOptions& options);

}  // namespace tarnwick_forge
