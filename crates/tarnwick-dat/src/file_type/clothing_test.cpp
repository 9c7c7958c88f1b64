#include "tarnwick_dat/file_type/clothing.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_dat/file_type/clothing_writer.hpp"
#include "tarnwick_dat/file_type/packable_hash_table.hpp"
#include "tarnwick_dat/test_support/byte_builder.hpp"
#include "tarnwick_dat/test_support/source_line.hpp"

namespace tarnwick_dat {
namespace {

using test_support::ByteBuilder;

constexpr std::string_view clothing_source = "crates/tarnwick-dat/src/file_type/clothing.hpp";

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// The display text of a failure with `cause` and one frame per site, innermost first.
std::string backtrace(std::string_view cause, const std::vector<FieldSite>& sites) {
    constexpr std::string_view bold = "\x1b[1m";
    constexpr std::string_view end_bold = "\x1b[22m";
    std::string out = "\n \u257a";
    out.append(repeated("\u2501", 20)).append("\u2505 Backtrace \u2505");
    out.append(repeated("\u2501", 20)).append("\u2578\n\n");
    int index = 0;
    for (const FieldSite& site : sites) {
        std::string message = "While parsing field '";
        message.append(site.field).append("' in ").append(site.record);
        if (index == 0) {
            out.append(" 0: ").append(bold).append(bold).append("Error: ").append(cause);
            out.append(end_bold).append("\n           ").append(bold).append(message);
            out.append(end_bold).append(end_bold).append("\n");
        } else {
            out.append(" ").append(std::to_string(index)).append(": ").append(bold);
            out.append(message).append(end_bold).append("\n");
        }
        out.append("     at ").append(site.file).append(":");
        out.append(std::to_string(site.line)).append("\n");
        ++index;
    }
    out.append("\n \u257a").append(repeated("\u2501", 53)).append("\u2578\n\n");
    return out;
}

std::vector<std::uint8_t> cut(std::vector<std::uint8_t> bytes, std::size_t length) {
    bytes.resize(length);
    return bytes;
}

bool is_end_of_data(const ReadError& error) {
    const auto* io = std::get_if<read_cause::Io>(&error.cause());
    return io != nullptr && io->error.kind() == IoErrorKind::UnexpectedEof;
}

std::vector<std::string> frame_messages(const ReadError& error) {
    std::vector<std::string> messages;
    for (const ReadFrame& frame : error.frames()) {
        messages.push_back(frame.message);
    }
    return messages;
}

// Every kind of record, several of them, with a sub-palette last in the stored form.
ClothingTable sample_table() {
    ClothingTable table;
    table.id = 0x10000001;
    CloObjectEffect swapped_part;
    swapped_part.index = 9;
    swapped_part.model_id = 0x01004AA7;
    swapped_part.clo_texture_effects = {{.old_texture = 0x050003D5, .new_texture = 0x0500025F},
                                        {.old_texture = 0x05000001, .new_texture = 0x05000002}};
    CloObjectEffect bare_part;
    bare_part.index = 3;
    bare_part.model_id = 0x01000002;
    table.clothing_base_effects[0x02000001].clo_object_effects = {swapped_part, bare_part};
    table.clothing_base_effects[0x02000002] = {};
    CloSubPalEffect& first = table.clothing_sub_pal_effects[1];
    first.icon = 0x06001234;
    first.clo_sub_palettes = {
        {.ranges = {{.offset = 0, .num_colors = 24}, {.offset = 24, .num_colors = 8}},
         .palette_set = 0x0F000001},
        {.ranges = {}, .palette_set = 0x0F000002}};
    CloSubPalEffect& last = table.clothing_sub_pal_effects[7];
    last.icon = 0x06000001;
    last.clo_sub_palettes = {
        {.ranges = {{.offset = 72, .num_colors = 8}}, .palette_set = 0x0F000003}};
    return table;
}

std::vector<std::uint8_t> stored(const ClothingTable& table) {
    return write_clothing_table(table).value();
}

// The base effect of one swapped part with one texture swap, stored with its key.
ByteBuilder one_base_effect_file() {
    ByteBuilder file;
    file.u32(0x10000001).u16(1).u16(0x40).u32(0x02000001);
    file.u32(1).u32(9).u32(0x01004AA7).u32(1).u32(0x050003D5).u32(0x0500025F);
    file.u16(0).u16(0);
    return file;
}

TEST(PackableHashTable, EmptyTableTakesFourBytes) {
    const std::vector<std::uint8_t> bytes = {0, 0, 0, 0, 0xAA};
    ByteReader reader{bytes};
    auto table = read_packable_hash_table(reader, CloTextureEffect::read);
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_TRUE(table->empty());
    EXPECT_EQ(reader.position().value(), 4u);
}

TEST(PackableHashTable, BucketSizeHasNoEffect) {
    for (const std::uint16_t bucket_size :
         std::initializer_list<std::uint16_t>{0x0040, 0x0000, 0xFFFF}) {
        ByteBuilder bytes;
        bytes.u16(1).u16(bucket_size).u32(0x1234).u32(0x05000001).u32(0x05000002);
        ByteReader reader{bytes.bytes()};
        auto table = read_packable_hash_table(reader, CloTextureEffect::read);
        ASSERT_TRUE(table.has_value()) << table.error().display();
        ASSERT_EQ(table->size(), 1u);
        EXPECT_EQ(table->at(0x1234).old_texture, 0x05000001u);
        EXPECT_EQ(table->at(0x1234).new_texture, 0x05000002u);
        EXPECT_EQ(reader.position().value(), 16u);
    }
}

TEST(PackableHashTable, RepeatedKeyKeepsTheLaterValueAndConsumesBoth) {
    ByteBuilder bytes;
    bytes.u16(3).u16(8).u32(5).u32(111).u32(6).u32(222).u32(5).u32(333).u32(0xC0FFEE);
    ByteReader reader{bytes.bytes()};
    auto table = read_packable_hash_table(reader, read_u32);
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(table->size(), 2u);
    EXPECT_EQ(table->at(5), 333u);
    EXPECT_EQ(table->at(6), 222u);
    EXPECT_EQ(read_u32(reader).value(), 0xC0FFEEu);
}

TEST(PackableHashTable, EndAfterCountFailsWithoutFrameAtTheBucketSize) {
    const std::vector<std::uint8_t> bytes = {1, 0};
    ByteReader reader{bytes};
    auto table = read_packable_hash_table(reader, CloTextureEffect::read);
    ASSERT_FALSE(table.has_value());
    EXPECT_TRUE(table.error().frames().empty());
    EXPECT_EQ(table.error().display(), "failed to fill whole buffer");
    EXPECT_EQ(reader.position().value(), 2u);
}

TEST(PackableHashTable, MissingThirdEntryFailsAtItsKeyOrInsideItsValue) {
    ByteBuilder two_entries;
    two_entries.u16(3).u16(0).u32(1).u32(10).u32(11).u32(2).u32(20).u32(21);
    const std::size_t third = two_entries.bytes().size();

    ByteBuilder short_key = two_entries;
    short_key.u16(3);
    ByteReader key_reader{short_key.bytes()};
    auto at_key = read_packable_hash_table(key_reader, CloTextureEffect::read);
    ASSERT_FALSE(at_key.has_value());
    EXPECT_TRUE(at_key.error().frames().empty());
    EXPECT_EQ(key_reader.position().value(), third);

    ByteBuilder short_value = two_entries;
    short_value.u32(3).u32(30);
    ByteReader value_reader{short_value.bytes()};
    auto in_value = read_packable_hash_table(value_reader, CloTextureEffect::read);
    ASSERT_FALSE(in_value.has_value());
    EXPECT_THAT(frame_messages(in_value.error()),
                ::testing::ElementsAre("While parsing field 'new_texture' in CloTextureEffect"));
    EXPECT_EQ(value_reader.position().value(), third + 4);
}

TEST(ClothingTable, TwelveBytesMakeTheSmallestTable) {
    const std::vector<std::uint8_t> bytes = {0x01, 0x00, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0};
    ByteReader reader{bytes};
    auto table = ClothingTable::read(reader, Endian::Little);
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(table->id, 0x10000001u);
    EXPECT_TRUE(table->clothing_base_effects.empty());
    EXPECT_TRUE(table->clothing_sub_pal_effects.empty());
    EXPECT_EQ(reader.position().value(), 12u);
}

// A byte after the table is left unread.
TEST(ClothingTable, ReadsEveryFieldOfEveryRecord) {
    std::vector<std::uint8_t> bytes = stored(sample_table());
    bytes.push_back(0x5A);
    ByteReader reader{bytes};
    auto table = ClothingTable::read(reader, Endian::Little);
    ASSERT_TRUE(table.has_value()) << table.error().display();
    EXPECT_EQ(reader.position().value(), bytes.size() - 1);
    EXPECT_EQ(table->id, 0x10000001u);

    ASSERT_EQ(table->clothing_base_effects.size(), 2u);
    const auto& parts = table->clothing_base_effects.at(0x02000001).clo_object_effects;
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].index, 9u);
    EXPECT_EQ(parts[0].model_id, 0x01004AA7u);
    ASSERT_EQ(parts[0].clo_texture_effects.size(), 2u);
    EXPECT_EQ(parts[0].clo_texture_effects[1].old_texture, 0x05000001u);
    EXPECT_EQ(parts[0].clo_texture_effects[1].new_texture, 0x05000002u);
    EXPECT_EQ(parts[1].index, 3u);
    EXPECT_TRUE(parts[1].clo_texture_effects.empty());
    EXPECT_TRUE(table->clothing_base_effects.at(0x02000002).clo_object_effects.empty());

