#include "tarnwick_dat/lib.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "tarnwick_base/expected.hpp"
#include "tarnwick_base/hex.hpp"
#include "tarnwick_dat/block_chain.hpp"
#include "tarnwick_dat/test_support/memory_file.hpp"
#include "tarnwick_dat/test_support/source_line.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"
#include "tarnwick_dat/utils.hpp"
#include "tarnwick_dat/utils/read_window.hpp"
#include "tarnwick_dat/writer.hpp"

namespace tarnwick_dat {

using tarnwick_base::hex_lower;

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Header bytes (80) with the three fields that decide the archive kind.
Bytes header_bytes(std::uint32_t magic, std::uint32_t block_size, std::uint32_t dataset) {
    Bytes bytes(80, 0);
    put_u32(bytes, 0, magic);
    put_u32(bytes, 4, block_size);
    put_u32(bytes, 12, dataset);
    return bytes;
}

DatHeader parse(const Bytes& bytes) {
    ByteReader reader{bytes};
    return DatHeader::read(reader).value();
}

TEST(DatKind, DecidedByMagicBlockSizeAndDataset) {
    struct Case {
        std::uint32_t magic, block_size, dataset;
        DatKind kind;
    };
    const Case cases[] = {
        {0x5442, 1024, 1, DatKind::Portal},  {0x5442, 1024, 2, DatKind::Local},
        {0x5442, 256, 2, DatKind::Cell},     {0x5442, 256, 1, DatKind::Local},
        {0x4254, 1024, 1, DatKind::Unknown}, {0x5442, 512, 1, DatKind::Local},
        {0, 256, 2, DatKind::Unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse(header_bytes(c.magic, c.block_size, c.dataset)).dat_kind(), c.kind)
            << c.magic << " " << c.block_size << " " << c.dataset;
    }
}

TEST(DatHeaderRead, FieldsInFileOrderAndRawVersionBytes) {
    Bytes bytes(80, 0);
    for (std::size_t field = 0; field < 15; ++field) {
        put_u32(bytes, field * 4, static_cast<std::uint32_t>(100 + field));
    }
    for (std::size_t i = 0; i < 16; ++i) {
        bytes[60 + i] = static_cast<std::uint8_t>(0xF0 + i);  // not valid text
    }
    put_u32(bytes, 76, 0xCAFE);
    ByteReader reader{bytes};
    const DatHeader header = DatHeader::read(reader).value();
    EXPECT_EQ(header.magic, 100u);
    EXPECT_EQ(header.dataset, 103u);
    EXPECT_EQ(header.root_offset, 108u);
    EXPECT_EQ(header.use_lru, 111u);
    EXPECT_EQ(header.game_version, 114u);
    ASSERT_EQ(header.version_string.size(), 16u);
    EXPECT_EQ(header.version_string[15], 0xFF);
    EXPECT_EQ(header.version_minor, 0xCAFEu);
    EXPECT_EQ(reader.position().value(), 80u);
}

class HeaderFromFile
    : public ::testing::TestWithParam<std::tuple<std::size_t, const char*, const char*>> {
  protected:
    test_support::TempDir dir_;
    std::filesystem::path path_ = dir_ / "header.dat";
};

// Archives shorter than 400 bytes fail in the first header field that does not fit.
TEST_P(HeaderFromFile, TruncatedArchiveNamesTheFirstMissingField) {
    const auto [file_length, field, cause] = GetParam();
    {
        std::ofstream out{path_, std::ios::binary};
        const std::string bytes(file_length, '\x01');
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, dat_header_offset, SEEK_SET), 320);
    FileReader reader{fd};
    auto failed = DatHeader::read(reader);
    const off_t position_after = ::lseek(fd, 0, SEEK_CUR);
    ::close(fd);

    ASSERT_FALSE(failed);
    const ReadError& error = failed.error();
    EXPECT_EQ(error.cause_text(), cause);
    ASSERT_EQ(error.frames().size(), 1u);
    EXPECT_EQ(error.frames()[0].message,
              std::string{"While parsing field '"} + field + "' in DatHeader");
    EXPECT_EQ(error.frames()[0].location->file, "crates/tarnwick-dat/src/lib.hpp");
    EXPECT_EQ(position_after, 320);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, HeaderFromFile,
    ::testing::Values(std::tuple{std::size_t{320}, "magic", "failed to fill whole buffer"},
                      std::tuple{std::size_t{330}, "file_size", "failed to fill whole buffer"},
                      std::tuple{std::size_t{379}, "game_version", "failed to fill whole buffer"},
                      std::tuple{std::size_t{380}, "version_string", "not enough bytes in reader"},
                      std::tuple{std::size_t{395}, "version_string", "not enough bytes in reader"},
                      std::tuple{std::size_t{396}, "version_minor", "failed to fill whole buffer"},
                      std::tuple{std::size_t{399}, "version_minor", "failed to fill whole buffer"}),
    [](const auto& case_info) { return "bytes" + std::to_string(std::get<0>(case_info.param)); });

