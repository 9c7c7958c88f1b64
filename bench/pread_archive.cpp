#include "pread_archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tarnwick_dat/record_reader.hpp"

namespace bench {
namespace {

constexpr std::uint32_t link_length = 4;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::string system_error(const char* what, const char* path) {
    return std::string{what} + " " + path + ": " + std::strerror(errno);
}

// One format for printing and reading back, so the two cannot drift apart.
constexpr const char* counts_format =
    "entries=%llu nodes=%llu clothing_files=%llu stored_bytes=%llu reads=%llu";

}  // namespace

std::expected<PreadArchive, std::string> PreadArchive::open(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected{system_error("cannot open", path)};
    }
    struct stat info {};
    std::array<std::uint8_t, tarnwick_dat::DatHeader::byte_length> bytes{};
    if (::fstat(fd, &info) != 0 ||
        ::pread(fd, bytes.data(), bytes.size(), tarnwick_dat::dat_header_offset) !=
            static_cast<ssize_t>(bytes.size())) {
        ::close(fd);
        return std::unexpected{std::string{path} + " is too short for an archive header"};
    }
    tarnwick_dat::ByteReader reader{bytes};
    auto header = tarnwick_dat::DatHeader::read(reader);
    if (!header || header->block_size <= link_length) {
        ::close(fd);
        return std::unexpected{std::string{path} + ": not an archive header"};
    }
    return PreadArchive{fd, static_cast<std::uint64_t>(info.st_size), std::move(*header)};
}

PreadArchive::PreadArchive(PreadArchive&& other) noexcept
    : fd_{other.fd_},
      length_{other.length_},
      header_{std::move(other.header_)},
      run_{std::move(other.run_)},
      nodes_{other.nodes_},
      reads_{other.reads_} {
    other.fd_ = -1;
}

PreadArchive::~PreadArchive() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::expected<void, std::string> PreadArchive::gather(std::uint32_t offset, std::uint32_t size,
                                                      std::vector<std::uint8_t>& out) {
    out.resize(size);
    const std::uint32_t block_payload = header_.block_size - link_length;
    std::uint64_t current = offset;
    std::size_t filled = 0;
    while (filled < size) {
        // The rest of the chain as if its blocks lay one after another, in one read.
        const std::size_t remaining = size - filled;
        const std::size_t blocks = (remaining + block_payload - 1) / block_payload;
        const std::size_t wanted = std::min<std::uint64_t>(
            remaining + blocks * link_length, current < length_ ? length_ - current : 0);
        run_.resize(std::max(run_.size(), wanted));
        const ssize_t got = ::pread(fd_, run_.data(), wanted, static_cast<off_t>(current));
        ++reads_;
        if (got < 0 || static_cast<std::size_t>(got) != wanted) {
            return std::unexpected{"cannot read the chain's run at offset " +
                                   std::to_string(current)};
        }
        // Follow the links in memory as long as each goes to the block right after its own.
        const std::uint64_t run_start = current;
        while (filled < size) {
            const std::uint64_t at = current - run_start;
            if (at + link_length > wanted) {
                return std::unexpected{"chain leaves the archive at offset " +
                                       std::to_string(current)};
            }
            const std::uint32_t link = le32(&run_[at]);
            const std::size_t take =
                link == 0 ? size - filled : std::min<std::size_t>(size - filled, block_payload);
            if (at + link_length + take > wanted) {
                return std::unexpected{"chain leaves the archive at offset " +
                                       std::to_string(current)};
            }
            std::memcpy(out.data() + filled, &run_[at + link_length], take);
            filled += take;
            const bool next_in_run = link == current + header_.block_size;
            current = link;
            if (!next_in_run) {
                break;
            }
        }
    }
    return {};
}

std::expected<void, std::string> PreadArchive::walk_directory(
    const std::function<void(const WalkedEntry&)>& visit) {
    std::vector<std::uint8_t> node;
    return walk_node(header_.root_offset, 0, visit, node);
}

std::expected<void, std::string> PreadArchive::walk_node(
    std::uint32_t offset, std::size_t depth, const std::function<void(const WalkedEntry&)>& visit,
    std::vector<std::uint8_t>& node) {
    if (offset == 0) {
        return {};
    }
    if (depth >= tarnwick_dat::dat_max_tree_depth) {
        return std::unexpected{"directory tree too deep at offset " + std::to_string(offset)};
    }
    if (auto read = gather(offset, tarnwick_dat::dat_node_length, node); !read) {
        return read;
    }
    ++nodes_;
    const std::uint32_t count = le32(&node[tarnwick_dat::dat_node_count_at]);
    if (count > tarnwick_dat::dat_node_entry_slots) {
        return std::unexpected{"directory node at offset " + std::to_string(offset) +
                               " claims more entries than it holds"};
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry =
            &node[tarnwick_dat::dat_node_entries_at + tarnwick_dat::DatFileEntry::byte_length * i];
        visit({.id = le32(entry + 4),
               .offset = le32(entry + 8),
               .size = le32(entry + 12),
               .compressed = (le32(entry) & tarnwick_dat::DatFileEntry::compressed_flag) != 0});
    }
    if (le32(&node[0]) == 0) {
        return {};
    }
    // The node buffer is reused below; keep the branches first.
    std::array<std::uint32_t, tarnwick_dat::dat_node_branch_count> branches{};
    const std::size_t followed = std::min<std::size_t>(count + 1, branches.size());
    for (std::size_t b = 0; b < followed; ++b) {
        branches[b] = le32(&node[4 * b]);
    }
    for (std::size_t b = 0; b < followed; ++b) {
        if (auto walked = walk_node(branches[b], depth + 1, visit, node); !walked) {
            return walked;
        }
    }
    return {};
}

std::string format_counts(const FloorCounts& counts) {
    char line[256];
    std::snprintf(line, sizeof line, counts_format, counts.entries, counts.nodes,
                  counts.clothing_files, counts.stored_bytes, counts.reads);
    return line;
}

std::expected<FloorCounts, std::string> parse_counts(const std::string& line) {
    FloorCounts counts;
    if (std::sscanf(line.c_str(), counts_format, &counts.entries, &counts.nodes,
                    &counts.clothing_files, &counts.stored_bytes, &counts.reads) != 5) {
        return std::unexpected{"the floor program printed no counts: '" + line + "'"};
    }
    return counts;
}

}  // namespace bench