    ASSERT_EQ(table->clothing_sub_pal_effects.size(), 2u);
    const CloSubPalEffect& first = table->clothing_sub_pal_effects.at(1);
    EXPECT_EQ(first.icon, 0x06001234u);
    ASSERT_EQ(first.clo_sub_palettes.size(), 2u);
    ASSERT_EQ(first.clo_sub_palettes[0].ranges.size(), 2u);
    EXPECT_EQ(first.clo_sub_palettes[0].ranges[1].offset, 24u);
    EXPECT_EQ(first.clo_sub_palettes[0].ranges[1].num_colors, 8u);
    EXPECT_EQ(first.clo_sub_palettes[0].palette_set, 0x0F000001u);
    EXPECT_EQ(first.clo_sub_palettes[1].palette_set, 0x0F000002u);
    EXPECT_EQ(table->clothing_sub_pal_effects.at(7).clo_sub_palettes.at(0).palette_set,
              0x0F000003u);
}

// A reader that cannot say where it stands.
class PositionlessReader final : public Reader {
  public:
    std::expected<std::size_t, IoError> read_some(std::span<std::uint8_t>) override { return 0; }
    std::expected<std::uint64_t, IoError> position() override {
        return std::unexpected{IoError::with_message(IoErrorKind::Unsupported, "no position")};
    }
    std::expected<void, IoError> seek(std::uint64_t) override { return {}; }
};

