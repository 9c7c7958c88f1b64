// The clothing parity check, run in the real program against archives built for each case.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "tarnwick_dat/file_type/clothing_writer.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"
#include "tarnwick_dat/writer.hpp"
#include "tarnwick_forge/sample_archive.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tarnwick_dat;
using check_program::ProgramRun;
using Bytes = std::vector<std::uint8_t>;
using tarnwick_dat::test_support::TempDir;

const std::string check_name = "all_retail_clothing_tables_parse";

// A table with the retail contents that the check knows for 0x10000001.
ClothingTable known_table() {
    ClothingTable table;
    table.id = 0x10000001;
    ClothingBaseEffect effect;
    CloObjectEffect first{
        .index = 9,
        .model_id = 0x01004AA7,
        .clo_texture_effects = {{0x050003D5, 0x0500025F}, {0x05000001, 0x05000002}}};
    effect.clo_object_effects.push_back(first);
    for (std::uint32_t index = 10; index < 15; ++index) {
        effect.clo_object_effects.push_back({.index = index, .model_id = 0x01000100 + index});
    }
    table.clothing_base_effects.emplace(0x02001A18, effect);
    CloSubPalEffect sub_pal{.icon = 0x06001234};
    sub_pal.clo_sub_palettes.push_back({.ranges = {{0, 8}, {16, 24}}, .palette_set = 0x0F000001});
    table.clothing_sub_pal_effects.emplace(1, sub_pal);
    return table;
}

ClothingTable plain_table(std::uint32_t id) {
    ClothingTable table;
    table.id = id;
    ClothingBaseEffect effect;
    effect.clo_object_effects.push_back(
        {.index = 1, .model_id = 0x01000001, .clo_texture_effects = {{0x05000003, 0x05000004}}});
    table.clothing_base_effects.emplace(0x02000001, effect);
    return table;
}

Bytes encode(const ClothingTable& table) {
    return write_clothing_table(table).value();
}

struct StoredFile {
    std::uint32_t id;
    Bytes bytes;
    bool compressed = false;
};

// Writes a portal archive holding `files` and gives its path.
fs::path write_archive(const TempDir& dir, const std::vector<StoredFile>& files) {
    const fs::path path = dir / "portal.dat";
    DatWriter writer = DatWriter::create(path).value();
    std::vector<DatFileEntry> entries;
    for (const StoredFile& file : files) {
        entries.push_back(
            writer.store_file(file.id, file.bytes, {.compressed = file.compressed}).value());
    }
    EXPECT_TRUE(writer.write_directory(std::move(entries)));
    EXPECT_TRUE(writer.finish());
    return path;
}

ProgramRun run_check(const fs::path& archive) {
    return check_program::run_program({"--exact", check_name, "--show-output"},
                                      {{"TARNWICK_PORTAL_DAT", archive.string()}});
}

// The check's failure message, as the failures section shows it.
std::string failure_message(const ProgramRun& run) {
    const std::string masked = check_program::mask_report(run.out);
    const std::string head = "thread '" + check_name + "' (<id>) panicked at <location>:\n";
    const auto start = masked.find(head);
    if (start == std::string::npos) {
        return "<no failure report in: " + run.out + ">";
    }
    const auto message = start + head.size();
    const auto end = masked.find("\nnote: run with `ORRA_BACKTRACE=1`", message);
    return masked.substr(message, end - message);
}

void expect_failure(const ProgramRun& run, const std::string& message) {
    EXPECT_EQ(run.status, 101);
    EXPECT_EQ(failure_message(run), message);
    EXPECT_EQ(run.out.find("Parsed "), std::string::npos) << "no tally after a failure";
}

// Run by the build of the program whose default location holds no archive, so that an archive at
// the real default location (the sample `make run` writes) does not hide this case.
TEST(ClothingCheck, SkipsWhenNoArchiveIsFound) {
    const ProgramRun run = check_program::run_program(
        {"--exact", check_name, "--show-output"},
        {{"TARNWICK_PORTAL_DAT", "/nonexistent/portal.dat"}}, check_program::StandardOutput::File,
        "clothing_parity_without_default");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("---- " + check_name +
                           " stdout ----\nSkipping Clothing parity: portal.dat not found\n\n"),
              std::string::npos)
        << run.out;
}

