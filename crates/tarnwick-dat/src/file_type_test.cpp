#include "tarnwick_dat/file_type.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "tarnwick_base/hex.hpp"

namespace tarnwick_dat {

void PrintTo(DatFileType type, std::ostream* out) {
    *out << file_type_name(type);
}

namespace {

struct PrefixCase {
    std::uint8_t prefix;
    DatFileType type;
};

// Every named top byte, written out independently of the library's own list.
const PrefixCase named_prefixes[] = {
    {0x01, DatFileType::Model},
    {0x02, DatFileType::SetupModel},
    {0x03, DatFileType::Animation},
    {0x04, DatFileType::Palette},
    {0x05, DatFileType::SurfaceTexture},
    {0x06, DatFileType::Texture},
    {0x07, DatFileType::Texture},
    {0x08, DatFileType::Surface},
    {0x09, DatFileType::MotionTable},
    {0x0A, DatFileType::Audio},
    {0x0D, DatFileType::EnvCell},
    {0x0E, DatFileType::Table},
    {0x0F, DatFileType::PaletteSet},
    {0x10, DatFileType::Clothing},
    {0x11, DatFileType::DegradeInfo},
    {0x12, DatFileType::Scene},
    {0x13, DatFileType::Region},
    {0x14, DatFileType::Keymap},
    {0x15, DatFileType::RenderTexture},
    {0x16, DatFileType::RenderMaterial},
    {0x17, DatFileType::MaterialModifier},
    {0x18, DatFileType::MaterialInstance},
    {0x19, DatFileType::RenderMesh},
    {0x20, DatFileType::SoundTable},
    {0x21, DatFileType::Layout},
    {0x22, DatFileType::EnumMapper},
    {0x23, DatFileType::StringTable},
    {0x24, DatFileType::StringTableString},
    {0x25, DatFileType::DataIDMapper},
    {0x26, DatFileType::ActionMap},
    {0x27, DatFileType::DualDataIDMapper},
    {0x30, DatFileType::CombatManeuverTable},
    {0x31, DatFileType::LanguageString},
    {0x32, DatFileType::ParticleEmitter},
    {0x33, DatFileType::PhysicsScript},
    {0x34, DatFileType::PhysicsScriptTable},
    {0x38, DatFileType::MutateFilter},
    {0x39, DatFileType::MasterProperty},
    {0x40, DatFileType::Font},
    {0x41, DatFileType::StringState},
    {0x42, DatFileType::BSPNodeType},
    {0x78, DatFileType::DatabaseProperties},
};

TEST(ClassifyPortalPrefix, NamedPrefixesGiveTheirTypeAndEveryOtherIsUnknown) {
    std::map<int, DatFileType> expected;
    for (const PrefixCase& c : named_prefixes) {
        expected[c.prefix] = c.type;
    }
    for (int prefix = 0; prefix < 256; ++prefix) {
        const auto named = expected.find(prefix);
        const DatFileType want = named == expected.end() ? DatFileType::Unknown : named->second;
        EXPECT_EQ(classify_portal_prefix(static_cast<std::uint8_t>(prefix)), want)
            << "prefix " << prefix;
    }
}

TEST(DatFileType, PortalVariantsHoldTheirPrefixAsValue) {
    for (const PrefixCase& c : named_prefixes) {
        if (c.prefix != 0x07) {
            EXPECT_EQ(static_cast<std::uint32_t>(c.type), c.prefix) << file_type_name(c.type);
        }
    }
}

TEST(DatFileType, OtherVariantsHoldTheirValuesAndNames) {
    const std::pair<DatFileType, std::uint32_t> values[] = {
        {DatFileType::Custom, 0xFFFFFF00}, {DatFileType::MotionKinematics, 0xFFFFFF01},
        {DatFileType::Landblock, 0xFE},    {DatFileType::LandblockInfo, 0xFF},
        {DatFileType::IndoorCell, 0xFD},   {DatFileType::Iteration, 0xFE01},
        {DatFileType::Unknown, 0x00},
    };
    for (const auto& [type, value] : values) {
        EXPECT_EQ(static_cast<std::uint32_t>(type), value) << file_type_name(type);
    }
    EXPECT_EQ(file_type_name(DatFileType::MotionKinematics), "MotionKinematics");
    EXPECT_EQ(file_type_name(DatFileType::DataIDMapper), "DataIDMapper");
    EXPECT_EQ(file_type_name(DatFileType::Texture), "Texture");
}

TEST(DatFileType, EveryTypeIsListedOnceAndFoundByItsNameInAnyCase) {
    const std::span<const DatFileType> types = all_file_types();
    EXPECT_EQ(types.size(), 48u);
    std::set<std::string_view> names;
    for (const DatFileType type : types) {
        const std::string_view name = file_type_name(type);
        names.insert(name);
        std::string upper{name};
        std::string lower{name};
        for (std::size_t i = 0; i < name.size(); ++i) {
            upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
            lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
        }
        EXPECT_EQ(file_type_by_name(name), type) << name;
        EXPECT_EQ(file_type_by_name(upper), type) << upper;
        EXPECT_EQ(file_type_by_name(lower), type) << lower;
    }
    EXPECT_EQ(names.size(), types.size());
    for (const std::string_view unknown : {"", "Clothin", "Clothings", "0x10", "Clothing "}) {
        EXPECT_EQ(file_type_by_name(unknown), std::nullopt) << unknown;
    }
}

TEST(DatKind, NamesEveryKind) {
    EXPECT_EQ(dat_kind_name(DatKind::Portal), "Portal");
    EXPECT_EQ(dat_kind_name(DatKind::Cell), "Cell");
    EXPECT_EQ(dat_kind_name(DatKind::Local), "Local");
    EXPECT_EQ(dat_kind_name(DatKind::Unknown), "Unknown");
}

struct IdCase {
    std::uint32_t id;
    std::optional<DatKind> kind;  // none: classified without an archive kind
    DatFileType type;
};

class ClassifyId : public testing::TestWithParam<IdCase> {};

TEST_P(ClassifyId, GivesTheExpectedType) {
    const IdCase& c = GetParam();
    const DatFileType got = c.kind ? from_id_in_dat(c.id, *c.kind) : from_id(c.id);
    EXPECT_EQ(got, c.type);
}

constexpr std::optional<DatKind> no_kind = std::nullopt;

std::string_view kind_name(std::optional<DatKind> kind) {
    if (!kind) {
        return "NoKind";
    }
    return *kind == DatKind::Unknown ? "UnknownKind" : dat_kind_name(*kind);
}

// "Id10000001_Portal": the identifier and the archive kind it is classified in.
std::string id_case_name(const testing::TestParamInfo<IdCase>& info) {
    return "Id" + tarnwick_base::hex_upper(info.param.id) + "_" +
           std::string{kind_name(info.param.kind)};
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ClassifyId,
    testing::Values(
        // Clothing tables and their neighbours in a portal archive.
        IdCase{0x10000001, DatKind::Portal, DatFileType::Clothing},
        IdCase{0x10FFFFFF, DatKind::Portal, DatFileType::Clothing},
        IdCase{0x0F000001, DatKind::Portal, DatFileType::PaletteSet},
        IdCase{0x11000000, DatKind::Portal, DatFileType::DegradeInfo},
        // The suffix decides only where the archive kind lets it.
        IdCase{0x1000FFFF, DatKind::Portal, DatFileType::Clothing},
        IdCase{0x1000FFFF, DatKind::Local, DatFileType::Clothing},
        IdCase{0x1000FFFF, no_kind, DatFileType::Landblock},
        IdCase{0x1000FFFF, DatKind::Unknown, DatFileType::Landblock},
        IdCase{0x1000FFFF, DatKind::Cell, DatFileType::Landblock},
        IdCase{0x1000FFFE, no_kind, DatFileType::LandblockInfo},
        // Two prefixes share Texture.
        IdCase{0x07000123, DatKind::Portal, DatFileType::Texture},
        IdCase{0x06000123, DatKind::Portal, DatFileType::Texture},
        // Unnamed prefixes.
        IdCase{0x0B000001, DatKind::Local, DatFileType::Unknown},
        IdCase{0x00000000, DatKind::Portal, DatFileType::Unknown},
        IdCase{0x00000001, DatKind::Portal, DatFileType::Unknown},
        IdCase{0x00FFFFFF, DatKind::Portal, DatFileType::Unknown},
        IdCase{0x0012FFFE, DatKind::Portal, DatFileType::Unknown},
        // The iteration file, whatever the kind.
        IdCase{0xFFFF0001, DatKind::Portal, DatFileType::Iteration},
        IdCase{0xFFFF0001, DatKind::Cell, DatFileType::Iteration},
        IdCase{0xFFFF0001, DatKind::Local, DatFileType::Iteration},
        IdCase{0xFFFF0001, DatKind::Unknown, DatFileType::Iteration},
        IdCase{0xFFFF0001, no_kind, DatFileType::Iteration},
        IdCase{0xFFFE0001, no_kind, DatFileType::IndoorCell},
        // A cell archive looks only at the low 16 bits.
        IdCase{0xA9B4FFFF, DatKind::Cell, DatFileType::Landblock},
        IdCase{0xA9B4FFFE, DatKind::Cell, DatFileType::LandblockInfo},
        IdCase{0xA9B40100, DatKind::Cell, DatFileType::IndoorCell},
        IdCase{0xA9B40000, DatKind::Cell, DatFileType::Unknown},
        IdCase{0x10000001, DatKind::Cell, DatFileType::IndoorCell},
        IdCase{0x10000000, DatKind::Cell, DatFileType::Unknown},
        // Without a kind: landblock patterns, then the top byte, then any non-zero suffix.
        IdCase{0xAB120005, no_kind, DatFileType::IndoorCell},
        IdCase{0xAB12FFFD, no_kind, DatFileType::IndoorCell},
        IdCase{0xAB120000, no_kind, DatFileType::Unknown},
        IdCase{0x12340005, no_kind, DatFileType::Scene},
        IdCase{0x12340000, no_kind, DatFileType::Scene},
        IdCase{0xAB120005, DatKind::Unknown, DatFileType::IndoorCell},
        // Bits 16 to 23 are never looked at.
        IdCase{0xAB7F0000, no_kind, DatFileType::Unknown},
        IdCase{0x10FF0000, DatKind::Cell, DatFileType::Unknown}),
    id_case_name);

TEST(ClassifyId, NeverYieldsCustomOrMotionKinematics) {
    const std::uint32_t suffixes[] = {0x0000, 0x0001, 0x0100, 0xFFFD, 0xFFFE, 0xFFFF};
    const DatKind kinds[] = {DatKind::Portal, DatKind::Cell, DatKind::Local, DatKind::Unknown};
    for (std::uint32_t prefix = 0; prefix < 256; ++prefix) {
        for (std::uint32_t middle : {0x00u, 0xFFu}) {
            for (std::uint32_t suffix : suffixes) {
                const std::uint32_t id = prefix << 24 | middle << 16 | suffix;
                std::vector<DatFileType> got{from_id(id)};
                for (DatKind kind : kinds) {
                    got.push_back(from_id_in_dat(id, kind));
                }
                for (DatFileType type : got) {
                    ASSERT_NE(type, DatFileType::Custom) << std::hex << id;
                    ASSERT_NE(type, DatFileType::MotionKinematics) << std::hex << id;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tarnwick_dat