TEST(DatFileEntry, ReadsItsFieldsAndFrames) {
    const Bytes bytes{2, 0, 0, 0, 1, 0, 0, 0x10, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0};
    ByteReader reader{bytes};
    auto entry = DatFileEntry::read(reader);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->bit_flags, 2u);
    EXPECT_FALSE(entry->is_compressed());
    EXPECT_EQ(entry->id, 0x10000001u);
    EXPECT_EQ(entry->version, 6u);

    ByteReader short_reader{std::span{bytes}.first(22)};
    auto failed = DatFileEntry::read(short_reader);
    ASSERT_FALSE(failed.has_value());
    ASSERT_EQ(failed.error().frames().size(), 1u);
    EXPECT_EQ(failed.error().frames()[0].message, "While parsing field 'version' in DatFileEntry");
    EXPECT_EQ(failed.error().frames()[0].location->file, "crates/tarnwick-dat/src/lib.hpp");
    EXPECT_EQ(short_reader.position(), 0u);
}

TEST(HeaderAndEntryFieldSites, EveryFrameLineHoldsItsFieldDeclaration) {
    const std::pair<const char*, std::vector<FieldSite>> records[] = {
        {"DatHeader",
         {DatHeader::magic_site, DatHeader::block_size_site, DatHeader::file_size_site,
          DatHeader::dataset_site, DatHeader::subset_site, DatHeader::free_head_site,
          DatHeader::free_tail_site, DatHeader::free_count_site, DatHeader::root_offset_site,
          DatHeader::new_lru_site, DatHeader::old_lru_site, DatHeader::use_lru_site,
          DatHeader::master_map_id_site, DatHeader::engine_version_site,
          DatHeader::game_version_site, DatHeader::version_string_site,
          DatHeader::version_minor_site}},
        {"DatFileEntry",
         {DatFileEntry::bit_flags_site, DatFileEntry::id_site, DatFileEntry::offset_site,
          DatFileEntry::size_site, DatFileEntry::timestamp_site, DatFileEntry::version_site}},
    };
    for (const auto& [record, sites] : records) {
        for (const FieldSite& site : sites) {
            const std::string line = test_support::source_line(site.file, site.line).value_or("");
            EXPECT_NE(line.find("TARNWICK_FIELD("), std::string::npos) << site.field;
            EXPECT_NE(line.find(", " + std::string{site.field} + ")"), std::string::npos) << line;
            EXPECT_EQ(site.record, record);
        }
    }
}

class ArchiveTest : public ::testing::Test {
  protected:
    DatWriter create(std::uint32_t block_size = 1024) {
        auto writer = DatWriter::create(path_, block_size);
        EXPECT_TRUE(writer.has_value());
        return std::move(*writer);
    }
    std::expected<DatDatabase, DatError> open(DatWriter& writer) {
        EXPECT_TRUE(writer.finish().has_value());
        return DatDatabase::open(path_);
    }
    DatDatabase open_ok(DatWriter& writer) {
        auto database = open(writer);
        EXPECT_TRUE(database.has_value()) << database.error().display();
        return std::move(*database);
    }
    static DatFileEntry entry(std::uint32_t id, std::uint32_t offset = 0, std::uint32_t size = 0,
                              std::uint32_t bit_flags = 0) {
        DatFileEntry e;
        e.id = id;
        e.offset = offset;
        e.size = size;
        e.bit_flags = bit_flags;
        return e;
    }
    static std::uint32_t leaf(DatWriter& writer, std::vector<DatFileEntry> entries) {
        DirectoryNode node;
        node.entries = std::move(entries);
        return *writer.write_node(node);
    }
    void write_file(std::size_t length, std::uint32_t root_offset, std::uint32_t magic = 0) {
        Bytes bytes(length);
        if (length >= 356) {
            put_u32(bytes, 320, magic);
            put_u32(bytes, 324, 1024);  // block_size
            put_u32(bytes, 352, root_offset);
        }
        std::ofstream{path_, std::ios::binary}.write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
    }
    // The archive does not open: corruption, told as `display`.
    void expect_corruption(DatWriter& writer, const std::string& display) {
        auto database = open(writer);
        ASSERT_FALSE(database.has_value());
        ASSERT_TRUE(database.error().is<DatError::Corruption>());
        EXPECT_EQ(database.error().display(), "Corruption detected: " + display);
    }
    static Bytes file_bytes(const DatDatabase& database, std::uint32_t id) {
        auto bytes = database.get_file(id);
        EXPECT_TRUE(bytes.has_value()) << bytes.error().display();
        return bytes ? std::move(*bytes) : Bytes{0xBA, 0xD0};
    }
    static std::vector<std::uint32_t> ids(const std::vector<DatFileEntry>& entries) {
        std::vector<std::uint32_t> keys;
        for (const DatFileEntry& entry : entries) {
            keys.push_back(entry.id);
        }
        return keys;
    }