// Refused before reading, where the reader stands (0 for one that cannot say).
TEST(ClothingTable, BigEndianIsRefusedBeforeReading) {
    const std::vector<std::uint8_t> bytes(40, 0);
    ByteReader reader{bytes};
    ASSERT_TRUE(reader.seek(5).has_value());
    auto table = ClothingTable::read(reader, Endian::Big);
    ASSERT_FALSE(table.has_value());
    EXPECT_TRUE(std::holds_alternative<read_cause::Assertion>(table.error().cause()));
    EXPECT_EQ(table.error().display(), "ClothingTable is little-endian only at 0x5");
    EXPECT_EQ(reader.position().value(), 5u);
    PositionlessReader positionless;
    EXPECT_EQ(ClothingTable::read(positionless, Endian::Big).error().display(),
              "ClothingTable is little-endian only at 0x0");
}

TEST(ClothingTable, EndOfDataNamesTheFieldsItWasIn) {
    const std::vector<std::uint8_t> whole = stored(sample_table());
    ByteBuilder sub_pal;
    sub_pal.u32(0x10000002).u16(0).u16(0);
    sub_pal.u16(1).u16(0x40).u32(4).u32(0x06000001).u32(1).u32(1).u32(16).u32(8);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::vector<FieldSite> sites;
        std::size_t position;
    } cases[] = {
        {"a short id: the bare cause, no frame", {1, 0, 0}, {}, 0},
        {"inside new_texture (from 32), back after the base effect's key",
         cut(one_base_effect_file().bytes(), 34),
         {CloTextureEffect::new_texture_site, CloObjectEffect::clo_texture_effects_site,
          ClothingBaseEffect::clo_object_effects_site},
         12},
        {"inside num_colors",
         cut(sub_pal.bytes(), sub_pal.bytes().size() - 1),
         {CloSubPaletteRange::num_colors_site, CloSubPalette::ranges_site,
          CloSubPalEffect::clo_sub_palettes_site},
         16},
        {"the last byte missing: the last field",
         cut(whole, whole.size() - 1),
         {CloSubPalette::palette_set_site, CloSubPalEffect::clo_sub_palettes_site},
         whole.size() - 24},  // the last sub-palette effect, after its key
    };
    for (const auto& c : cases) {
        ByteReader reader{c.bytes};
        auto table = ClothingTable::read(reader, Endian::Little);
        ASSERT_FALSE(table.has_value()) << c.name;
        EXPECT_EQ(table.error().display(), c.sites.size() == 0
                                               ? std::string{"failed to fill whole buffer"}
                                               : backtrace("failed to fill whole buffer", c.sites))
            << c.name;
        EXPECT_EQ(reader.position().value(), c.position) << c.name;
    }
}

