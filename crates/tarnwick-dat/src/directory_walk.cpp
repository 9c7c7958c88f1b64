// The directory walk of `DatDatabase::open`: every node read once, from the header's root,
// into one table of the entries sorted by id; on two threads for a large tree.

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <limits>
#include <memory_resource>
#include <new>
#include <numeric>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_base/two_cores.hpp"
#include "tarnwick_dat/block_chain.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace tarnwick_dat {
namespace {

using tarnwick_base::hex_lower;

// The entry stored at `at` in `bytes`: its six numbers copied at once. In this file, so that
// the walk has it inlined.
DatFileEntry decode_entry(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::array<std::uint32_t, 6> fields{};
    static_assert(sizeof(fields) == DatFileEntry::byte_length);
    std::memcpy(fields.data(), bytes.subspan(at).first<DatFileEntry::byte_length>().data(),
                sizeof(fields));
    using tarnwick_base::from_le;
    DatFileEntry entry;
    entry.bit_flags = from_le(fields[0]);
    entry.id = from_le(fields[1]);
    entry.offset = from_le(fields[2]);
    entry.size = from_le(fields[3]);
    entry.timestamp = from_le(fields[4]);
    entry.version = from_le(fields[5]);
    return entry;
}

DatError corruption(std::string text) {
    return DatError{DatError::Corruption{std::move(text)}};
}

std::uint32_t load_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return tarnwick_base::load_le<std::uint32_t>(bytes.subspan(at).first<4>());
}

}  // namespace

DatFileEntry DatFileEntry::decode(std::span<const std::uint8_t, byte_length> bytes) {
    return decode_entry(bytes, 0);
}

// A branch back to a node on the current path would never end; a node shared by several
// branches is read once, since reading it again would give the same entries again. The walk
// reads ahead through its own window (nodes tend to lie together), each level of the tree into
// its own buffer, since a node's entries are taken between its children.
struct DatDatabase::Walk {
    // The nodes from the root to the one being read: at most `dat_max_tree_depth`.
    std::vector<std::uint32_t> on_path;
    std::pmr::monotonic_buffer_resource finished_memory;
    std::pmr::unordered_set<std::uint32_t> finished{&finished_memory};
    ReadWindow window;
    std::array<std::vector<std::uint8_t>, dat_max_tree_depth> nodes;
    // The entries in the order taken. The entries of one call of `add` are consecutive in
    // pre-order (a node's entries before its children's), where the later of two entries with one
    // id is the one kept: their place there is kept once for them all, and only a table that
    // needs sorting works out each entry's.
    struct Run {
        std::size_t at;    // in `table`
        std::size_t rank;  // in pre-order, of the entry at `at`
    };
    DatDirectory table;
    std::size_t capacity = 0;
    std::vector<Run> runs;
    std::size_t preorder = 0;
    bool ascending = true;
    DirectoryShape shape;

    // Room for `count` more pairs at the table's end, where they are then written.
    DatDirectory::value_type* extend(std::size_t count) {
        const std::size_t at = table.size_;
        if (count > capacity - at) {
            resize_storage(std::max(at + count, 2 * capacity));
        }
        table.size_ += count;
        return table.table_.get() + at;
    }
    // The table's storage made `count` pairs long.
    void resize_storage(std::size_t count) {
        if (count == 0) {  // realloc to no bytes is the implementation's choice
            table.table_.reset();
            capacity = 0;
            return;
        }
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(DatDirectory::value_type)) {
            throw std::bad_alloc{};
        }
        void* moved = std::realloc(table.table_.get(), count * sizeof(DatDirectory::value_type));
        if (moved == nullptr) {
            throw std::bad_alloc{};
        }
        (void)table.table_.release();
        table.table_.reset(static_cast<DatDirectory::value_type*>(moved));
        capacity = count;
    }

    // The node's entries `from` to `to`; its first entry is the `rank`th in pre-order. Written
    // through pointers into room made beforehand, for the many thousands of entries.
    void add(std::span<const std::uint8_t> node, std::size_t from, std::size_t to,
             std::size_t rank) {
        const std::size_t at = table.size();
        runs.push_back({at, rank + from});
        DatDirectory::value_type* out = extend(to - from);
        bool in_order = ascending;
        std::uint32_t last = at == 0 ? 0 : out[-1].first;
        bool first = at == 0;
        for (std::size_t i = from; i < to; ++i) {
            const DatFileEntry entry =
                decode_entry(node, dat_node_entries_at + i * DatFileEntry::byte_length);
            in_order = in_order && (first || last < entry.id);
            first = false;
            last = entry.id;
            *out++ = {entry.id, entry};
        }
        ascending = in_order;
    }

    // The table sorted by id, the later in pre-order kept of each id: for a tree that is not a
    // search tree, or gives an id twice.
    void sort_by_id() {
        std::vector<std::size_t> ranks(table.size());
        for (std::size_t run = 0; run < runs.size(); ++run) {
            const std::size_t end = run + 1 < runs.size() ? runs[run + 1].at : table.size();
            for (std::size_t at = runs[run].at; at < end; ++at) {
                ranks[at] = runs[run].rank + (at - runs[run].at);
            }
        }
        const DatDirectory::value_type* pairs = table.begin();
        std::vector<std::size_t> order(table.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::ranges::sort(order, {}, [pairs, &ranks](std::size_t at) {
            return std::pair{pairs[at].first, ranks[at]};
        });
        std::vector<DatDirectory::value_type> sorted;
        sorted.reserve(table.size());
        for (const std::size_t at : order) {
            if (!sorted.empty() && sorted.back().first == pairs[at].first) {
                sorted.back() = pairs[at];
            } else {
                sorted.push_back(pairs[at]);
            }
        }
        std::ranges::copy(sorted, table.table_.get());
        table.size_ = sorted.size();
    }
};

