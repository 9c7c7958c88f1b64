#pragma once

// The floor the parity check is measured against: the archive mapped once and its block chains
// followed in memory, with none of the library's reading machinery in between. Only for
// measuring: a mapping of a file that shrinks under it ends the process with a signal.

#include <cstdint>
#include <expected>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "tarnwick_dat/lib.hpp"

namespace bench {

// One directory entry as the walk sees it.
struct MappedEntry {
    std::uint32_t id = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool compressed = false;
};

class MappedArchive {
  public:
    static std::expected<MappedArchive, std::string> map(const char* path);

    MappedArchive(MappedArchive&& other) noexcept;
    MappedArchive& operator=(MappedArchive&&) = delete;
    MappedArchive(const MappedArchive&) = delete;
    MappedArchive& operator=(const MappedArchive&) = delete;
    ~MappedArchive();

    const tarnwick_dat::DatHeader& header() const { return header_; }
    // Link words looked at so far, over every chain copied.
    std::uint64_t link_words() const { return link_words_; }
    // Directory nodes copied so far.
    std::uint64_t nodes() const { return nodes_; }

    // Copies `size` payload bytes of the chain at `offset` into `out`, by the block rules the
    // library follows.
    std::expected<void, std::string> copy_chain(std::uint32_t offset, std::uint32_t size,
                                                std::vector<std::uint8_t>& out);
    // Copies every directory node from the root, depth first, handing each entry to `visit`.
    std::expected<void, std::string> walk_directory(
        const std::function<void(const MappedEntry&)>& visit);

  private:
    MappedArchive(std::span<const std::uint8_t> bytes, tarnwick_dat::DatHeader header)
        : bytes_{bytes}, header_{std::move(header)} {}

    std::expected<void, std::string> walk_node(std::uint32_t offset, std::size_t depth,
                                               const std::function<void(const MappedEntry&)>& visit,
                                               std::vector<std::uint8_t>& node);
    std::expected<void, std::string> check_in_map(std::uint64_t offset, std::uint64_t length) const;

    std::span<const std::uint8_t> bytes_;
    tarnwick_dat::DatHeader header_;
    std::uint64_t link_words_ = 0;
    std::uint64_t nodes_ = 0;
};

// What the baseline program copied, printed as one line for the benchmark to compare with what
// the library reads.
struct BaselineCounts {
    unsigned long long entries = 0;
    unsigned long long nodes = 0;
    unsigned long long link_words = 0;
    unsigned long long clothing_files = 0;
    unsigned long long stored_bytes = 0;
    unsigned long long expanded_bytes = 0;
};

std::string format_counts(const BaselineCounts& counts);
std::expected<BaselineCounts, std::string> parse_counts(const std::string& line);

}  // namespace bench