TEST(ClothingTable, HugeStoredCountFailsAtTheEndOfData) {
    ByteBuilder file;
    file.u32(0x10000003).u16(1).u16(0).u32(0x02000001).u32(0xFFFFFFFF).u32(9);
    ASSERT_EQ(file.bytes().size(), 20u);
    ByteReader reader{file.bytes()};
    auto table = ClothingTable::read(reader, Endian::Little);
    ASSERT_FALSE(table.has_value());
    EXPECT_TRUE(is_end_of_data(table.error()));
    EXPECT_THAT(frame_messages(table.error()),
                ::testing::ElementsAre("While parsing field 'model_id' in CloObjectEffect",
                                       "While parsing field 'clo_object_effects' in "
                                       "ClothingBaseEffect"));
}

TEST(ClothingTable, EveryTruncationFailsAtTheEndOfData) {
    const std::vector<std::uint8_t> whole = stored(sample_table());
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::vector<std::uint8_t> bytes = cut(whole, length);
        ByteReader reader{bytes};
        auto table = ClothingTable::read(reader, Endian::Little);
        ASSERT_FALSE(table.has_value()) << "length " << length;
        EXPECT_TRUE(is_end_of_data(table.error())) << "length " << length;
        EXPECT_EQ(table.error().cause_text(), "failed to fill whole buffer") << "length " << length;
        EXPECT_LE(reader.position().value(), length);
        for (const ReadFrame& frame : table.error().frames()) {
            ASSERT_TRUE(frame.location.has_value());
            EXPECT_EQ(frame.location->file, clothing_source);
        }
    }
}

TEST(ReadClothingTable, ParsesAWholeFileAndRefusesBytesLeftOver) {
    std::vector<std::uint8_t> bytes = stored(sample_table());
    auto whole = read_clothing_table(bytes);
    ASSERT_TRUE(whole.has_value()) << whole.error().display();
    EXPECT_EQ(stored(*whole), bytes);
    const std::size_t length = bytes.size();
    bytes.push_back(0x5A);
    auto longer = read_clothing_table(bytes);
    ASSERT_FALSE(longer.has_value());
    EXPECT_TRUE(longer.error().is<DatError::Corruption>());
    EXPECT_EQ(longer.error().display(),
              "Corruption detected: clothing table 0x" + tarnwick_base::hex_upper(whole->id) +
                  " ends at byte " + std::to_string(length) + " of " + std::to_string(length + 1));
    bytes.resize(length - 1);
    auto shorter = read_clothing_table(bytes);
    ASSERT_FALSE(shorter.has_value());
    EXPECT_TRUE(shorter.error().is<DatError::BinRead>());
}

struct SiteCase {
    const FieldSite& site;
    std::string_view record;
    std::string_view field;
    std::uint32_t line;  // the line failures have always reported for this field
};

class FieldSites : public ::testing::TestWithParam<SiteCase> {};