static_assert(std::is_trivially_copyable_v<DatDirectory::value_type>,
              "the directory's table is grown by realloc");

std::expected<void, DatError> DatDatabase::read_directory() {
    Walk halves;
    Walk whole;
    Walk* walked = &halves;
    if (!walk_in_halves(halves)) {
        TARNWICK_TRY(walk_node(header_.root_offset, whole));
        walked = &whole;
    }
    Walk& walk = *walked;
    if (!walk.ascending) {
        walk.sort_by_id();
    }
    // Trimmed to its length: a large table's tail is given back without a copy.
    walk.resize_storage(walk.table.size());
    files_ = std::move(walk.table);
    directory_shape_ = walk.shape;
    return {};
}

bool DatDatabase::walk_in_halves(Walk& walk) const {
    const std::uint32_t root_offset = header_.root_offset;
    if (root_offset == 0 || !tarnwick_base::may_use_two_cores()) {
        return false;
    }
    // Worth a thread only when the root's children have children: below a root whose children
    // are leaves, the whole walk takes less than starting one. The first child, read here, is
    // read again from the window.
    const auto has_children = [](std::span<const std::uint8_t> node) {
        const std::uint32_t entry_count = load_u32(node, dat_node_count_at);
        return load_u32(node, 0) != 0 && entry_count != 0 && entry_count <= dat_node_entry_slots;
    };
    const ChainSource source{*file_, header_.block_size, file_length_};
    std::vector<std::uint8_t> root;
    std::vector<std::uint8_t> first_child;
    if (!read_chain(source, root_offset, dat_node_length, walk.window, root) ||
        !has_children(root) ||
        !read_chain(source, load_u32(root, 0), dat_node_length, walk.window, first_child) ||
        !has_children(first_child)) {
        return false;
    }
    const std::uint32_t entry_count = load_u32(root, dat_node_count_at);
    const std::size_t branches = std::size_t{entry_count} + 1;
    const std::size_t cut = (branches + 1) / 2;
    Walk later;
    for (Walk* half : {&walk, &later}) {
        half->on_path.push_back(root_offset);
        half->preorder = entry_count;
    }

    // Once both halves are walked, the first thread says where the later half's entries go
    // (nowhere when the halves are not joined), and each thread copies half of them: the pages
    // they land on are new, and faulting them in is most of a copy's cost.
    std::latch walked{1};
    std::latch placed{1};
    DatDirectory::value_type* room = nullptr;
    const auto copy_later = [&](bool upper) {
        const std::size_t half = later.table.size() / 2;
        const std::size_t from = upper ? half : 0;
        const std::size_t to = upper ? later.table.size() : half;
        std::copy(later.table.begin() + from, later.table.begin() + to, room + from);
    };
    bool later_walked = false;
    std::thread helper;
    try {
        helper = std::thread{[&]() noexcept {
            try {
                later_walked = walk_branches(root, 0, cut, branches, later).has_value();
            } catch (...) {
                // Walked again on one thread, which meets the same failure and reports it.
            }
            walked.count_down();
            placed.wait();
            if (room != nullptr) {
                copy_later(true);
            }
        }};
    } catch (const std::system_error&) {
        return false;
    }
    tarnwick_base::keep_off_this_core(helper.native_handle());
    bool first_walked = false;
    try {
        first_walked = walk_branches(root, 0, 0, cut, walk).has_value();
    } catch (...) {
    }
    walked.wait();

    // A failure, or a node reached from both halves (which one thread reads once, and may find
    // on its path), is left to the walk on one thread.
    const std::size_t first_size = walk.table.size();
    bool in_order = false;
    if (first_walked && later_walked &&
        std::ranges::none_of(later.finished,
                             [&](std::uint32_t node) { return walk.finished.contains(node); })) {
        in_order = walk.ascending && later.ascending &&
                   (first_size == 0 || later.table.empty() ||
                    walk.table.begin()[first_size - 1].first < later.table.begin()->first);
        try {
            room = walk.extend(later.table.size());
        } catch (const std::bad_alloc&) {
        }
    }
    placed.count_down();
    if (room != nullptr) {
        copy_later(false);
    }
    helper.join();
    if (room == nullptr) {
        return false;
    }
    // Its entries' ranks in pre-order come after all of the first half's, except the root's
    // own, which rank first either way.
    try {
        for (const Walk::Run& run : later.runs) {
            const std::size_t rank =
                run.rank < entry_count ? run.rank : run.rank + (walk.preorder - entry_count);
            walk.runs.push_back({run.at + first_size, rank});
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    walk.ascending = in_order;
    walk.shape.nodes += 1 + later.shape.nodes;
    walk.shape.depth = std::max(walk.shape.depth, later.shape.depth);
    return true;
}

// Branch i leads to the ids below entry i, the one after the last entry to those above it.
std::expected<void, DatError> DatDatabase::walk_branches(std::span<const std::uint8_t> node,
                                                         std::size_t rank, std::size_t from,
                                                         std::size_t to, Walk& walk) const {
    const std::size_t entry_count = load_u32(node, dat_node_count_at);
    for (std::size_t i = from; i < to; ++i) {
        TARNWICK_TRY(walk_node(load_u32(node, 4 * i), walk));
        if (i < entry_count) {
            walk.add(node, i, i + 1, rank);
        }
    }
    return {};
}

std::expected<void, DatError> DatDatabase::walk_node(std::uint32_t offset, Walk& walk) const {
    if (offset == 0) {
        return {};
    }
    if (walk.finished.contains(offset)) {
        return {};
    }
    const std::size_t level = walk.on_path.size();
    if (level >= dat_max_tree_depth) {
        return std::unexpected{corruption("directory tree deeper than " +
                                          std::to_string(dat_max_tree_depth) +
                                          " levels at node offset 0x" + hex_lower(offset))};
    }
    if (std::ranges::find(walk.on_path, offset) != walk.on_path.end()) {
        return std::unexpected{corruption("directory node at offset 0x" + hex_lower(offset) +
                                          " is reached again through its own branches")};
    }
    walk.on_path.push_back(offset);
    walk.shape.nodes += 1;
    walk.shape.depth = std::max(walk.shape.depth, walk.on_path.size());
    std::vector<std::uint8_t>& buffer = walk.nodes[level];
    TARNWICK_TRY(read_chain(ChainSource{*file_, header_.block_size, file_length_}, offset,
                            dat_node_length, walk.window, buffer));
    // The children read into the buffers below this one, which stays as it is.
    const std::span<const std::uint8_t> node = buffer;
    const std::uint32_t entry_count = load_u32(node, dat_node_count_at);
    if (entry_count > dat_node_entry_slots) {
        // The entry after the last slot has no bytes; the record reader names where it fails.
        ByteReader past_the_slots{node.subspan(dat_node_length)};
        return std::unexpected{DatError{DatFileEntry::read(past_the_slots).error()}};
    }
    const std::size_t rank = walk.preorder;
    walk.preorder += entry_count;
    // A node whose first branch is 0 has no children.
    if (load_u32(node, 0) == 0) {
        walk.add(node, 0, entry_count, rank);
    } else {
        TARNWICK_TRY(walk_branches(node, rank, 0, std::size_t{entry_count} + 1, walk));
    }
    walk.on_path.pop_back();
    walk.finished.insert(offset);
    return {};
}

}  // namespace tarnwick_dat
