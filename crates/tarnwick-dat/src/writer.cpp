#include "tarnwick_dat/writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/compress.hpp"

namespace tarnwick_dat {
namespace {

constexpr std::uint64_t max_archive_length = std::uint64_t{1} << 32;

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    tarnwick_base::append_le(out, value);
}

void put_entry(std::vector<std::uint8_t>& out, const DatFileEntry& entry) {
    for (std::uint32_t field :
         {entry.bit_flags, entry.id, entry.offset, entry.size, entry.timestamp, entry.version}) {
        put_u32(out, field);
    }
}

DatError too_large(std::uint64_t length) {
    return DatError{
        DatError::Other{"archive of " + std::to_string(length) + " bytes exceeds 32-bit offsets"}};
}

std::expected<void, DatError> write_all_at(int fd, std::span<const std::uint8_t> bytes,
                                           std::uint64_t offset) {
    while (!bytes.empty()) {
        const ssize_t put = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::unexpected{DatError{IoError::from_last_errno()}};
        }
        bytes = bytes.subspan(static_cast<std::size_t>(put));
        offset += static_cast<std::uint64_t>(put);
    }
    return {};
}

}  // namespace

std::vector<std::uint8_t> encode_header(const DatHeader& header) {
    std::vector<std::uint8_t> out;
    out.reserve(80);
    for (std::uint32_t field :
         {header.magic, header.block_size, header.file_size, header.dataset, header.subset,
          header.free_head, header.free_tail, header.free_count, header.root_offset, header.new_lru,
          header.old_lru, header.use_lru, header.master_map_id, header.engine_version,
          header.game_version}) {
        put_u32(out, field);
    }
    std::vector<std::uint8_t> version = header.version_string;
    version.resize(DatHeader::version_string_length);
    out.insert(out.end(), version.begin(), version.end());
    put_u32(out, header.version_minor);
    return out;
}

std::vector<std::uint8_t> encode_node(const DirectoryNode& node) {
    std::vector<std::uint8_t> out;
    out.reserve(dat_node_length);
    for (std::uint32_t branch : node.branches) {
        put_u32(out, branch);
    }
    put_u32(out, node.entry_count.value_or(static_cast<std::uint32_t>(node.entries.size())));
    const std::size_t stored = std::min(node.entries.size(), dat_node_entry_slots);
    for (std::size_t i = 0; i < stored; ++i) {
        put_entry(out, node.entries[i]);
    }
    out.resize(dat_node_length);
    return out;
}

DatWriter::DatWriter(int fd, std::uint32_t block_size, std::uint32_t seed)
    : fd_{fd},
      block_size_{block_size},
      end_{(dat_header_offset + dat_header_length + block_size - 1) / block_size * block_size},
      random_state_{seed == 0 ? 1 : seed} {
    header_.magic = DatHeader::signature;
    header_.block_size = block_size;
    header_.dataset = 1;
    header_.version_string.resize(DatHeader::version_string_length);
}

std::expected<DatWriter, DatError> DatWriter::open_with(const std::filesystem::path& path,
                                                        int flags, int mode,
                                                        std::uint32_t block_size,
                                                        std::uint32_t seed) {
    if (block_size <= dat_link_word_length) {
        return std::unexpected{DatError{DatError::Other{"block size " + std::to_string(block_size) +
                                                        " leaves no room for payload"}}};
    }
    const int fd =
        ::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) {
        return std::unexpected{DatError{DatError::PathError{path, IoError::from_last_errno()}}};
    }
    return DatWriter{fd, block_size, seed};
}

std::expected<DatWriter, DatError> DatWriter::create(const std::filesystem::path& path,
                                                     std::uint32_t block_size, std::uint32_t seed) {
    return open_with(path, O_TRUNC, 0644, block_size, seed);
}

