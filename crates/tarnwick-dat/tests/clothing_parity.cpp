// The check program: hands its registry of named checks to the runner.

#include <array>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "clothing_sweep.hpp"
#include "common.hpp"
#include "common/motion_command_names.hpp"
#include "deferred_text.hpp"
#include "runner/check/assert.hpp"
#include "runner/check/check_site.hpp"
#include "runner/test_main.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/file_type/clothing_tally.hpp"
#include "tarnwick_dat/lib.hpp"

using namespace tarnwick_dat;

namespace {

constexpr std::uint32_t known_clothing_id = 0x10000001;

deferred::HexId hex_id(std::uint32_t id) {
    return deferred::HexId{id};
}

// The clothing tables of the archive, in ascending identifier order (the directory's): the
// lowest failing identifier is the one reported, and files stored in id order are read one
// after another through the read-ahead window.
std::vector<std::uint32_t> clothing_ids(const DatDatabase& dat) {
    std::vector<std::uint32_t> ids;
    for (const DirectoryPair& pair : dat.files()) {
        if (dat.type_of(pair.first) == DatFileType::Clothing) {
            ids.push_back(pair.first);
        }
    }
    return ids;
}

// The retail contents of record 0x10000001.
void check_known_record(const ClothingTable& table) {
    const auto found = table.clothing_base_effects.find(0x02001A18);
    runner::assert_that(found != table.clothing_base_effects.end(),
                        "0x10000001 should have setup-key 0x02001A18");
    const auto& object_effects = found->second.clo_object_effects;
    runner::assert_eq(object_effects.size(), 6u,
                      "0x10000001 base-effect for setup 0x02001A18 should have 6 object effects");
    const CloObjectEffect& first = object_effects[0];
    runner::assert_eq(first.index, 9u);
    runner::assert_eq(first.model_id, 0x01004AA7u);
    runner::assert_eq(first.clo_texture_effects.size(), 2u);
    const CloTextureEffect& swap = first.clo_texture_effects[0];
    runner::assert_eq(swap.old_texture, 0x050003D5u);
    runner::assert_eq(swap.new_texture, 0x0500025Fu);
}

// Reports a clothing file that did not parse completely or does not name itself.
const ClothingTable& parse_clothing_table(std::uint32_t id, clothing_sweep::TableRead& read) {
    auto& [bytes, table, parsed_to] = read;
    if (!bytes) {
        runner::fail("read ClothingTable " + hex_id(id) + ": " + bytes.error().display());
    }
    // Read and parsed beforehand (clothing_sweep.hpp), perhaps on another thread; reported
    // here, on the check's own.
    if (!table) {
        runner::fail("parse ClothingTable " + hex_id(id) + " (" + std::to_string(bytes->size()) +
                     " bytes): " + table.error().display());
    }
    runner::assert_eq(table->id, id, "ClothingTable " + hex_id(id) + " self-id mismatch");
    const std::uint64_t consumed = parsed_to;
    runner::assert_eq(consumed, std::uint64_t{bytes->size()},
                      "ClothingTable " + hex_id(id) + " parser stopped at byte " +
                          std::to_string(consumed) + " of " + std::to_string(bytes->size()));
    return *table;
}

}  // namespace

RUNNER_CHECK(all_retail_clothing_tables_parse) {
    const auto path = common::get_portal_dat_path();
    if (!path) {
        std::cout << "Skipping Clothing parity: portal.dat not found\n";
        return;
    }
    auto dat = DatDatabase::open(*path, DatFileType::Clothing);
    if (!dat) {
        runner::fail("open portal.dat: " + dat.error().debug());
    }
    const std::vector<std::uint32_t> ids = clothing_ids(*dat);
    runner::assert_that(!ids.empty(), "expected at least one ClothingTable record in portal.dat");

    bool saw_known_record = false;
    const ClothingTally tally = clothing_sweep::sweep_clothing_tables(
        *dat, ids, known_clothing_id, [&](std::uint32_t id, clothing_sweep::TableRead& read) {
            const ClothingTable& table = parse_clothing_table(id, read);
            if (id == known_clothing_id) {
                check_known_record(table);
                saw_known_record = true;
            }
        });

    runner::assert_that(saw_known_record, "did not encounter known retail Clothing 0x10000001");
    std::cout << "Parsed " << ids.size() << " ClothingTable records: " << tally.base_effects
              << " base effects (" << tally.object_effects << " object effects, "
              << tally.texture_swaps << " texture swaps), " << tally.sub_pal_effects
              << " sub-pal effects (" << tally.sub_palettes << " sub-palettes)\n";
}

namespace {

template <void (*Body)()>
runner::TestOutcome entry() {
    Body();
    return runner::assert_test_result();
}

template <void (*Body)()>
runner::TestDescAndFn integration_check(std::string_view name, const runner::CheckSite& site) {
    const std::string_view function_name = name.substr(name.rfind(':') + 1);
    runner::TestDesc desc;
    desc.name = name;
    desc.source_path = site.file;
    desc.start_line = site.line;
    desc.start_col = runner::CHECK_NAME_COLUMN;
    desc.end_line = site.line;
    desc.end_col = runner::CHECK_NAME_COLUMN + function_name.size();
    desc.test_kind = runner::TestKind::Integration;
    return {std::move(desc), &entry<Body>};
}

// A check registered under its qualified name, which is also the name it is run and filtered by.
#define INTEGRATION_CHECK(qualified) integration_check<&qualified>(#qualified, qualified##_site)

// In ascending order of name: the runner keeps the order it is given.
const auto& registry() {
    static const std::array checks{
        INTEGRATION_CHECK(all_retail_clothing_tables_parse),
        INTEGRATION_CHECK(common::motion_command_names::tests::classify_known_commands),
        INTEGRATION_CHECK(common::motion_command_names::tests::lookup_known_commands),
        INTEGRATION_CHECK(
            common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search),
    };
    static const auto pointers = [] {
        std::array<const runner::TestDescAndFn*, checks.size()> all{};
        for (std::size_t i = 0; i < checks.size(); ++i) {
            all[i] = &checks[i];
        }
        return all;
    }();
    return pointers;
}

}  // namespace

int main() {
    runner::test_main_static(registry());
}