    test_support::TempDir dir_;
    std::filesystem::path path_ = dir_ / "archive.dat";
};

TEST_F(ArchiveTest, MissingPathIsAPathError) {
    const auto missing = dir_ / "missing.dat";
    auto database = DatDatabase::open(missing);
    ASSERT_FALSE(database.has_value());
    const auto* error = std::get_if<DatError::PathError>(&database.error().kind());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->path, missing);
    EXPECT_EQ(database.error().display(), "Failed to open file at " + missing.string() +
                                              ": No such file or directory (os error 2)");
}

// A directory opens like a file; reading its header is what fails.
TEST_F(ArchiveTest, DirectoryFailsWhenItsHeaderIsRead) {
    auto database = DatDatabase::open(dir_.path());
    ASSERT_FALSE(database.has_value());
    ASSERT_TRUE(database.error().is<DatError::BinRead>());
    EXPECT_THAT(database.error().display(), HasSubstr("(os error 21)"));
}

TEST_F(ArchiveTest, FileEndingInsideTheHeaderNamesTheField) {
    write_file(399, 0);
    auto database = DatDatabase::open(path_);
    ASSERT_FALSE(database.has_value());
    ASSERT_TRUE(database.error().is<DatError::BinRead>());
    EXPECT_THAT(database.error().display(),
                HasSubstr("While parsing field 'version_minor' in DatHeader"));
}

TEST_F(ArchiveTest, RootZeroIsAnEmptyDirectoryWhateverTheMagic) {
    write_file(400, 0, 0x12345678);
    auto database = DatDatabase::open(path_);
    ASSERT_TRUE(database.has_value()) << database.error().display();
    EXPECT_TRUE(database->files().empty());
    EXPECT_EQ(database->directory_shape().nodes, 0u);
    EXPECT_EQ(database->directory_shape().depth, 0u);
    EXPECT_EQ(database->dat_kind(), DatKind::Unknown);
    auto file = database->get_file(0x10000001);
    ASSERT_FALSE(file.has_value());
    EXPECT_EQ(file.error().display(), "File ID 10000001 not found in provider");
}

TEST_F(ArchiveTest, RootPastTheEndIsAnIoError) {
    write_file(400, 0x10000);
    auto database = DatDatabase::open(path_);
    ASSERT_FALSE(database.has_value());
    EXPECT_EQ(database.error().display(), "IO error: failed to fill whole buffer");
}

struct BranchCase {
    const char* name;
    std::uint32_t entry_count;
    std::vector<std::size_t> set_branches;  // which branches point at a child
    std::vector<std::size_t> followed;      // whose entries appear
    std::size_t depth;                      // levels of nodes read
};

// Children hold one entry each, id 0x100 + their branch index; the root holds 0x1..count.
TEST_F(ArchiveTest, FollowsBranchesByTheirRules) {
    const BranchCase cases[] = {
        {"a root without entries or branches is empty", 0, {}, {}, 1},
        {"a leaf ignores its other branches", 1, {1, 2}, {}, 1},
        {"count 2 follows branches 0 to 2 only", 2, {0, 1, 2, 3}, {0, 1, 2}, 2},
        {"a zero branch is skipped", 2, {0, 2}, {0, 2}, 2},
        {"61 entries reach branch 61", 61, {0, 61}, {0, 61}, 2},
    };
    for (const BranchCase& c : cases) {
        DatWriter writer = create();
        DirectoryNode root;
        std::vector<std::uint32_t> expected;
        for (std::uint32_t i = 1; i <= c.entry_count; ++i) {
            root.entries.push_back(entry(i));
            expected.push_back(i);
        }
        for (std::size_t branch : c.set_branches) {
            root.branches[branch] =
                leaf(writer, {entry(0x100 + static_cast<std::uint32_t>(branch))});
        }
        for (std::size_t branch : c.followed) {
            expected.push_back(0x100 + static_cast<std::uint32_t>(branch));
        }
        writer.header().root_offset = *writer.write_node(root);
        const DatDatabase database = open_ok(writer);
        EXPECT_EQ(ids(database.entries()), expected) << c.name;
        // Only the nodes followed are read.
        EXPECT_EQ(database.directory_shape().nodes, 1 + c.followed.size()) << c.name;
        EXPECT_EQ(database.directory_shape().depth, c.depth) << c.name;
    }
}