TEST_P(FieldSites, NameTheLineThatDeclaresTheField) {
    const SiteCase& c = GetParam();
    EXPECT_EQ(c.site.record, c.record);
    EXPECT_EQ(c.site.field, c.field);
    EXPECT_EQ(c.site.file, clothing_source);
    EXPECT_EQ(c.site.line, c.line);
    const auto line = test_support::source_line(c.site.file, c.site.line);
    ASSERT_TRUE(line.has_value()) << c.site.file << ":" << c.site.line;
    const std::string declared = ", " + std::string{c.field} + ");";
    const std::string count_declared = "TARNWICK_FIELD_SITE(" + std::string{c.field} + ");";
    const bool kept_field =
        line->find("TARNWICK_FIELD(") != std::string::npos && line->ends_with(declared);
    EXPECT_TRUE(kept_field || line->ends_with(count_declared)) << *line;
}

INSTANTIATE_TEST_SUITE_P(
    Clothing, FieldSites,
    ::testing::Values(
        SiteCase{CloSubPaletteRange::offset_site, "CloSubPaletteRange", "offset", 68},
        SiteCase{CloSubPaletteRange::num_colors_site, "CloSubPaletteRange", "num_colors", 69},
        SiteCase{CloSubPalette::num_ranges_site, "CloSubPalette", "num_ranges", 77},
        SiteCase{CloSubPalette::ranges_site, "CloSubPalette", "ranges", 79},
        SiteCase{CloSubPalette::palette_set_site, "CloSubPalette", "palette_set", 81},
        SiteCase{CloSubPalEffect::icon_site, "CloSubPalEffect", "icon", 89},
        SiteCase{CloSubPalEffect::num_clo_sub_palettes_site, "CloSubPalEffect",
                 "num_clo_sub_palettes", 91},
        SiteCase{CloSubPalEffect::clo_sub_palettes_site, "CloSubPalEffect", "clo_sub_palettes", 93},
        SiteCase{CloTextureEffect::old_texture_site, "CloTextureEffect", "old_texture", 100},
        SiteCase{CloTextureEffect::new_texture_site, "CloTextureEffect", "new_texture", 102},
        SiteCase{CloObjectEffect::index_site, "CloObjectEffect", "index", 110},
        SiteCase{CloObjectEffect::model_id_site, "CloObjectEffect", "model_id", 112},
        SiteCase{CloObjectEffect::num_clo_texture_effects_site, "CloObjectEffect",
                 "num_clo_texture_effects", 114},
        SiteCase{CloObjectEffect::clo_texture_effects_site, "CloObjectEffect",
                 "clo_texture_effects", 116},
        SiteCase{ClothingBaseEffect::num_clo_object_effects_site, "ClothingBaseEffect",
                 "num_clo_object_effects", 124},
        SiteCase{ClothingBaseEffect::clo_object_effects_site, "ClothingBaseEffect",
                 "clo_object_effects", 126}),
    [](const ::testing::TestParamInfo<SiteCase>& case_info) {
        return std::string{case_info.param.record} + "_" + std::string{case_info.param.field};
    });

TEST(ClothingRecords, CountFieldsFailWithTheirOwnFrame) {
    struct Case {
        ByteBuilder bytes;
        std::vector<std::string> frames;
    };
    Case cases[] = {
        {ByteBuilder{}.u16(1).u16(0).u32(1).u16(0),
         {"While parsing field 'num_clo_object_effects' in ClothingBaseEffect"}},
        {ByteBuilder{}.u16(1).u16(0).u32(1).u32(1).u32(2).u32(3).u16(0),
         {"While parsing field 'num_clo_texture_effects' in CloObjectEffect",
          "While parsing field 'clo_object_effects' in ClothingBaseEffect"}},
    };
    for (const Case& c : cases) {
        ByteReader reader{c.bytes.bytes()};
        auto table = read_packable_hash_table(reader, ClothingBaseEffect::read);
        ASSERT_FALSE(table.has_value());
        EXPECT_EQ(frame_messages(table.error()), c.frames);
        EXPECT_EQ(reader.position().value(), 8u);
    }
    ByteBuilder sub_pal;
    sub_pal.u16(1).u16(0).u32(1).u32(0x06000001).u32(1).u16(0);
    ByteReader reader{sub_pal.bytes()};
    auto table = read_packable_hash_table(reader, CloSubPalEffect::read);
    ASSERT_FALSE(table.has_value());
    EXPECT_THAT(
        frame_messages(table.error()),
        ::testing::ElementsAre("While parsing field 'num_ranges' in CloSubPalette",
                               "While parsing field 'clo_sub_palettes' in CloSubPalEffect"));
}

}  // namespace
}  // namespace tarnwick_dat
