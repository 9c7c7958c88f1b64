#pragma once

// The least reading an archive needs, as the benchmark's floor: the header in one positioned
// read, and every chain (directory nodes and files alike) with one positioned read for each run
// of contiguous blocks, its links followed in memory. No window, no expansion, no parsing.

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <vector>

#include "tarnwick_dat/lib.hpp"

namespace bench {

// One directory entry as the walk sees it.
struct WalkedEntry {
    std::uint32_t id = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool compressed = false;
};

class PreadArchive {
  public:
    static std::expected<PreadArchive, std::string> open(const char* path);

    PreadArchive(PreadArchive&& other) noexcept;
    PreadArchive& operator=(PreadArchive&&) = delete;
    PreadArchive(const PreadArchive&) = delete;
    PreadArchive& operator=(const PreadArchive&) = delete;
    ~PreadArchive();

    const tarnwick_dat::DatHeader& header() const { return header_; }
    // Directory nodes read so far.
    std::uint64_t nodes() const { return nodes_; }
    // Positioned reads made so far, the header's included.
    std::uint64_t reads() const { return reads_; }

    // The `size` payload bytes of the chain at `offset`, into `out`, by the block rules the
    // library follows.
    std::expected<void, std::string> gather(std::uint32_t offset, std::uint32_t size,
                                            std::vector<std::uint8_t>& out);
    // Reads every directory node from the root, depth first, handing each entry to `visit`.
    std::expected<void, std::string> walk_directory(
        const std::function<void(const WalkedEntry&)>& visit);

  private:
    PreadArchive(int fd, std::uint64_t length, tarnwick_dat::DatHeader header)
        : fd_{fd}, length_{length}, header_{std::move(header)} {}

    std::expected<void, std::string> walk_node(std::uint32_t offset, std::size_t depth,
                                               const std::function<void(const WalkedEntry&)>& visit,
                                               std::vector<std::uint8_t>& node);

    int fd_ = -1;
    std::uint64_t length_ = 0;
    tarnwick_dat::DatHeader header_;
    std::vector<std::uint8_t> run_;  // the bytes of the run read last
    std::uint64_t nodes_ = 0;
    std::uint64_t reads_ = 1;
};

// What the floor program read, printed as one line for the benchmark to compare with what the
// library reads.
struct FloorCounts {
    unsigned long long entries = 0;
    unsigned long long nodes = 0;
    unsigned long long clothing_files = 0;
    unsigned long long stored_bytes = 0;
    unsigned long long reads = 0;
};

std::string format_counts(const FloorCounts& counts);
std::expected<FloorCounts, std::string> parse_counts(const std::string& line);

}  // namespace bench