// Pre-order, a node's entries before its children, children in branch order: the later wins.
TEST_F(ArchiveTest, DuplicateIdsKeepTheLaterEntry) {
    DatWriter writer = create();
    DirectoryNode root;
    root.entries = {entry(7, 1), entry(8, 1), entry(7, 2)};
    root.branches[0] = leaf(writer, {entry(8, 3), entry(9, 3)});
    root.branches[1] = leaf(writer, {entry(9, 4)});
    writer.header().root_offset = *writer.write_node(root, ChainLayout::Scattered);
    DatDatabase database = open_ok(writer);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> offsets;
    for (const auto& [id, kept] : database.files()) {
        offsets.emplace_back(id, kept.offset);
    }
    EXPECT_EQ(offsets,
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{7, 2}, {8, 3}, {9, 4}}));
}

// Opened for one type, an archive holds exactly the entries of that type that the whole open
// holds, and fails as the whole open does: over a search tree, over a tree out of order that
// gives ids twice (kept as the later in pre-order), and over corrupt trees.
TEST_F(ArchiveTest, OpenedForOneTypeHoldsThatTypeOfTheWholeDirectory) {
    const auto search_tree = [this](DatWriter& writer) {
        std::vector<DatFileEntry> stored;
        for (std::uint32_t i = 0; i < 200; ++i) {
            const std::uint32_t prefix = std::array{0x01u, 0x06u, 0x10u}[i % 3];
            stored.push_back(entry(prefix << 24 | i, 0, i));
        }
        writer.write_directory(stored);
    };
    const auto out_of_order = [this](DatWriter& writer) {
        DirectoryNode root;
        root.entries = {entry(0x10000007, 0, 1), entry(0x01000002, 0, 1), entry(0x10000003, 0, 1)};
        root.branches[0] =
            leaf(writer, {entry(0x10000009, 0, 2), entry(0x10000007, 0, 2), entry(0x06000001)});
        root.branches[2] = leaf(
            writer, {entry(0x10000001, 0, 3), entry(0x01000002, 0, 3), entry(0x10000001, 0, 4)});
        writer.header().root_offset = *writer.write_node(root);
    };
    const auto sixty_two_entries = [this](DatWriter& writer) {
        DirectoryNode root;
        root.entries = {entry(0x10000001)};
        root.entry_count = 62;
        writer.header().root_offset = *writer.write_node(root);
    };
    const auto branch_to_itself = [](DatWriter& writer) {
        auto blocks = *writer.allocate_chain(dat_node_length, ChainLayout::Contiguous);
        DirectoryNode root;
        root.entries = {entry(0x10000001)};
        root.branches[0] = blocks[0];
        ASSERT_TRUE(writer.write_node_at(blocks, root).has_value());
        writer.header().root_offset = blocks[0];
    };
    const std::pair<const char*, std::function<void(DatWriter&)>> archives[] = {
        {"search tree", search_tree},
        {"out of order, ids twice", out_of_order},
        {"62 entries", sixty_two_entries},
        {"branch to itself", branch_to_itself},
    };
    for (const auto& [name, write] : archives) {
        DatWriter writer = create();
        write(writer);
        ASSERT_TRUE(writer.finish().has_value()) << name;
        const auto whole = DatDatabase::open(path_);
        for (const DatFileType type :
             {DatFileType::Clothing, DatFileType::Model, DatFileType::Palette}) {
            std::ifstream in{path_, std::ios::binary};
            auto from_memory = DatDatabase::open(
                std::make_unique<test_support::MemoryFile>(
                    Bytes{std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}}),
                type);
            for (const auto& one_type : {DatDatabase::open(path_, type), std::move(from_memory)}) {
                ASSERT_EQ(one_type.has_value(), whole.has_value()) << name;
                if (!whole) {
                    EXPECT_EQ(one_type.error().debug(), whole.error().debug()) << name;
                    continue;
                }
                std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> expected;
                for (const auto& [id, kept] : whole->files()) {
                    if (whole->type_of(id) == type) {
                        expected.emplace_back(id, kept.id, kept.size);
                    }
                }
                std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> held;
                for (const auto& [id, kept] : one_type->files()) {
                    held.emplace_back(id, kept.id, kept.size);
                }
                EXPECT_EQ(held, expected) << name << ", " << file_type_name(type);
                EXPECT_EQ(one_type->directory_shape().nodes, whole->directory_shape().nodes);
            }
        }
    }
}