std::expected<DatWriter, DatError> DatWriter::create_new(const std::filesystem::path& path,
                                                         std::uint32_t block_size) {
    return open_with(path, O_EXCL | O_NOFOLLOW, 0666, block_size, 1);
}

DatWriter::DatWriter(DatWriter&& other) noexcept
    : fd_{other.fd_},
      block_size_{other.block_size_},
      end_{other.end_},
      random_state_{other.random_state_},
      header_{std::move(other.header_)} {
    other.fd_ = -1;
}

DatWriter& DatWriter::operator=(DatWriter&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        block_size_ = other.block_size_;
        end_ = other.end_;
        random_state_ = other.random_state_;
        header_ = std::move(other.header_);
    }
    return *this;
}

DatWriter::~DatWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::expected<std::vector<std::uint32_t>, DatError> DatWriter::allocate_blocks(std::size_t count) {
    const std::uint64_t new_end = end_ + static_cast<std::uint64_t>(count) * block_size_;
    if (new_end > max_archive_length) {
        return std::unexpected{too_large(new_end)};
    }
    std::vector<std::uint32_t> blocks(count);
    for (std::uint32_t& block : blocks) {
        block = static_cast<std::uint32_t>(end_);
        end_ += block_size_;
    }
    return blocks;
}

std::expected<std::vector<std::uint32_t>, DatError> DatWriter::allocate_chain(
    std::size_t byte_count, ChainLayout layout) {
    const std::size_t payload = block_size_ - dat_link_word_length;
    auto blocks = allocate_blocks((byte_count + payload - 1) / payload);
    if (!blocks || layout == ChainLayout::Contiguous || blocks->size() < 2) {
        return blocks;
    }
    // Fisher-Yates with a small xorshift, so a given seed always lays files out the same way.
    for (std::size_t i = blocks->size() - 1; i > 0; --i) {
        random_state_ ^= random_state_ << 13;
        random_state_ ^= random_state_ >> 17;
        random_state_ ^= random_state_ << 5;
        std::swap((*blocks)[i], (*blocks)[random_state_ % (i + 1)]);
    }
    if (std::is_sorted(blocks->begin(), blocks->end())) {
        std::reverse(blocks->begin(), blocks->end());
    }
    return blocks;
}

std::expected<void, DatError> DatWriter::write_chain(std::span<const std::uint32_t> blocks,
                                                     std::span<const std::uint8_t> bytes) {
    const std::size_t payload = block_size_ - dat_link_word_length;
    if (blocks.size() != (bytes.size() + payload - 1) / payload) {
        return std::unexpected{DatError{DatError::Other{std::to_string(blocks.size()) +
                                                        " blocks given for a chain of " +
                                                        std::to_string(bytes.size()) + " bytes"}}};
    }
    std::vector<std::uint8_t> block;
    block.reserve(block_size_);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        block.clear();
        put_u32(block, i + 1 < blocks.size() ? blocks[i + 1] : 0);
        const auto part = bytes.subspan(i * payload, std::min(payload, bytes.size() - i * payload));
        block.insert(block.end(), part.begin(), part.end());
        block.resize(block_size_);
        TARNWICK_TRY(write_all_at(fd_, block, blocks[i]));
    }
    return {};
}

std::expected<std::uint32_t, DatError> DatWriter::store_chain(std::span<const std::uint8_t> bytes,
                                                              ChainLayout layout) {
    auto blocks = allocate_chain(bytes.size(), layout);
    if (!blocks) {
        return tarnwick_base::take_error(blocks);
    }
    TARNWICK_TRY(write_chain(*blocks, bytes));
    return blocks->empty() ? 0 : blocks->front();
}