TEST(ClothingCheck, PassesOnTheSyntheticSampleWithItsExactTally) {
    TempDir dir;
    const fs::path path = dir / "portal.dat";
    const auto summary =
        tarnwick_forge::write_sample_archive(path, {.seed = 9, .scale = 0.02}).value();
    const ProgramRun run = run_check(path);
    EXPECT_EQ(run.status, 0) << run.out;
    const ClothingTally& t = summary.clothing;
    const std::string tally =
        "Parsed " + std::to_string(summary.clothing_tables) +
        " ClothingTable records: " + std::to_string(t.base_effects) + " base effects (" +
        std::to_string(t.object_effects) + " object effects, " + std::to_string(t.texture_swaps) +
        " texture swaps), " + std::to_string(t.sub_pal_effects) + " sub-pal effects (" +
        std::to_string(t.sub_palettes) + " sub-palettes)\n";
    EXPECT_NE(run.out.find("---- " + check_name + " stdout ----\n" + tally + "\n"),
              std::string::npos)
        << run.out;
}

TEST(ClothingCheck, CompressedAndPlainFilesPassAndTheArchiveIsLeftUntouched) {
    TempDir dir;
    const fs::path path = write_archive(dir, {{0x10000001, encode(known_table()), true},
                                              {0x10000002, encode(plain_table(0x10000002))}});
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const std::string bytes_before = check_program::read_file(path);

    const ProgramRun run = run_check(path);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Parsed 2 ClothingTable records: 2 base effects (7 object effects, 3 "
                           "texture swaps), 1 sub-pal effects (1 sub-palettes)\n"),
              std::string::npos)
        << run.out;

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(check_program::read_file(path), bytes_before);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST(ClothingCheck, OpenFailureShowsTheStructuredError) {
    TempDir dir;
    const fs::path path = dir / "portal.dat";
    { std::ofstream{path} << std::string(399, '\0'); }
    const ProgramRun run = run_check(path);
    const std::string message = failure_message(run);
    EXPECT_EQ(run.status, 101);
    EXPECT_TRUE(message.starts_with("open portal.dat: BinRead(\n \u257a")) << message;
    EXPECT_NE(message.find("While parsing field 'version_minor' in DatHeader"), std::string::npos);
}

// The known record changed by `change`, stored.
Bytes known_changed(const std::function<void(ClothingTable&)>& change) {
    ClothingTable table = known_table();
    change(table);
    return encode(table);
}

// The known record with its first object effect changed by `change`, stored.
Bytes first_object_changed(void (*change)(CloObjectEffect&)) {
    return known_changed([&](ClothingTable& table) {
        change(table.clothing_base_effects.at(0x02001A18).clo_object_effects[0]);
    });
}

// The message of a failed equality, with its context when there is one.
std::string mismatch(const std::string& context, const std::string& left,
                     const std::string& right) {
    return "assertion `left == right` failed" + (context.empty() ? "" : ": " + context) +
           "\n  left: " + left + "\n right: " + right;
}