TEST_F(ArchiveTest, SixtySecondEntryHasNoBytes) {
    DatWriter writer = create();
    DirectoryNode root;
    root.entries = {entry(1)};
    root.entry_count = 62;
    writer.header().root_offset = *writer.write_node(root);
    auto database = open(writer);
    ASSERT_FALSE(database.has_value());
    ASSERT_TRUE(database.error().is<DatError::BinRead>());
    const auto& read = std::get<DatError::BinRead>(database.error().kind()).error;
    ASSERT_EQ(read.frames().size(), 1u);
    EXPECT_EQ(read.frames()[0].message, "While parsing field 'bit_flags' in DatFileEntry");
}

TEST_F(ArchiveTest, GetFileServesStoredAndExpandedBytesOrTheError) {
    DatWriter writer = create(64);
    const Bytes text(3000, 'z');
    const Bytes small{1, 2, 3};
    std::vector<DatFileEntry> entries{
        *writer.store_file(0x10000001, text, {.compressed = true}),
        *writer.store_file(0x10000002, small, {.extra_flags = 2}),
        // Size 0 reads nothing, even where no block exists, compressed or not.
        entry(0x10000003, 0xFFFFFF00, 0, 1),
        entry(0x10000004, 0xFFFFFF00, 0, 0),
    };
    // Bit 1 alone does not mark compression: four bytes that would expand to nothing.
    const Bytes prefixed{9, 0, 0, 0, 0x00, 'a'};
    entries.push_back(entry(0x10000005, *writer.store_chain(prefixed, ChainLayout::Contiguous),
                            static_cast<std::uint32_t>(prefixed.size()), 2));
    entries.push_back(*writer.store_file(0x10000006, Bytes(200, 1)));
    writer.write_directory(entries);
    // Its chain runs past the end.
    ASSERT_TRUE(writer.write_u32(entries.back().offset, 0x00FFFF00).has_value());
    DatDatabase database = open_ok(writer);
    const auto compressed = database.files().find(0x10000001);
    ASSERT_TRUE(compressed != database.files().end());
    EXPECT_LT(compressed->second.size, 1000u);
    EXPECT_EQ(file_bytes(database, 0x10000001), text);
    EXPECT_EQ(file_bytes(database, 0x10000002), small);
    EXPECT_EQ(file_bytes(database, 0x10000003), Bytes{});
    EXPECT_EQ(file_bytes(database, 0x10000004), Bytes{});
    EXPECT_EQ(file_bytes(database, 0x10000005), prefixed);
    EXPECT_EQ(database.get_file(0x10000006).error().display(),
              "IO error: failed to fill whole buffer");
    // Two calls give equal, separately owned bytes.
    EXPECT_EQ(file_bytes(database, 0x10000001), file_bytes(database, 0x10000001));
    // The sizes those reads give, known without expanding.
    for (const auto& [id, size] :
         {std::pair{0x10000001u, 3000u}, {0x10000002u, 3u}, {0x10000003u, 0u}, {0x10000005u, 6u}}) {
        EXPECT_EQ(database.expanded_size(id), size) << std::hex << id;
    }
    EXPECT_TRUE(database.expanded_size(0x10000007).error().is<DatError::NotFound>());
}

