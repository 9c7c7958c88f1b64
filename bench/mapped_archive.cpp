#include "mapped_archive.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tarnwick_dat/record_reader.hpp"

namespace bench {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::string system_error(const char* what, const char* path) {
    return std::string{what} + " " + path + ": " + std::strerror(errno);
}

constexpr std::size_t node_branches_at = 0;
constexpr std::size_t node_count_at = 4 * tarnwick_dat::dat_node_branch_count;
constexpr std::size_t node_entries_at = node_count_at + 4;

// One format for printing and reading back, so the two cannot drift apart.
constexpr const char* counts_format =
    "entries=%llu nodes=%llu link_words=%llu clothing_files=%llu stored_bytes=%llu "
    "expanded_bytes=%llu";

}  // namespace

std::expected<MappedArchive, std::string> MappedArchive::map(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected{system_error("cannot open", path)};
    }
    struct stat info {};
    void* mapping = MAP_FAILED;
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        mapping =
            ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    }
    const std::string failure = system_error("cannot map", path);
    ::close(fd);
    if (mapping == MAP_FAILED) {
        return std::unexpected{failure};
    }
    const std::span bytes{static_cast<const std::uint8_t*>(mapping),
                          static_cast<std::size_t>(info.st_size)};
    constexpr std::size_t header_length = 80;
    if (bytes.size() < tarnwick_dat::dat_header_offset + header_length) {
        ::munmap(mapping, bytes.size());
        return std::unexpected{std::string{path} + " is too short for an archive header"};
    }
    tarnwick_dat::ByteReader reader{bytes.subspan(tarnwick_dat::dat_header_offset, header_length)};
    auto header = tarnwick_dat::DatHeader::read(reader);
    if (!header) {
        ::munmap(mapping, bytes.size());
        return std::unexpected{"archive header: " + header.error().display()};
    }
    return MappedArchive{bytes, std::move(*header)};
}

MappedArchive::MappedArchive(MappedArchive&& other) noexcept
    : bytes_{other.bytes_},
      header_{std::move(other.header_)},
      link_words_{other.link_words_},
      nodes_{other.nodes_} {
    other.bytes_ = {};
}

MappedArchive::~MappedArchive() {
    if (!bytes_.empty()) {
        ::munmap(const_cast<std::uint8_t*>(bytes_.data()), bytes_.size());
    }
}

std::expected<void, std::string> MappedArchive::check_in_map(std::uint64_t offset,
                                                             std::uint64_t length) const {
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        return std::unexpected{"chain leaves the archive at offset " + std::to_string(offset)};
    }
    return {};
}

std::expected<void, std::string> MappedArchive::copy_chain(std::uint32_t offset, std::uint32_t size,
                                                           std::vector<std::uint8_t>& out) {
    out.resize(size);
    const std::uint32_t block_payload = header_.block_size - 4;
    std::uint64_t current = offset;
    std::uint32_t filled = 0;
    while (filled < size) {
        if (auto inside = check_in_map(current, 4); !inside) {
            return inside;
        }
        const std::uint32_t link = le32(&bytes_[current]);
        ++link_words_;
        const std::uint32_t take =
            link == 0 ? size - filled : std::min(size - filled, block_payload);
        if (auto inside = check_in_map(current + 4, take); !inside) {
            return inside;
        }
        std::memcpy(out.data() + filled, &bytes_[current + 4], take);
        filled += take;
        current = link;
    }
    return {};
}

std::expected<void, std::string> MappedArchive::walk_directory(
    const std::function<void(const MappedEntry&)>& visit) {
    if (header_.block_size <= 4) {
        return std::unexpected{"block size leaves no room for payload"};
    }
    std::vector<std::uint8_t> node;
    return walk_node(header_.root_offset, 0, visit, node);
}

std::expected<void, std::string> MappedArchive::walk_node(
    std::uint32_t offset, std::size_t depth, const std::function<void(const MappedEntry&)>& visit,
    std::vector<std::uint8_t>& node) {
    if (offset == 0) {
        return {};
    }
    if (depth >= tarnwick_dat::dat_max_tree_depth) {
        return std::unexpected{"directory tree too deep at offset " + std::to_string(offset)};
    }
    if (auto copied = copy_chain(offset, tarnwick_dat::dat_node_length, node); !copied) {
        return copied;
    }
    ++nodes_;
    const std::uint32_t count = le32(&node[node_count_at]);
    if (count > tarnwick_dat::dat_node_entry_slots) {
        return std::unexpected{"directory node at offset " + std::to_string(offset) +
                               " claims more entries than it holds"};
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry =
            &node[node_entries_at + tarnwick_dat::DatFileEntry::byte_length * i];
        visit({.id = le32(entry + 4),
               .offset = le32(entry + 8),
               .size = le32(entry + 12),
               .compressed = (le32(entry) & tarnwick_dat::DatFileEntry::compressed_flag) != 0});
    }
    if (le32(&node[node_branches_at]) == 0) {
        return {};
    }
    // The node buffer is reused below; keep the branches first.
    std::array<std::uint32_t, tarnwick_dat::dat_node_branch_count> branches{};
    const std::size_t followed = std::min<std::size_t>(count + 1, branches.size());
    for (std::size_t b = 0; b < followed; ++b) {
        branches[b] = le32(&node[node_branches_at + 4 * b]);
    }
    for (std::size_t b = 0; b < followed; ++b) {
        if (auto walked = walk_node(branches[b], depth + 1, visit, node); !walked) {
            return walked;
        }
    }
    return {};
}

std::string format_counts(const BaselineCounts& counts) {
    char line[256];
    std::snprintf(line, sizeof line, counts_format, counts.entries, counts.nodes, counts.link_words,
                  counts.clothing_files, counts.stored_bytes, counts.expanded_bytes);
    return line;
}

std::expected<BaselineCounts, std::string> parse_counts(const std::string& line) {
    BaselineCounts counts;
    if (std::sscanf(line.c_str(), counts_format, &counts.entries, &counts.nodes, &counts.link_words,
                    &counts.clothing_files, &counts.stored_bytes, &counts.expanded_bytes) != 6) {
        return std::unexpected{"the baseline printed no counts: '" + line + "'"};
    }
    return counts;
}

}  // namespace bench
