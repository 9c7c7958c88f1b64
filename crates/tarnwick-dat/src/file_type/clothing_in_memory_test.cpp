#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/file_type/clothing_writer.hpp"

namespace tarnwick_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A table with a few of every record, repeated keys among them, from `rng`.
Bytes random_table(std::mt19937& rng) {
    const auto pick = [&rng](std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>{0, high}(rng);
    };
    std::vector<std::pair<std::uint32_t, ClothingBaseEffect>> base_effects(pick(4));
    for (auto& [key, effect] : base_effects) {
        key = 0x02000000 + pick(5);
        effect.clo_object_effects.resize(pick(3));
        for (CloObjectEffect& part : effect.clo_object_effects) {
            part = {.index = pick(20), .model_id = 0x01000000 + pick(999)};
            part.clo_texture_effects.resize(pick(3), {.old_texture = pick(9), .new_texture = 7});
        }
    }
    std::vector<std::pair<std::uint32_t, CloSubPalEffect>> sub_pal_effects(pick(3));
    for (auto& [key, effect] : sub_pal_effects) {
        key = pick(4);
        effect.icon = 0x06000000 + pick(99);
        effect.clo_sub_palettes.resize(pick(3));
        for (CloSubPalette& palette : effect.clo_sub_palettes) {
            palette.ranges.resize(pick(3), {.offset = pick(200), .num_colors = 8});
            palette.palette_set = 0x0F000000 + pick(9);
        }
    }
    ClothingWriter writer;
    writer.u32(0x10000000 + pick(9));
    writer.packed_table(base_effects);
    writer.packed_table(sub_pal_effects);
    return std::move(writer).finish().value();
}

// The table (in its canonical stored form) or the error, and where the reader was left.
std::string outcome(const std::expected<ClothingTable, ReadError>& table, ByteReader& reader) {
    const std::string at = " at " + std::to_string(reader.position().value());
    if (!table) {
        return "error " + table.error().display() + at;
    }
    const Bytes canonical = write_clothing_table(*table).value();
    return "table " + std::string{canonical.begin(), canonical.end()} + at;
}

// Decoding in memory gives the table, the error text with its frames, and the reader's
// position that the record reader gives: on whole tables, on every cut of them, with stray
// bytes after them, and with bytes overwritten anywhere (a count may then claim far more
// than the data holds).
TEST(ClothingTableInMemory, AgreesWithTheRecordReader) {
    std::mt19937 rng{11};
    const auto cuts = [](Bytes bytes) {
        std::vector<Bytes> cut;
        for (std::size_t length = 0; length <= bytes.size(); ++length) {
            cut.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        }
        return cut;
    };
    std::vector<Bytes> inputs;
    for (int table = 0; table < 300; ++table) {
        Bytes bytes = random_table(rng);
        switch (table % 3) {
            case 0: {
                const std::vector<Bytes> cut = cuts(bytes);
                inputs.insert(inputs.end(), cut.begin(), cut.end());
                break;
            }
            case 1:
                for (int i = 0; i < 3 && !bytes.empty(); ++i) {
                    bytes[rng() % bytes.size()] = static_cast<std::uint8_t>(rng());
                }
                inputs.push_back(bytes);
                break;
            default:
                bytes.resize(bytes.size() + rng() % 9, 0xA5);
                inputs.push_back(bytes);
                break;
        }
    }
    for (const Bytes& bytes : inputs) {
        ByteReader in_memory{bytes};
        ByteReader generic{bytes};
        const auto fast = ClothingTable::read(in_memory, Endian::Little);
        const auto exact = ClothingTable::read(static_cast<Reader&>(generic), Endian::Little);
        ASSERT_EQ(outcome(fast, in_memory), outcome(exact, generic))
            << std::string{bytes.begin(), bytes.end()};
    }
}

}  // namespace
}  // namespace tarnwick_dat