TEST_F(ArchiveTest, EntriesInIdOrderOfOneTypeAlikeByPathAndFromMemory) {
    DatWriter writer = create();
    std::vector<DatFileEntry> stored;
    for (const std::uint32_t id :
         {0x10000002u, 0x01000005u, 0x10000001u, 0x06000003u, 0xFFFF0001u, 0xFF000002u}) {
        stored.push_back(*writer.store_file(id, Bytes{1, 2, 3}, {.timestamp = 86400}));
    }
    writer.write_directory(stored);
    const DatDatabase by_path = open_ok(writer);
    std::ifstream in{path_, std::ios::binary};
    auto from_memory = DatDatabase::open(std::make_unique<test_support::MemoryFile>(
        Bytes{std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}}));
    ASSERT_TRUE(from_memory.has_value()) << from_memory.error().display();
    for (const DatDatabase* database : {&by_path, static_cast<const DatDatabase*>(&*from_memory)}) {
        EXPECT_EQ(ids(database->entries()),
                  (std::vector<std::uint32_t>{0x01000005, 0x06000003, 0x10000001, 0x10000002,
                                              0xFF000002, 0xFFFF0001}));
        EXPECT_EQ(ids(database->entries(DatFileType::Clothing)),
                  (std::vector<std::uint32_t>{0x10000001, 0x10000002}));
        EXPECT_TRUE(database->entries(DatFileType::Palette).empty());
        // Each type's entries are those of all whose id is of that type.
        for (const DatFileType type : all_file_types()) {
            std::vector<std::uint32_t> of_type;
            for (const DatFileEntry& entry : database->entries()) {
                if (database->type_of(entry.id) == type) {
                    of_type.push_back(entry.id);
                }
            }
            EXPECT_EQ(ids(database->entries(type)), of_type) << file_type_name(type);
        }
        EXPECT_EQ(database->type_of(0x06000003), DatFileType::Texture);
        EXPECT_EQ(file_bytes(*database, 0x10000001), (Bytes{1, 2, 3}));
    }
    using namespace std::chrono;
    EXPECT_EQ(by_path.entries().front().modified_time(), sys_days{1970y / January / 2});
}

// The directory lives in a block of its own; moving an archive, or assigning one over another,
// keeps every entry reachable (under the address sanitizer: without touching freed memory), and
// leaves the archive moved from with an empty directory. A copied directory stands on its own.
TEST_F(ArchiveTest, MovedArchivesKeepTheirDirectory) {
    DatWriter writer = create(64);
    writer.write_directory({*writer.store_file(0x10000001, Bytes{1, 2, 3})});
    DatDatabase first = open_ok(writer);
    DatDatabase second = open_ok(writer);
    second = std::move(first);
    EXPECT_TRUE(first.files().empty());  // what a move leaves behind
    DatDatabase third{std::move(second)};
    EXPECT_TRUE(second.files().empty());
    ASSERT_EQ(third.files().size(), 1u);
    EXPECT_EQ(file_bytes(third, 0x10000001), (Bytes{1, 2, 3}));
    DatDirectory copy = third.files();
    copy = DatDirectory{copy};
    { const DatDatabase gone = std::move(third); }
    ASSERT_EQ(copy.size(), 1u);
    EXPECT_EQ(copy.find(0x10000001)->second.size, 3u);
}

// Hostile archives end in an error at once, without hanging or allocating their claims.

TEST_F(ArchiveTest, BranchBackToANodeOnThePathIsCorruption) {
    for (bool to_self : {true, false}) {
        DatWriter writer = create();
        auto root_blocks = *writer.allocate_chain(dat_node_length, ChainLayout::Contiguous);
        DirectoryNode child;
        child.branches[0] = root_blocks[0];
        const std::uint32_t child_offset = *writer.write_node(child);
        DirectoryNode root;
        root.branches[0] = to_self ? root_blocks[0] : child_offset;
        ASSERT_TRUE(writer.write_node_at(root_blocks, root).has_value());
        writer.header().root_offset = root_blocks[0];
        expect_corruption(writer, "directory node at offset 0x" + hex_lower(root_blocks[0]) +
                                      " is reached again through its own branches");
    }
}

// One node shared by 62 branches at each of 20 levels would take 62^20 visits if every branch
// were walked again; each shared node is read once and the archive opens.
TEST_F(ArchiveTest, SharedSubtreeIsReadOnce) {
    DatWriter writer = create();
    std::uint32_t below = leaf(writer, {entry(1)});
    for (int level = 0; level < 20; ++level) {
        DirectoryNode node;
        node.entries.assign(61, entry(2));
        node.branches.fill(below);
        below = *writer.write_node(node);
    }
    writer.header().root_offset = below;
    auto database = open(writer);
    ASSERT_TRUE(database.has_value()) << database.error().display();
    EXPECT_EQ(database->files().size(), 2u);
    EXPECT_EQ(database->directory_shape().nodes, 21u);
    EXPECT_EQ(database->directory_shape().depth, 21u);
}