std::expected<DatFileEntry, DatError> DatWriter::store_file(std::uint32_t id,
                                                            std::span<const std::uint8_t> bytes,
                                                            const StoreOptions& options) {
    std::vector<std::uint8_t> compressed;
    if (options.compressed) {
        compressed = compress_lrs(bytes);
        bytes = compressed;
    }
    if (bytes.size() > max_archive_length - 1) {
        return std::unexpected{too_large(bytes.size())};
    }
    auto offset = store_chain(bytes, options.layout);
    if (!offset) {
        return tarnwick_base::take_error(offset);
    }
    DatFileEntry entry;
    entry.bit_flags =
        options.extra_flags | (options.compressed ? DatFileEntry::compressed_flag : 0);
    entry.id = id;
    entry.offset = *offset;
    entry.size = static_cast<std::uint32_t>(bytes.size());
    entry.timestamp = options.timestamp;
    entry.version = options.version;
    return entry;
}

std::expected<std::uint32_t, DatError> DatWriter::write_node(const DirectoryNode& node,
                                                             ChainLayout layout) {
    return store_chain(encode_node(node), layout);
}

std::expected<void, DatError> DatWriter::write_node_at(std::span<const std::uint32_t> blocks,
                                                       const DirectoryNode& node) {
    return write_chain(blocks, encode_node(node));
}

std::expected<std::uint32_t, DatError> DatWriter::write_subtree(
    std::span<const DatFileEntry> entries, std::size_t capacity) {
    DirectoryNode node;
    if (entries.size() <= dat_node_entry_slots) {
        node.entries.assign(entries.begin(), entries.end());
        return write_node(node);
    }
    // `capacity` = 61 + 62 * child capacity. The fewest children that can hold the entries,
    // with one separator entry between each two, and the rest spread evenly over them.
    const std::size_t child_capacity = (capacity - dat_node_entry_slots) / dat_node_branch_count;
    const std::size_t children = (entries.size() + child_capacity) / (child_capacity + 1);
    const std::size_t below = entries.size() - (children - 1);
    std::size_t next = 0;
    for (std::size_t i = 0; i < children; ++i) {
        const std::size_t count = below / children + (i < below % children ? 1 : 0);
        auto child = write_subtree(entries.subspan(next, count), child_capacity);
        if (!child) {
            return tarnwick_base::take_error(child);
        }
        node.branches[i] = *child;
        next += count;
        if (i + 1 < children) {
            node.entries.push_back(entries[next++]);
        }
    }
    return write_node(node);
}

std::expected<std::uint32_t, DatError> DatWriter::write_directory(
    std::vector<DatFileEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
    std::uint32_t root = 0;
    if (!entries.empty()) {
        std::size_t capacity = dat_node_entry_slots;
        while (capacity < entries.size()) {
            capacity = dat_node_entry_slots + dat_node_branch_count * capacity;
        }
        auto written = write_subtree(entries, capacity);
        if (!written) {
            return tarnwick_base::take_error(written);
        }
        root = *written;
    }
    header_.root_offset = root;
    return root;
}

std::expected<void, DatError> DatWriter::write_raw(std::uint64_t offset,
                                                   std::span<const std::uint8_t> bytes) {
    return write_all_at(fd_, bytes, offset);
}

std::expected<void, DatError> DatWriter::write_u32(std::uint64_t offset, std::uint32_t value) {
    std::vector<std::uint8_t> bytes;
    put_u32(bytes, value);
    return write_raw(offset, bytes);
}

std::expected<void, DatError> DatWriter::finish() {
    TARNWICK_TRY(write_raw(dat_header_offset, encode_header(header_)));
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        return std::unexpected{DatError{IoError::from_last_errno()}};
    }
    if (static_cast<std::uint64_t>(status.st_size) < end_ &&
        ::ftruncate(fd_, static_cast<off_t>(end_)) != 0) {
        return std::unexpected{DatError{IoError::from_last_errno()}};
    }
    return {};
}

std::expected<void, DatError> DatWriter::sync() {
    if (::fsync(fd_) != 0) {
        return std::unexpected{DatError{IoError::from_last_errno()}};
    }
    return {};
}

}  // namespace tarnwick_dat