// Each archive fails the check with the message of its first fault, the lowest id first; the known
// record's contents are compared in order.
TEST(ClothingCheck, FailsWithTheFirstFault) {
    Bytes longer = encode(plain_table(0x10000002));
    // The known table and `count - 1` more, those at `wrong` naming the next id. With two cores
    // runs of tables from the end are read on a second thread, which reports nothing itself.
    const auto tables = [](std::uint32_t count, std::initializer_list<std::uint32_t> wrong) {
        std::vector<StoredFile> files{{0x10000001, encode(known_table())}};
        for (std::uint32_t id = 0x10000002; id <= 0x10000000 + count; ++id) {
            const bool names_next = std::ranges::find(wrong, id) != wrong.end();
            files.push_back({id, encode(plain_table(names_next ? id + 1 : id))});
        }
        return files;
    };
    const std::string length = std::to_string(longer.size());
    const std::string longer_length = std::to_string(longer.size() + 1);
    longer.push_back(0);
    const struct {
        const char* what;
        std::vector<StoredFile> files;
        std::string message;
    } cases[] = {
        {"no clothing",
         {{0x01000001, Bytes(40, 7)}},
         "expected at least one ClothingTable record in portal.dat"},
        {"a byte after the record",
         {{0x10000001, encode(known_table())}, {0x10000002, longer}},
         mismatch(
             "ClothingTable 0x10000002 parser stopped at byte " + length + " of " + longer_length,
             length, longer_length)},
        {"a table whose own id is another",
         {{0x10000001, encode(known_table())}, {0x10000002, encode(plain_table(0x10000003))}},
         mismatch("ClothingTable 0x10000002 self-id mismatch", "268435459", "268435458")},
        {"the lowest failing id first",
         {{0x10000005, encode(plain_table(0x10000006))},
          {0x10000001, encode(known_table())},
          {0x10000003, encode(plain_table(0x10000004))}},
         mismatch("ClothingTable 0x10000003 self-id mismatch", "268435460", "268435459")},
        {"an early fault before a late one", tables(8, {0x10000002, 0x10000007}),
         mismatch("ClothingTable 0x10000002 self-id mismatch", "268435459", "268435458")},
        {"a late fault alone", tables(8, {0x10000007}),
         mismatch("ClothingTable 0x10000007 self-id mismatch", "268435464", "268435463")},
        {"the last of many tables", tables(400, {0x10000190}),
         mismatch("ClothingTable 0x10000190 self-id mismatch", "268435857", "268435856")},
        {"the first of two faults far apart among many", tables(400, {0x10000100, 0x1000018F}),
         mismatch("ClothingTable 0x10000100 self-id mismatch", "268435713", "268435712")},
        {"the known record missing, found after every file was read",
         {{0x10000002, encode(plain_table(0x10000002))},
          {0x10000003, encode(plain_table(0x10000003))}},
         "did not encounter known retail Clothing 0x10000001"},
        {"the known record without its setup key",
         {{0x10000001, known_changed([](ClothingTable& table) {
               auto effect = table.clothing_base_effects.extract(0x02001A18);
               effect.key() = 0x02001A19;
               table.clothing_base_effects.insert(std::move(effect));
           })}},
         "0x10000001 should have setup-key 0x02001A18"},
        {"five object effects",
         {{0x10000001, known_changed([](ClothingTable& table) {
               table.clothing_base_effects.at(0x02001A18).clo_object_effects.pop_back();
           })}},
         mismatch("0x10000001 base-effect for setup 0x02001A18 should have 6 object effects", "5",
                  "6")},
        {"index",
         {{0x10000001, first_object_changed([](CloObjectEffect& e) { e.index = 8; })}},
         mismatch("", "8", "9")},
        {"model",
         {{0x10000001, first_object_changed([](CloObjectEffect& e) { e.model_id = 0x01004AA8; })}},
         mismatch("", "16796328", "16796327")},
        {"swap count",
         {{0x10000001,
           first_object_changed([](CloObjectEffect& e) { e.clo_texture_effects.pop_back(); })}},
         mismatch("", "1", "2")},
        {"old texture",
         {{0x10000001, first_object_changed(
                           [](CloObjectEffect& e) { e.clo_texture_effects[0].old_texture = 1; })}},
         mismatch("", "1", "83887061")},
        {"new texture",
         {{0x10000001, first_object_changed(
                           [](CloObjectEffect& e) { e.clo_texture_effects[0].new_texture = 2; })}},
         mismatch("", "2", "83886687")},
        {"index before model",
         {{0x10000001, first_object_changed([](CloObjectEffect& e) {
               e.index = 0;
               e.model_id = 0;
           })}},
         mismatch("", "0", "9")},
    };
    for (const auto& c : cases) {
        TempDir dir;
        SCOPED_TRACE(c.what);
        expect_failure(run_check(write_archive(dir, c.files)), c.message);
    }
}

TEST(ClothingCheck, TruncatedTableNamesTheFieldsWhereReadingStopped) {
    TempDir dir;
    Bytes bytes = encode(known_table());
    bytes.pop_back();
    const fs::path path = write_archive(dir, {{0x10000001, bytes}});
    const ProgramRun run = run_check(path);
    const std::string message = failure_message(run);
    EXPECT_EQ(run.status, 101);
    EXPECT_TRUE(message.starts_with("parse ClothingTable 0x10000001 (" +
                                    std::to_string(bytes.size()) + " bytes): \n \u257a"))
        << message;
    const std::string inner = "\x1b[1mWhile parsing field 'palette_set' in CloSubPalette\x1b[22m";
    const std::string outer =
        " 1: \x1b[1mWhile parsing field 'clo_sub_palettes' in CloSubPalEffect";
    EXPECT_NE(message.find(inner), std::string::npos) << message;
    EXPECT_NE(message.find(outer), std::string::npos) << message;
    EXPECT_NE(message.find("     at crates/tarnwick-dat/src/file_type/clothing.hpp:"),
              std::string::npos);
}

}  // namespace