TEST_F(ArchiveTest, TreeDeeperThanAnyRealOneIsCorruption) {
    DatWriter writer = create();
    std::uint32_t below = leaf(writer, {entry(1)});
    std::uint32_t first_refused = 0;
    for (std::size_t level = 0; level < dat_max_tree_depth + 5; ++level) {
        DirectoryNode node;
        node.branches[0] = below;
        below = *writer.write_node(node);
        if (level == 4) {
            first_refused = below;
        }
    }
    writer.header().root_offset = below;
    expect_corruption(writer, "directory tree deeper than 32 levels at node offset 0x" +
                                  hex_lower(first_refused));
}

TEST_F(ArchiveTest, HeaderWithoutBlockPayloadIsCorruption) {
    DatWriter writer = create();
    writer.header().root_offset = leaf(writer, {entry(1)});
    writer.header().block_size = 4;
    auto database = open(writer);
    ASSERT_FALSE(database.has_value());
    EXPECT_TRUE(database.error().is<DatError::Corruption>());
}

// An entry claiming 4 GiB, stored compressed and declaring 4 GiB of output: both refused; the
// expansion reserves only what its few bytes of stream can produce.
TEST_F(ArchiveTest, OversizedEntriesAreRefusedWithoutAllocating) {
    DatWriter writer = create(64);
    const Bytes bomb{0xFF, 0xFF, 0xFF, 0xFF, 0x40, 'a', 0x01, 0x0F};
    const std::uint32_t bomb_offset = *writer.store_chain(bomb, ChainLayout::Contiguous);
    writer.write_directory({entry(1, bomb_offset, 0xFFFFFFFF), entry(2, bomb_offset, 8, 1)});
    DatDatabase database = open_ok(writer);
    auto huge = database.get_file(1);
    ASSERT_FALSE(huge.has_value());
    EXPECT_EQ(huge.error().display(), "IO error: failed to fill whole buffer");
    auto expanded = database.get_file(2);
    ASSERT_TRUE(expanded.has_value());
    EXPECT_EQ(*expanded, Bytes(18, 'a'));
    EXPECT_LE(expanded->capacity(), 4 * 17u);
}

using Directory = std::map<std::uint32_t, DatFileEntry>;

std::string outcome(const std::expected<std::vector<std::uint8_t>, DatError>& read) {
    return read ? std::string{read->begin(), read->end()} : read.error().debug();
}

std::string line(std::uint32_t id, const std::string& outcome) {
    std::string text = "\n";
    return text.append(hex_lower(id)).append(": ").append(outcome);
}

// The file's line in a listing: its bytes as `get_file` gives them from the stored ones
// (expanded when compressed), or the error.
std::string listed(const DatFileEntry& entry,
                   const std::expected<std::vector<std::uint8_t>, DatError>& stored) {
    return line(entry.id, stored && entry.is_compressed() ? outcome(decompress_lrs(*stored))
                                                          : outcome(stored));
}

// An archive file as the plain reading of it gives it: the header field by field from the
// file's position, each node and file step by step, entries inserted as they come. The fast
// paths are held to it, on archives cut anywhere.
class StepByStepArchive {
  public:
    explicit StepByStepArchive(const std::filesystem::path& path)
        : file_{ArchiveFile::open_read_only(path).value()} {}

    // The open's error, or every file's outcome.
    std::string read_everything() {
        FileReader reader{file_.fd()};
        EXPECT_TRUE(reader.seek(dat_header_offset).has_value());
        auto header = DatHeader::read(reader);
        if (!header) {
            return "open: " + DatError{std::move(header.error())}.debug();
        }
        Directory files;
        if (auto walked = read_node(header->block_size, header->root_offset, files); !walked) {
            return "open: " + walked.error().debug();
        }
        return read_files(files, header->block_size);
    }

    std::string read_files(const Directory& files, std::uint32_t block_size) const {
        std::string text;
        for (const auto& [id, entry] : files) {
            text += listed(entry, read_file_data(file_, block_size, entry.offset, entry.size));
        }
        return text;
    }

  private:
    std::expected<void, DatError> read_node(std::uint32_t block_size, std::uint32_t offset,
                                            Directory& files) {
        if (offset == 0) {
            return {};
        }
        auto node = read_file_data(file_, block_size, offset, dat_node_length);
        if (!node) {
            return tarnwick_base::take_error(node);
        }
        ByteReader reader{*node};
        std::array<std::uint32_t, dat_node_branch_count> branches{};
        for (std::uint32_t& branch : branches) {
            branch = read_u32(reader).value();
        }
        const std::uint32_t count = read_u32(reader).value();
        for (std::uint32_t i = 0; i < count; ++i) {
            auto entry = DatFileEntry::read(reader);
            if (!entry) {
                return std::unexpected{DatError{std::move(entry.error())}};
            }
            files[entry->id] = *entry;
        }
        for (std::size_t i = 0; branches[0] != 0 && i <= count && i < branches.size(); ++i) {
            TARNWICK_TRY(read_node(block_size, branches[i], files));
        }
        return {};
    }

    ArchiveFile file_;
};

// The same through the library, each file through `get_file` alone, through one window shared
// by all files, through the exact chain read, and through shared windows into a kept buffer and
// into room of the chain's size, which must all agree.
std::string read_files(const DatDatabase& database) {
    std::string text;
    ReadWindow shared;
    ReadWindow kept_window;
    ReadWindow room_window;
    Bytes kept;
    for (const auto& [id, entry] : Directory{database.files().begin(), database.files().end()}) {
        const auto alone = database.get_file(id);
        EXPECT_EQ(outcome(database.get_file(id, shared)), outcome(alone));
        const std::string listing = line(id, outcome(alone));
        const auto exact = database.read_file_data_exact(entry.offset, entry.size);
        EXPECT_EQ(listed(entry, exact), listing);
        const auto into_kept = database.read_file_data(entry.offset, entry.size, kept_window, kept);
        EXPECT_EQ(into_kept ? outcome(kept) : into_kept.error().debug(), outcome(exact));
        EXPECT_TRUE(into_kept || kept.empty());
        if (entry.size <= 4096) {
            Bytes room(entry.size);
            const auto into_room = database.read_file_data(entry.offset, room_window, room);
            EXPECT_EQ(into_room.has_value(), exact.has_value());
            EXPECT_TRUE(!into_room || room == *exact);
        }
        text += listing;
    }
    return text;
}

// A directory of several levels over small files, contiguous and scattered, some compressed,
// in small blocks, so that a cut at any byte lands in a header, node, link word or payload.
void write_mixed_archive(DatWriter& writer) {
    std::mt19937 rng{5};
    std::vector<DatFileEntry> entries;
    for (std::uint32_t i = 0; i < 130; ++i) {
        Bytes bytes(std::uniform_int_distribution<std::size_t>{0, 300}(rng));
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(rng() % 7);  // compressible
        }
        const StoreOptions options{
            .compressed = i % 3 == 0,
            .layout = i % 2 == 0 ? ChainLayout::Scattered : ChainLayout::Contiguous};
        entries.push_back(*writer.store_file(0x10000000 + i * 5, bytes, options));
    }
    writer.write_directory(entries);
}

TEST_F(ArchiveTest, TruncatedArchivesReadAsStepByStep) {
    DatWriter writer = create(64);
    write_mixed_archive(writer);
    ASSERT_TRUE(writer.finish().has_value());
    std::ifstream in{path_, std::ios::binary};
    const std::string whole{std::istreambuf_iterator<char>{in}, {}};
    // Every cut near the end of the header and through the directory, which the writer puts
    // after the files; a spread of cuts through the files. A file cut after the open is the
    // next test's.
    const std::size_t directory_from = whole.size() - 6 * dat_node_length;
    for (std::size_t cut = 300; cut <= whole.size();
         cut += cut < 400 || cut > directory_from ? 7 : 401) {
        std::ofstream{path_, std::ios::binary | std::ios::trunc}.write(
            whole.data(), static_cast<std::streamsize>(cut));
        auto database = DatDatabase::open(path_);
        ASSERT_EQ(database ? read_files(*database) : "open: " + database.error().debug(),
                  StepByStepArchive{path_}.read_everything())
            << "archive cut at " << cut << " of " << whole.size();
    }
}

// The length is taken once at open; a file cut afterwards still fails at the read that meets
// its end, as step by step.
TEST_F(ArchiveTest, ArchiveCutAfterOpenReadsAsStepByStep) {
    DatWriter writer = create(64);
    write_mixed_archive(writer);
    const DatDatabase database = open_ok(writer);
    const Directory files{database.files().begin(), database.files().end()};
    for (std::uint64_t cut = std::filesystem::file_size(path_); cut > 0;
         cut -= std::min<std::uint64_t>(cut, 331)) {
        std::filesystem::resize_file(path_, cut);
        ASSERT_EQ(read_files(database),
                  StepByStepArchive{path_}.read_files(files, database.header().block_size))
            << "archive cut to " << cut;
    }
}

}  // namespace
}  // namespace tarnwick_dat
