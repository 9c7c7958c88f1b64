// End to end: the built tarnwick-dat run against archives written here with the library's writer.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/test_support/program_run.hpp"
#include "tarnwick_dat/compress.hpp"
#include "tarnwick_dat/file_type/clothing_writer.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"
#include "tarnwick_dat/writer.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tarnwick_dat;
using nlohmann::json;
using tarnwick_base::hex_upper;
using test_support::TempDir;
using ToolRun = tarnwick_base::test_support::ProgramRun;
using Output = tarnwick_base::test_support::StandardOutput;
using tarnwick_base::test_support::read_file;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

Bytes as_bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// The built tool, run with this process's environment.
ToolRun run_tool(std::vector<std::string> args, Output output = Output::File) {
    return tarnwick_base::test_support::run_program(
        tarnwick_base::test_support::program_path("tarnwick-dat"), std::move(args),
        tarnwick_base::test_support::this_environment(), output);
}

std::vector<json> json_lines(const std::string& text) {
    std::vector<json> lines;
    std::istringstream in{text};
    for (std::string line; std::getline(in, line);) {
        lines.push_back(json::parse(line));
    }
    return lines;
}

std::ptrdiff_t line_count(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

// No temporary file of an interrupted or refused write is left anywhere below `folder`.
void expect_no_part_files(const fs::path& folder) {
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        EXPECT_FALSE(item.path().filename().string().ends_with(".part")) << item.path();
    }
}

// The SHA-256 of no bytes.
constexpr const char* empty_sha256 =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// A clothing table of `effects` base and sub-palette effects, every list of a few elements.
ClothingTable sample_table(std::uint32_t id, std::uint32_t effects) {
    ClothingTable table;
    table.id = id;
    for (std::uint32_t i = 0; i < effects; ++i) {
        ClothingBaseEffect base;
        for (std::uint32_t part = 0; part < 3; ++part) {
            CloObjectEffect object;
            object.index = part;
            object.model_id = 0x01000000 + i * 16 + part;
            for (std::uint32_t k = 0; k < part; ++k) {
                object.clo_texture_effects.push_back({0x05000000 + k, 0x05001000 + i + k});
            }
            base.clo_object_effects.push_back(object);
        }
        table.clothing_base_effects[0x02000000 + i] = base;
        CloSubPalette palette;
        palette.ranges = {{0, 24}, {i * 8, 8}};
        palette.palette_set = 0x0F000000 + i;
        CloSubPalEffect sub_pal;
        sub_pal.icon = 0x06000000 + i;
        sub_pal.clo_sub_palettes = {palette};
        table.clothing_sub_pal_effects[i + 1] = sub_pal;
    }
    return table;
}

Bytes table_bytes(const ClothingTable& table) {
    return write_clothing_table(table).value();
}

// A table's compressed stream cut in half: it expands to fewer bytes than it declares.
Bytes cut_stream(std::uint32_t id) {
    Bytes cut = compress_lrs(table_bytes(sample_table(id, 3)));
    cut.resize(cut.size() / 2);
    return cut;
}

// A table one byte short of its end.
Bytes truncated_table(std::uint32_t id) {
    Bytes truncated = table_bytes(sample_table(id, 3));
    truncated.pop_back();
    return truncated;
}

// What one file of a test archive holds and how it is stored.
struct StoredFile {
    std::uint32_t id;
    Bytes bytes;
    StoreOptions options{};
};

class ToolTest : public ::testing::Test {
  protected:
    // Writes the archive; `damage` may then change its bytes, knowing where each file went.
    void write_archive(
        const std::vector<StoredFile>& files,
        const std::function<void(DatWriter&, const std::map<std::uint32_t, DatFileEntry>&)>&
            damage = {},
        const fs::path& path = {}, std::uint32_t block_size = 1024) {
        DatWriter writer = DatWriter::create(path.empty() ? archive_ : path, block_size).value();
        std::vector<DatFileEntry> entries;
        for (const StoredFile& file : files) {
            entries.push_back(writer.store_file(file.id, file.bytes, file.options).value());
            entries_[file.id] = entries.back();
        }
        ASSERT_TRUE(writer.write_directory(entries).has_value());
        if (damage) {
            damage(writer, entries_);
        }
        // As a real archive records it, unless the damage chose a length.
        if (writer.header().file_size == 0) {
            writer.header().file_size = static_cast<std::uint32_t>(writer.end_offset());
        }
        ASSERT_TRUE(writer.finish().has_value());
    }
    // What the archive's entries store, all but `except`'s.
    std::uint64_t stored_bytes(std::uint32_t except = 0) const {
        std::uint64_t stored = 0;
        for (const auto& [id, entry] : entries_) {
            stored += id == except ? 0 : entry.size;
        }
        return stored;
    }
    // Points the first block of a file's chain past the end of the archive.
    static void break_chain(DatWriter& writer, const DatFileEntry& entry) {
        ASSERT_TRUE(writer.write_u32(entry.offset, 0x7FFFFF00).has_value());
    }

    TempDir dir_;
    fs::path archive_ = dir_ / "portal.dat";
    std::string a_ = archive_.string();
    std::map<std::uint32_t, DatFileEntry> entries_;
};

const ClothingTable big_table = sample_table(0x10000001, 30);  // spans several blocks
const ClothingTable small_table = sample_table(0x10000002, 2);

std::vector<StoredFile> mixed_files() {
    return {
        {0x10000001,
         table_bytes(big_table),
         {.compressed = true, .layout = ChainLayout::Scattered}},
        {0x10000002, table_bytes(small_table), {.timestamp = 1078142400, .version = 7}},
        {0x06000010, Bytes(3000, 0x5A), {.layout = ChainLayout::Scattered}},
        {0x01000001, as_bytes("model bytes"), {.extra_flags = 6}},
        {0x0A000001, {}, {}},
    };
}
// The type, and so the folder, of each of them.
const std::map<std::uint32_t, const char*> mixed_types{{0x01000001, "Model"},
                                                       {0x06000010, "Texture"},
                                                       {0x0A000001, "Audio"},
                                                       {0x10000001, "Clothing"},
                                                       {0x10000002, "Clothing"}};

TEST_F(ToolTest, LsListsExactlyTheWrittenEntries) {
    write_archive(mixed_files());
    const ToolRun run = run_tool({"ls", a_, "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<json> lines = json_lines(run.out);
    std::vector<StoredFile> files = mixed_files();
    std::ranges::sort(files, {}, &StoredFile::id);
    ASSERT_EQ(lines.size(), files.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const DatFileEntry& entry = entries_.at(files[i].id);
        EXPECT_EQ(lines[i]["id"], "0x" + std::string{hex_upper(entry.id, 8)});
        EXPECT_EQ(lines[i]["type"], mixed_types.at(entry.id));
        EXPECT_EQ(lines[i]["size"], entry.size);
        EXPECT_EQ(lines[i]["bit_flags"], entry.bit_flags);
        EXPECT_EQ(lines[i]["compressed"], entry.is_compressed());
        EXPECT_EQ(lines[i]["version"], entry.version);
        EXPECT_EQ(lines[i]["expanded_size"], files[i].bytes.size());
    }
    EXPECT_EQ(lines[4]["timestamp"], "2004-03-01T12:00:00Z");
    EXPECT_LT(entries_.at(0x10000001).size, table_bytes(big_table).size());

    const ToolRun clothing = run_tool({"ls", a_, "--type", "cLoThInG"});
    ASSERT_EQ(clothing.status, 0) << clothing.err;
    EXPECT_THAT(clothing.out, HasSubstr("0x10000001  Clothing "));
    EXPECT_THAT(clothing.out, HasSubstr("\n0x10000002  Clothing                   220        220  "
                                        "-           2004-03-01T12:00:00Z  7\n"));
    EXPECT_EQ(line_count(clothing.out), 2);
}

TEST_F(ToolTest, InfoNamesHeaderFieldsAndCounts) {
    write_archive(mixed_files());
    const ToolRun run = run_tool({"info", a_});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* line :
         {"  magic                21570 (0x00005442)\n",
          "  version_string       \"\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\"\n",
          "kind                   Portal\n", "files                  5\n",
          "compressed             1\n", "directory nodes        1\n", "directory depth        1\n",
          "files by type:\n  Clothing             2\n  Audio                1\n"
          "  Model                1\n  Texture              1\n"}) {
        EXPECT_THAT(run.out, HasSubstr(line));
    }
}

TEST_F(ToolTest, CatGivesTheWrittenBytes) {
    write_archive(mixed_files());
    const std::tuple<const char*, Bytes, int> cases[] = {
        {"0x10000001", table_bytes(big_table), 0},  // compressed, scattered over blocks
        {"10000002", table_bytes(small_table), 0},
        {"0x6000010", Bytes(3000, 0x5A), 0},  // scattered, fewer than eight digits
        {"0X0100000a", {}, 1},                // missing: nothing written
        {"0x0a000001", {}, 0},                // empty file
    };
    for (const auto& [id, bytes, status] : cases) {
        const ToolRun run = run_tool({"cat", a_, id});
        EXPECT_EQ(run.status, status) << id << run.err;
        EXPECT_EQ(as_bytes(run.out), bytes) << id;
    }
    EXPECT_EQ(run_tool({"cat", a_, "0x0100000A"}).err,
              "tarnwick-dat: " + a_ + ": no file 0x0100000A\n");
    EXPECT_EQ(run_tool({"cat", a_, "01000001", "--force"}, Output::Terminal).status, 0);
}

// Every file lands with its bytes; a second run keeps what is there unless forced.
TEST_F(ToolTest, ExtractWritesEveryFileAndResumes) {
    const std::vector<StoredFile> files = mixed_files();
    write_archive(files);
    const fs::path out = dir_ / "out";
    const ToolRun first = run_tool({"extract", a_, out.string()});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");  // no progress line when standard error is no terminal
    const auto path_of = [&](std::uint32_t id) {
        return out / mixed_types.at(id) / (hex_upper(id, 8) + ".bin");
    };
    for (const StoredFile& file : files) {
        EXPECT_EQ(as_bytes(read_file(path_of(file.id))), file.bytes);
    }
    const fs::path kept = path_of(0x06000010);
    std::ofstream{kept} << "changed";
    fs::remove(path_of(0x10000001));
    const ToolRun second = run_tool({"extract", a_, out.string(), "--type", "clothing"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_THAT(second.out, HasSubstr("extracted 1 files"));
    EXPECT_THAT(second.out, HasSubstr("skipped 1 already there, 0 failed"));
    EXPECT_EQ(as_bytes(read_file(path_of(0x10000001))), files[0].bytes);
    EXPECT_EQ(run_tool({"extract", a_, out.string()}).status, 0);
    EXPECT_EQ(read_file(kept), "changed");
    EXPECT_EQ(run_tool({"extract", a_, out.string(), "--force"}).status, 0);
    EXPECT_EQ(as_bytes(read_file(kept)), files[2].bytes);
}

// One unreadable chain, one file that cannot be put in place after it was written: both named,
// the others written, no part file left.
TEST_F(ToolTest, ExtractGoesOnAfterAFailureAndLeavesNoPartFile) {
    write_archive(mixed_files(), [](DatWriter& writer, const auto& entries) {
        break_chain(writer, entries.at(0x06000010));
    });
    const fs::path out = dir_ / "out";
    fs::create_directories(out / "Clothing" / "10000002.bin" / "in the way");
    const ToolRun run = run_tool({"extract", a_, out.string(), "--force"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("tarnwick-dat: " + a_ +
                                   ": reading file 0x06000010: failed to fill whole buffer (its "
                                   "chain at offset 0x"));
    EXPECT_THAT(run.err, HasSubstr("tarnwick-dat: " + a_ +
                                   ": extracting 0x10000002: cannot "
                                   "rename to "));
    EXPECT_THAT(run.out, HasSubstr("extracted 3 files"));
    EXPECT_THAT(run.out, HasSubstr("2 failed"));
    EXPECT_TRUE(fs::exists(out / "Clothing" / "10000001.bin"));
    expect_no_part_files(out);
    const ToolRun unwritable = run_tool({"extract", a_, (archive_ / "below a file").string()});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_THAT(unwritable.err, HasSubstr("cannot create "));
}

std::uint32_t hex_id(const json& value) {
    const std::string text = value.get<std::string>();
    EXPECT_EQ(text.size(), 10u) << text;
    EXPECT_TRUE(text.starts_with("0x")) << text;
    return static_cast<std::uint32_t>(std::stoul(text.substr(2), nullptr, 16));
}

// The table the JSON describes, rebuilt field by field.
ClothingTable table_from(const json& value) {
    ClothingTable table;
    table.id = hex_id(value["id"]);
    for (const auto& [key, base] : value["clothing_base_effects"].items()) {
        ClothingBaseEffect& effect = table.clothing_base_effects[hex_id(key)];
        for (const json& object : base["clo_object_effects"]) {
            CloObjectEffect& part = effect.clo_object_effects.emplace_back();
            part.index = object["index"];
            part.model_id = hex_id(object["model_id"]);
            for (const json& swap : object["clo_texture_effects"]) {
                part.clo_texture_effects.push_back(
                    {hex_id(swap["old_texture"]), hex_id(swap["new_texture"])});
            }
        }
    }
    for (const auto& [key, sub_pal] : value["clothing_sub_pal_effects"].items()) {
        CloSubPalEffect& effect = table.clothing_sub_pal_effects[hex_id(key)];
        effect.icon = hex_id(sub_pal["icon"]);
        for (const json& palette : sub_pal["clo_sub_palettes"]) {
            CloSubPalette& sub_palette = effect.clo_sub_palettes.emplace_back();
            sub_palette.palette_set = hex_id(palette["palette_set"]);
            for (const json& range : palette["ranges"]) {
                sub_palette.ranges.push_back({range["offset"], range["num_colors"]});
            }
        }
    }
    return table;
}

TEST_F(ToolTest, ClothingJsonRoundTripsTheWrittenTable) {
    write_archive(mixed_files());
    for (const ClothingTable* table : {&big_table, &small_table}) {
        const ToolRun run =
            run_tool({"clothing", a_, "0x" + hex_upper(table->id, 8), "--format=json"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(table_bytes(table_from(json::parse(run.out))), table_bytes(*table));
    }
    const ToolRun text = run_tool({"clothing", a_, "10000002"});
    EXPECT_THAT(text.out, HasSubstr("\n      - clo_texture_effects:\n          - new_texture: "
                                    "0x05001001\n            old_texture: 0x05000000\n"));
}

// A table cut inside its first base effect: the frames, and the dump marks where the effect
// began (after the id, the counts and the key: offset 12).
TEST_F(ToolTest, ClothingShowsWhereParsingStopped) {
    Bytes cut = table_bytes(small_table);
    cut.resize(30);
    write_archive({{0x10000003, cut}, {0x06000001, Bytes(20, 0)}});
    const ToolRun run = run_tool({"clothing", a_, "0x10000003"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, ::testing::MatchesRegex("tarnwick-dat: .*: parsing clothing table "
                                                 "0x10000003: .*while parsing field .*\n"));
    EXPECT_THAT(run.out,
                HasSubstr("00000000  02 00 00 10 02 00 40 00  00 00 00 02 03 00 00 00  "
                          "|......@.........|\n" +
                          std::string(47, ' ') + "^^ reading stopped here, at offset 0xc\n"));
    const json failure = json::parse(run_tool({"clothing", a_, "0x10000003", "--format=json"}).out);
    EXPECT_EQ(failure["error"]["doing"], "parsing clothing table 0x10000003");
    EXPECT_EQ(failure["stopped"]["offset"], 12);
    EXPECT_EQ(failure["stopped"]["bytes"].get<std::string>().substr(0, 8), "02000010");
    const ToolRun texture = run_tool({"clothing", a_, "0x06000001"});
    EXPECT_EQ(texture.status, 1);
    EXPECT_THAT(texture.err, HasSubstr("0x06000001 is a Texture file, not a clothing table"));
}

// Every corrupted table named, read in the order the files lie and reported in id order: the
// same lines whichever way round the files were written.
TEST_F(ToolTest, VerifyNamesEveryCorruptedTableInIdOrder) {
    Bytes trailing = table_bytes(sample_table(0x10000012, 3));
    trailing.push_back(0);
    std::vector<StoredFile> files{
        {0x10000001, table_bytes(big_table), {.compressed = true}},
        {0x10000011, truncated_table(0x10000011)},
        {0x10000012, trailing},
        {0x10000013, table_bytes(big_table)},  // chain broken below
        {0x10000014, cut_stream(0x10000014), {.extra_flags = DatFileEntry::compressed_flag}},
        {0x10000015, table_bytes(sample_table(0x10000001, 1))},
        {0x06000001, Bytes(100, 1)},
    };
    std::vector<std::string> texts;
    for (int pass = 0; pass < 2; ++pass) {
        write_archive(files, [](DatWriter& writer, const auto& entries) {
            break_chain(writer, entries.at(0x10000013));
        });
        texts.push_back(run_tool({"verify", a_}).out);
        std::ranges::reverse(files);
    }
    EXPECT_EQ(texts[1], texts[0]);
    EXPECT_THAT(texts[0],
                HasSubstr("0x10000012: parse clothing table: 1 bytes left after the table"));
    const ToolRun run = run_tool({"verify", a_, "--format", "json"});
    EXPECT_EQ(run.status, 1);
    const std::vector<json> lines = json_lines(run.out);
    ASSERT_EQ(lines.size(), 7u);
    std::vector<std::string> problems;
    std::istringstream text{texts[0]};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string id = lines[i]["id"].get<std::string>();
        problems.push_back(id + " " + lines[i]["step"].get<std::string>());
        std::string text_line;
        std::getline(text, text_line);
        EXPECT_THAT(text_line, ::testing::StartsWith(id + ": "));  // the same order as text
    }
    EXPECT_THAT(texts[0], ::testing::EndsWith("\n6 of 7 files read, " +
                                              std::to_string(stored_bytes(0x10000013)) +
                                              " bytes, 6 problems\n"));
    EXPECT_EQ(lines[6], json({{"type", "summary"},
                              {"files", 7},
                              {"files_read", 6},
                              {"bytes", stored_bytes(0x10000013)},
                              {"problems", 6}}));
    EXPECT_THAT(problems,
                ::testing::ElementsAre(
                    "0x10000011 parse clothing table", "0x10000012 parse clothing table",
                    "0x10000013 read block chain", "0x10000014 expand compressed file",
                    "0x10000014 parse clothing table", "0x10000015 parse clothing table"));
}

TEST_F(ToolTest, UsageErrorsExitTwoWithNothingOnStandardOutput) {
    write_archive(mixed_files());
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"info"},
        {"ls", a_, "surplus"},
        {"ls", a_, "--type", "Clothes"},
        {"ls", a_, "--format", "xml"},
        {"cat", a_, "0x"},
        {"cat", a_, "123456789"},
        {"cat", a_, "0x1000000G"},
        {"cat", a_, "+1"},
        {"cat", a_, "0x-1"},
        {"clothing", a_, " 1"},
        {"extract", a_},
        {"extract", a_, ""},
        {"lss", a_},
        {"help", "lss"},
        {"help", "ls", "cat"},
        {"cat", a_},
        {"ls", a_, "--id", "0x2-0x1"},
        {"extract", a_, "out", "--id", "1,,2"},
        {"manifest", a_, "--id", ""},
        {"diff", a_, a_, "--id", "0x1-"},
        {"pack", "in", "out.dat", "--remove", "zz"},
    };
    for (const auto& args : cases) {
        const ToolRun run = run_tool(args);
        const std::string shown = ::testing::PrintToString(args);
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_THAT(run.err, HasSubstr("tarnwick-dat: ")) << shown;
    }
    EXPECT_THAT(run_tool({"ls", a_, "--type", "x"}).err, HasSubstr("Clothing, DegradeInfo"));
    EXPECT_THAT(run_tool({"lss", a_}).err,
                HasSubstr("unknown subcommand 'lss'; did you mean 'ls'?"));
    EXPECT_THAT(run_tool({"verfy"}).err, HasSubstr("did you mean 'verify'?"));
    EXPECT_THAT(run_tool({"zzzzzz"}).err, HasSubstr("the subcommands are: help info ls"));
    const ToolRun terminal = run_tool({"cat", a_, "0x01000001"}, Output::Terminal);
    EXPECT_EQ(terminal.status, 2);
    EXPECT_THAT(terminal.err, HasSubstr("not writing a file's bytes to a terminal"));
}

TEST_F(ToolTest, HelpVersionAndAClosedOutput) {
    write_archive(mixed_files());
    for (const char* command :
         {"info", "ls", "cat", "extract", "clothing", "verify", "diff", "manifest", "pack"}) {
        const ToolRun run = run_tool({command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_THAT(run.out, HasSubstr(std::string{"Usage: tarnwick-dat "} + command)) << command;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"help"}, {"help", "verify"}, {"--help"}}) {
        const ToolRun run = run_tool(args);
        EXPECT_EQ(run.status, 0) << args.back();
        EXPECT_THAT(run.out, HasSubstr("Exit status: 0 all went well")) << args.back();
        EXPECT_THAT(run.out, HasSubstr("tarnwick-dat verify portal.dat")) << args.back();
    }
    EXPECT_THAT(run_tool({"help", "ls"}).out, HasSubstr("Clothing, DegradeInfo"));
    EXPECT_EQ(run_tool({"--version"}).out, "tarnwick-dat 0.1.0\n");
    // A reader that went away ends the tool as it ends `ls`: by SIGPIPE, silently.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"ls", a_}, {"cat", a_, "0x06000010"}, {"--help"}}) {
        const ToolRun run = run_tool(args, Output::ClosedPipe);
        EXPECT_EQ(run.status, 128 + SIGPIPE) << args[0];
        EXPECT_EQ(run.err, "") << args[0];
    }
    const ToolRun forge = tarnwick_base::test_support::run_program(
        tarnwick_base::test_support::program_path("tarnwick-forge"), {"--help"}, {});
    EXPECT_EQ(forge.status, 0);
    EXPECT_THAT(forge.out, HasSubstr("usage: tarnwick-forge"));
}

// Damaged archives end every subcommand with the library's error, never a crash or a hang.
TEST_F(ToolTest, CorruptArchivesEndWithTheirError) {
    const std::pair<const char*, std::function<void(DatWriter&)>> damages[] = {
        {"reading the directory: failed to fill whole buffer (the directory's root node at offset "
         "0x7FFFFF00, the archive is ",
         [](DatWriter& writer) { writer.header().root_offset = 0x7FFFFF00; }},
        {"is reached again through its own branches",
         [](DatWriter& writer) {
             const auto blocks =
                 writer.allocate_chain(dat_node_length, ChainLayout::Contiguous).value();
             DirectoryNode loop;
             loop.branches[0] = blocks[0];
             ASSERT_TRUE(writer.write_node_at(blocks, loop).has_value());
             writer.header().root_offset = blocks[0];
         }},
    };
    for (const auto& [error, damage] : damages) {
        write_archive(mixed_files(), [&](DatWriter& writer, const auto&) { damage(writer); });
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{"info", a_},
                                                   {"ls", a_},
                                                   {"cat", a_, "10000001"},
                                                   {"extract", a_, (dir_ / "out").string()},
                                                   {"clothing", a_, "10000001"},
                                                   {"verify", a_}}) {
            const ToolRun run = run_tool(args);
            EXPECT_EQ(run.status, 1) << args[0] << " " << error;
            EXPECT_THAT(run.err, HasSubstr(error)) << args[0];
            // One line naming the archive, even into a file.
            EXPECT_THAT(run.err, ::testing::StartsWith("tarnwick-dat: " + a_ + ": ")) << args[0];
            EXPECT_EQ(line_count(run.err), 1) << run.err;
            // Scripts still get their JSON; the others say nothing on standard output.
            if (args[0] != "verify" && args[0] != "info") {
                EXPECT_EQ(run.out, "") << args[0];
            }
        }
    }
}

// The tool run by a shell, for what a shell sets up around it: limits, several runs at once.
ToolRun run_shell(const std::string& script) {
    return tarnwick_base::test_support::run_program(
        "/bin/sh",
        {"-c", script, "sh", tarnwick_base::test_support::program_path("tarnwick-dat").string()},
        {"PATH=/usr/bin:/bin"});
}

std::vector<fs::path> entries_below(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        found.push_back(item.path());
    }
    return found;
}

// A symlinked type folder, a hard link and a FIFO planted at the temporary names an earlier
// version used, and a link at a file's own name: nothing is written outside DIR, nothing
// blocks, and the link is replaced, not written through.
TEST_F(ToolTest, ExtractionCannotBeTurnedAgainstItsUser) {
    write_archive(mixed_files());
    const fs::path out = dir_ / "o";
    const fs::path elsewhere = dir_ / "e";
    fs::create_directories(out / "Texture");
    fs::create_directories(elsewhere);
    fs::create_directory_symlink("../e", out / "Clothing");
    std::ofstream{elsewhere / "victim"} << "victim";
    fs::create_hard_link(elsewhere / "victim", out / "Texture" / ".06000010.bin.part");
    fs::create_directories(out / "Model");
    ASSERT_EQ(::mkfifo((out / "Model" / ".01000001.bin.part").c_str(), 0600), 0);
    fs::create_symlink(elsewhere / "victim", out / "Texture" / "06000010.bin");

    const ToolRun run = run_tool({"extract", a_, out.string(), "--force"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr(": extracting 0x10000001: " + (out / "Clothing").string() +
                                   " is not a folder of its own"));
    EXPECT_THAT(run.out, HasSubstr("extracted 3 files"));
    EXPECT_EQ(entries_below(elsewhere), std::vector<fs::path>{elsewhere / "victim"});
    EXPECT_EQ(read_file(elsewhere / "victim"), "victim");
    const fs::path texture = out / "Texture" / "06000010.bin";
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(texture)));
    EXPECT_EQ(as_bytes(read_file(texture)), Bytes(3000, 0x5A));
    // Dated as the entry is.
    struct stat status {};
    ASSERT_EQ(::stat((out / "Model" / "01000001.bin").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, entries_.at(0x01000001).timestamp);
}

TEST_F(ToolTest, ConcurrentExtractionsIntoOneFolderBothComplete) {
    std::vector<StoredFile> files;
    for (std::uint32_t i = 0; i < 400; ++i) {
        files.push_back({0x01000000 + i, Bytes(700 + i, static_cast<std::uint8_t>(i))});
    }
    write_archive(files);
    const std::string out = (dir_ / "cx").string();
    for (const std::string force : {"", " --force"}) {
        const ToolRun run =
            run_shell("\"$1\" extract " + a_ + " " + out + force + " & \"$1\" extract " + a_ + " " +
                      out + force + "; second=$?; wait $!; echo $? $second");
        EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1), "0 0\n")
            << run.out << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(entries_below(dir_ / "cx" / "Model").size(), files.size());
    }
    EXPECT_EQ(as_bytes(read_file(dir_ / "cx" / "Model" / "01000005.bin")), files[5].bytes);
}

// A stream that expands to fewer bytes than it declares: a failure, named, with no file left.
TEST_F(ToolTest, ShortExpansionFailsCatExtractAndDiff) {
    write_archive(
        {{0x10000014, cut_stream(0x10000014), {.extra_flags = DatFileEntry::compressed_flag}}});
    const ToolRun cat = run_tool({"cat", a_, "0x10000014"});
    EXPECT_EQ(cat.status, 1);
    EXPECT_EQ(cat.out, "");
    EXPECT_THAT(cat.err, ::testing::MatchesRegex("tarnwick-dat: .*: reading file 0x10000014: "
                                                 "expanded to [0-9]+ of the [0-9]+ bytes "
                                                 "declared\n"));
    const ToolRun extract = run_tool({"extract", a_, (dir_ / "out").string()});
    EXPECT_EQ(extract.status, 1);
    EXPECT_THAT(extract.err, HasSubstr("bytes declared"));
    EXPECT_EQ(entries_below(dir_ / "out"), std::vector<fs::path>{dir_ / "out" / "Clothing"});
    // The same stored bytes on both sides are still expanded, and fail on each.
    const ToolRun diff = run_tool({"diff", a_, a_});
    EXPECT_EQ(diff.status, 2);
    EXPECT_THAT(diff.out, HasSubstr("! 0x10000014  Clothing            ?  old: expanded to "));
    EXPECT_THAT(diff.out, HasSubstr("bytes declared; new: expanded to "));
}

// Files that are not archives, and headers that do not fit their file, are problems.
TEST_F(ToolTest, VerifyChecksTheHeader) {
    std::ofstream{archive_}.close();
    fs::resize_file(archive_, 1 << 20);
    const ToolRun zeros = run_tool({"verify", a_});
    EXPECT_EQ(zeros.status, 1);
    EXPECT_THAT(zeros.out, HasSubstr("archive: check header: magic 0x00000000 is not an "
                                     "archive's (0x00005442)"));
    EXPECT_THAT(zeros.out, HasSubstr("the header records 0 bytes, the file has 1048576"));
    EXPECT_THAT(zeros.out, ::testing::EndsWith(" 3 problems\n"));
    write_archive(mixed_files(),
                  [](DatWriter& writer, const auto&) { writer.header().file_size = 12; });
    const ToolRun sized = run_tool({"verify", a_, "-q"});
    EXPECT_EQ(sized.status, 1);
    EXPECT_THAT(sized.out,
                ::testing::StartsWith("archive: check header: the header records 12 bytes"));
    EXPECT_EQ(line_count(sized.out), 1) << sized.out;
}

// Many entries over one run of blocks: each block is claimed once, the others are named as
// cross-linked and not read again, so the work stays that of the archive's size.
TEST_F(ToolTest, VerifyNamesCrossLinkedChainsAndReadsEachBlockOnce) {
    constexpr std::uint32_t entries = 300;
    write_archive({{0x06000000, Bytes(20000, 7)}}, [](DatWriter& writer, const auto& written) {
        std::vector<DatFileEntry> shared;
        for (std::uint32_t i = 0; i < entries; ++i) {
            DatFileEntry entry = written.at(0x06000000);
            entry.id += i;
            shared.push_back(entry);
        }
        ASSERT_TRUE(writer.write_directory(shared).has_value());
    });
    const ToolRun run = run_tool({"verify", a_, "--format", "json"});
    EXPECT_EQ(run.status, 1);
    const std::vector<json> lines = json_lines(run.out);
    EXPECT_EQ(std::ranges::count_if(lines,
                                    [](const json& line) {
                                        return line.value("error", "").find("(cross-linked)") !=
                                               std::string::npos;
                                    }),
              entries - 1);
    EXPECT_EQ(lines.back()["files_read"], 1);
    EXPECT_EQ(lines.back()["bytes"], 20000);
}

// Under an address-space limit: a file that fits is given (no second copy of it), one that
// does not is a clear error, never an abort.
TEST_F(ToolTest, MemoryThatRunsOutIsAnError) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit";
#endif
    // Back-references of 17 bytes each, one byte back: 136 bytes from every 17 stored.
    const auto stream = [](std::uint32_t expanded) {
        Bytes bytes{0, 0, 0, 0, 0x00, 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
        for (std::uint32_t made = 8; made < expanded; made += 136) {
            bytes.push_back(0xFF);
            for (int i = 0; i < 8; ++i) {
                bytes.insert(bytes.end(), {0x01, 0x0F});
            }
        }
        for (int i = 0; i < 4; ++i) {
            bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(expanded >> (8 * i));
        }
        return bytes;
    };
    const std::uint32_t fits = 70 << 20;
    const std::uint32_t too_big = 200 << 20;
    write_archive({{0x06000001, stream(fits), {.extra_flags = DatFileEntry::compressed_flag}},
                   {0x06000002, stream(too_big), {.extra_flags = DatFileEntry::compressed_flag}}});
    const std::string limited = "ulimit -v 150000; exec \"$1\" cat " + a_ + " ";
    const ToolRun fitting = run_shell(limited + "0x06000001 | wc -c");
    EXPECT_EQ(fitting.out, std::to_string(fits) + "\n") << fitting.err;
    const ToolRun failing = run_shell(limited + "0x06000002");
    EXPECT_EQ(failing.status, 1);
    EXPECT_EQ(failing.out, "");
    EXPECT_EQ(failing.err, "tarnwick-dat: " + a_ +
                               ": reading file 0x06000002: Cannot allocate memory (os error 12)\n");
}

// Scripts get JSON whatever fails; people get one plain line, names escaped.
TEST_F(ToolTest, FailuresGiveJsonAndOnePlainLine) {
    const std::string missing = (dir_ / "no\x1b[1m.dat").string();
    const ToolRun verify = run_tool({"verify", missing, "--format", "json"});
    EXPECT_EQ(verify.status, 1);
    const std::vector<json> lines = json_lines(verify.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["type"], "problem");
    EXPECT_EQ(lines[1]["type"], "summary");
    EXPECT_EQ(verify.err, "tarnwick-dat: " + (dir_ / "no\\x1B[1m.dat").string() +
                              ": opening the archive: No such file or directory (os error 2)\n");

    std::ofstream{archive_} << "root:x:0:0:root:/root:/bin/bash\n";
    const ToolRun info = run_tool({"info", a_});
    EXPECT_EQ(info.err, "tarnwick-dat: " + a_ +
                            ": reading the header: failed to fill whole buffer (while parsing "
                            "field 'magic' in DatHeader) (the file is 32 bytes; an archive's "
                            "header ends at byte 400)\n");
    write_archive(mixed_files(),
                  [](DatWriter& writer, const auto&) { writer.header().root_offset = 0x7FFFFF00; });
    const ToolRun info_json = run_tool({"info", a_, "--format", "json"});
    EXPECT_EQ(info_json.status, 1);
    const json object = json::parse(info_json.out);
    EXPECT_EQ(object["header"]["root_offset"], 0x7FFFFF00);
    EXPECT_EQ(object["error"]["doing"], "reading the directory");
    EXPECT_THAT(run_tool({"info", a_}).out, HasSubstr("  root_offset          2147483392"));
    EXPECT_THAT(info_json.err, HasSubstr("root node at offset 0x7FFFFF00, the archive is "));
    const json clothing =
        json::parse(run_tool({"clothing", a_, "0x10000001", "--format", "json"}).out);
    EXPECT_EQ(clothing["error"]["doing"], "reading the directory");
    for (const std::string& output : {verify.out, info_json.out, info_json.err}) {
        EXPECT_EQ(output.find('\x1b'), std::string::npos) << output;
    }
}

// A full disk (here a file size limit) stops the run with one message.
TEST_F(ToolTest, ExtractStopsAtAFullDisk) {
    std::vector<StoredFile> files;
    for (std::uint32_t i = 0; i < 20; ++i) {
        files.push_back({0x01000000 + i, Bytes(4096, 1)});
    }
    write_archive(files);
    const ToolRun run = run_shell("trap '' XFSZ; ulimit -f 2; exec \"$1\" extract " + a_ + " " +
                                  (dir_ / "full").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(line_count(run.err), 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr("stopping: no room for the remaining files"));
    expect_no_part_files(dir_ / "full");
}

class DiffTest : public ToolTest {
  protected:
    // OLD is the mixed archive; NEW differs from it in each of the four ways, and in one texture
    // swap of a clothing table of the same length.
    void SetUp() override {
        write_archive(mixed_files());
        fs::rename(archive_, old_);
        ClothingTable patched = small_table;
        patched.clothing_base_effects.at(0x02000001)
            .clo_object_effects[1]
            .clo_texture_effects[0]
            .new_texture = 0x05009999;
        std::vector<StoredFile> files = mixed_files();
        files[0].options.compressed = false;    // 0x10000001: metadata
        files[1].bytes = table_bytes(patched);  // 0x10000002: changed
        files[3].options.timestamp = 1;         // 0x01000001: metadata
        files[4].id = 0x0A000002;               // 0x0A000001 removed, 0x0A000002 added
        write_archive(files);
    }

    fs::path old_ = dir_ / "old.dat";
    std::string o_ = old_.string();
};

TEST_F(DiffTest, TextListsEachKindOfChange) {
    const std::string big = std::to_string(table_bytes(big_table).size());
    const std::string swap =
        "    /clothing_base_effects/0x02000001/clo_object_effects/1/clo_texture_effects/0/"
        "new_texture\n";
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"diff", o_, a_},
         1,
         "~ 0x01000001  Model               11  (timestamp)\n"
         "- 0x0A000001  Audio               0\n"
         "+ 0x0A000002  Audio               0\n"
         "~ 0x10000001  Clothing            " +
             big +
             "  (compressed)\n"
             "M 0x10000002  Clothing            220\n" +
             swap +
             "Audio: 1 added, 1 removed, 0 changed, 0 metadata\n"
             "Clothing: 0 added, 0 removed, 1 changed, 1 metadata\n"
             "Model: 0 added, 0 removed, 0 changed, 1 metadata\n"
             "in all: 1 added, 1 removed, 1 changed, 2 metadata\n"},
        {{"diff", a_, o_, "--type", "clothing", "--id", "0x10000002,0x0A000000-0x0AFFFFFF"},
         1,
         "M 0x10000002  Clothing            220\n" + swap +
             "Clothing: 0 added, 0 removed, 1 changed, 0 metadata\n"
             "in all: 0 added, 0 removed, 1 changed, 0 metadata\n"},
        {{"diff", a_, o_, "--id", "0x0A000001"},
         1,
         "+ 0x0A000001  Audio               0\n"
         "Audio: 1 added, 0 removed, 0 changed, 0 metadata\n"
         "in all: 1 added, 0 removed, 0 changed, 0 metadata\n"},
        {{"diff", o_, o_}, 0, "in all: 0 added, 0 removed, 0 changed, 0 metadata\n"},
        {{"diff", o_, (dir_ / "missing.dat").string()}, 2, ""},
        {{"diff", o_}, 2, ""},
    };
    for (const auto& [args, status, out] : cases) {
        const ToolRun run = run_tool(args);
        EXPECT_EQ(run.status, status) << args.back() << run.err;
        EXPECT_EQ(run.out, out) << args.back();
    }
}

TEST_F(DiffTest, JsonGivesBothSidesAndTheChangedFields) {
    const ToolRun run = run_tool({"diff", o_, a_, "--format", "json"});
    ASSERT_EQ(run.status, 1) << run.err;
    const std::vector<json> lines = json_lines(run.out);
    ASSERT_EQ(lines.size(), 6u);
    const std::pair<const char*, const char*> expected[] = {
        {"0x01000001", "metadata"}, {"0x0A000001", "removed"}, {"0x0A000002", "added"},
        {"0x10000001", "metadata"}, {"0x10000002", "changed"},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(lines[i]["type"], "entry");
        EXPECT_EQ(lines[i]["id"], expected[i].first);
        EXPECT_EQ(lines[i]["change"], expected[i].second);
        EXPECT_EQ(lines[i].contains("old"), i != 2) << i;
        EXPECT_EQ(lines[i].contains("new"), i != 1) << i;
    }
    EXPECT_EQ(lines[2]["new"], json({{"size", 0},
                                     {"stored_size", 0},
                                     {"compressed", false},
                                     {"timestamp", "1970-01-01T00:00:00Z"},
                                     {"version", 0},
                                     {"bit_flags", 0},
                                     {"sha256", empty_sha256}}));
    EXPECT_EQ(lines[3]["old"]["size"], lines[3]["new"]["size"]);
    EXPECT_EQ(lines[3]["old"]["sha256"], lines[3]["new"]["sha256"]);
    EXPECT_EQ(lines[3]["old"]["compressed"], true);
    EXPECT_EQ(lines[3]["new"]["stored_size"], table_bytes(big_table).size());
    EXPECT_EQ(lines[4]["file_type"], "Clothing");
    EXPECT_NE(lines[4]["old"]["sha256"], lines[4]["new"]["sha256"]);
    EXPECT_EQ(lines[4]["fields"],
              json::array({"/clothing_base_effects/0x02000001/clo_object_effects/1/"
                           "clo_texture_effects/0/new_texture"}));
    EXPECT_EQ(lines[5], json({{"type", "summary"},
                              {"added", 1},
                              {"removed", 1},
                              {"changed", 1},
                              {"metadata", 2},
                              {"unreadable", 0}}));
}

// A file that cannot be read is listed with its error, and makes the status 2.
TEST_F(DiffTest, AnUnreadableFileIsTrouble) {
    write_archive(mixed_files(), [](DatWriter& writer, const auto& entries) {
        break_chain(writer, entries.at(0x06000010));
    });
    const ToolRun run = run_tool({"diff", o_, a_, "--type", "texture"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out,
              "! 0x06000010  Texture             3000 → ?  new: failed to fill whole buffer (its "
              "chain at offset 0x00001000, 3000 bytes stored; the archive is 10240 "
              "bytes)\nTexture: 0 added, 0 removed, 0 changed, 0 metadata, 1 unreadable\nin all: "
              "0 added, 0 removed, 0 changed, 0 metadata, 1 unreadable\n");
}

// Run inside the extraction folder, sha256sum accepts every line the manifest gives.
TEST_F(ToolTest, ManifestChecksAnExtractionWithSha256sum) {
    write_archive(mixed_files());
    const ToolRun manifest = run_tool({"manifest", a_});
    ASSERT_EQ(manifest.status, 0) << manifest.err;
    EXPECT_THAT(manifest.out, HasSubstr(std::string{empty_sha256} + "  Audio/0A000001.bin\n"));
    EXPECT_EQ(line_count(manifest.out), 5);
    const fs::path out = dir_ / "out";
    ASSERT_EQ(run_tool({"extract", a_, out.string()}).status, 0);
    std::ofstream{dir_ / "manifest"} << manifest.out;
    const ToolRun check = run_shell("cd '" + out.string() + "' && sha256sum -c ../manifest");
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(line_count(check.out), 5);
    EXPECT_THAT(check.out, HasSubstr("Clothing/10000001.bin: OK\n"));
    const ToolRun chosen = run_tool({"manifest", a_, "--type", "Clothing", "--id", "0x10000002"});
    EXPECT_EQ(chosen.out.substr(64), "  Clothing/10000002.bin\n");
}

// Gives a file the modification time an archive's timestamp holds.
void set_modified(const fs::path& path, std::uint32_t seconds) {
    const timespec times[2] = {{.tv_sec = seconds, .tv_nsec = 0},
                               {.tv_sec = seconds, .tv_nsec = 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// pack starts from the mixed archive, extracted into `folder_`.
class PackTest : public ToolTest {
  protected:
    void SetUp() override {
        write_archive(mixed_files());
        ASSERT_EQ(run_tool({"extract", a_, folder_.string()}).status, 0);
    }

    // The written archive is laid out as pack promises: the header's length is the file's, no
    // free blocks, the chains in ascending id order one after another.
    void expect_packed_layout(std::uint32_t block_size) {
        const DatDatabase packed = DatDatabase::open(packed_).value();
        EXPECT_EQ(packed.header().file_size, fs::file_size(packed_));
        EXPECT_EQ(packed.header().block_size, block_size);
        EXPECT_EQ(
            packed.header().free_head | packed.header().free_tail | packed.header().free_count, 0u);
        std::map<std::uint32_t, DatFileEntry> by_id{packed.files().begin(), packed.files().end()};
        std::uint64_t next = 0;
        for (const auto& [id, entry] : by_id) {
            if (entry.size == 0) {
                continue;
            }
            EXPECT_TRUE(next == 0 || entry.offset == next) << std::hex << id;
            const std::uint64_t payload = block_size - dat_link_word_length;
            next = entry.offset + (entry.size + payload - 1) / payload * block_size;
        }
    }

    fs::path folder_ = dir_ / "files";
    fs::path packed_ = dir_ / "packed.dat";
    std::string f_ = folder_.string();
    std::string p_ = packed_.string();
};

// Extracted and packed again, in each compression mode: the same bytes, and with the source
// archive, the same metadata but where the mode changes the compression.
TEST_F(PackTest, RoundTripsInEachMode) {
    const std::string manifest = run_tool({"manifest", a_}).out;
    const std::tuple<std::vector<std::string>, std::string, bool> cases[] = {
        {{"--from", a_}, "", false},
        {{"--from", a_, "--compress", "none"}, "0x10000001", false},
        {{"--from", a_, "--compress", "all"}, "0x01000001 0x06000010 0x0A000001 0x10000002", true},
        {{}, "0x01000001 0x10000001 0x10000002", false},  // flags, compression, version
    };
    for (const auto& [options, metadata, all_compressed] : cases) {
        std::vector<std::string> args{"pack", f_, p_};
        args.insert(args.end(), options.begin(), options.end());
        const ToolRun run = run_tool(args);
        const std::string shown = ::testing::PrintToString(options);
        ASSERT_EQ(run.status, 0) << shown << run.err;
        EXPECT_THAT(run.out, HasSubstr("packed 5 files into " + p_)) << shown;
        EXPECT_EQ(run_tool({"manifest", p_}).out, manifest) << shown;
        EXPECT_EQ(run_tool({"verify", p_}).status, 0) << shown;
        std::string listed;
        for (const json& line : json_lines(run_tool({"diff", a_, p_, "--format=json"}).out)) {
            if (line["type"] == "entry") {
                EXPECT_EQ(line["change"], "metadata") << shown;
                listed += listed.empty() ? "" : " ";
                listed += line["id"].get<std::string>();
            }
        }
        EXPECT_EQ(listed, metadata) << shown;
        for (const json& line : json_lines(run_tool({"ls", p_, "--format=json"}).out)) {
            EXPECT_EQ(line["compressed"],
                      all_compressed || (line["id"] == "0x10000001" && options.size() == 2))
                << shown << line;
        }
        expect_packed_layout(1024);
    }
}

// Files in the folder replace and add, --remove drops; every other file keeps its metadata.
// Enough new files that the directory takes two levels.
TEST_F(PackTest, ReplacesAddsAndRemoves) {
    const fs::path from = dir_ / "source.dat";
    write_archive(
        mixed_files(), [](DatWriter& writer, const auto&) { writer.header().game_version = 42; },
        from, 512);
    fs::remove_all(folder_);
    ClothingTable patched = small_table;
    patched.clothing_base_effects.erase(0x02000001);
    fs::create_directories(folder_ / "Clothing");
    fs::create_directories(folder_ / "New");
    const Bytes replacement = table_bytes(patched);
    std::ofstream{folder_ / "Clothing" / "10000002.bin", std::ios::binary}
        << std::string(replacement.begin(), replacement.end());
    set_modified(folder_ / "Clothing" / "10000002.bin", 1234567890);
    for (std::uint32_t i = 0; i < 130; ++i) {
        std::ofstream{folder_ / "New" / (hex_upper(0x0E000000 + i, 8) + ".bin")} << i;
    }
    const ToolRun run =
        run_tool({"pack", f_, p_, "--from", from.string(), "--remove", "0x0A000001"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "packed 134 files into " + p_ + ": 3 kept, 1 replaced, 130 added, 1 removed\n");
    const ToolRun diff = run_tool({"diff", from.string(), p_});
    EXPECT_EQ(diff.status, 1);
    EXPECT_THAT(diff.out, HasSubstr("- 0x0A000001  Audio               0\n"
                                    "+ 0x0E000000  Table               1\n"));
    EXPECT_THAT(diff.out, HasSubstr("\n+ 0x0E000081  Table               3\n"));
    EXPECT_THAT(diff.out, HasSubstr("\nM 0x10000002  Clothing            220 → 152\n"
                                    "    /clothing_base_effects/0x02000001\n"
                                    "Audio: "));
    EXPECT_THAT(diff.out, HasSubstr("in all: 130 added, 1 removed, 1 changed, 0 metadata\n"));
    const json replaced =
        json_lines(run_tool({"ls", p_, "--format=json", "--type=clothing"}).out).at(1);
    EXPECT_EQ(replaced["timestamp"], "2009-02-13T23:31:30Z");
    EXPECT_EQ(replaced["version"], 7);
    const DatDatabase packed = DatDatabase::open(packed_).value();
    EXPECT_EQ(packed.header().game_version, 42u);
    EXPECT_EQ(packed.directory_shape().depth, 2u);
    expect_packed_layout(512);
}

// Refused: nothing written at OUT or beside it, the source untouched.
TEST_F(PackTest, RefusesWhatItCannotPack) {
    const std::string source = read_file(archive_);
    fs::create_hard_link(archive_, dir_ / "hard.dat");
    fs::create_symlink(archive_, dir_ / "soft.dat");
    const std::tuple<std::function<void()>, std::vector<std::string>, int, std::string> cases[] = {
        {[] {}, {"pack", f_, (dir_ / "hard.dat").string(), "--from", a_}, 2, "it is the archive"},
        {[] {}, {"pack", f_, (dir_ / "soft.dat").string(), "--from", a_}, 2, "it is the archive"},
        {[] {},
         {"pack", f_, (dir_ / "." / "portal.dat").string(), "--from", a_},
         2,
         "it is the archive"},
        {[] {}, {"pack", f_, p_, "--remove", "0x0A000009"}, 1, "is not in an archive"},
        {[] {},
         {"pack", f_, p_, "--from", a_, "--remove", "0x0A000001"},
         1,
         "0x0A000001 is to be removed and is in"},
        {[] {}, {"pack", f_, (dir_ / "none" / "out.dat").string()}, 1, "No such file"},
        {[] {}, {"pack", f_, p_, "--compress", "some"}, 2, "not auto, none or all"},
        {[this] { fs::create_directories(folder_ / "Model" / "deeper"); },
         {"pack", f_, p_},
         1,
         "files/Model/deeper: not a regular file named <ID>.bin"},
        {[this] { fs::create_symlink(archive_, folder_ / "Model" / "01000002.bin"); },
         {"pack", f_, p_},
         1,
         "files/Model/01000002.bin: not a regular file"},
        {[this] { std::ofstream{folder_ / "notes.txt"}; },
         {"pack", f_, p_},
         1,
         "files/notes.txt: not a folder"},
        {[this] { fs::copy(folder_ / "Model", folder_ / "Copy"); },
         {"pack", f_, p_},
         1,
         "0x01000001 is also given as"},
    };
    for (const auto& [prepare, args, status, error] : cases) {
        prepare();
        const ToolRun run = run_tool(args);
        EXPECT_EQ(run.status, status) << args[2];
        EXPECT_EQ(run.out, "") << args[2];
        EXPECT_THAT(run.err, HasSubstr(error)) << args[2];
        EXPECT_FALSE(fs::exists(packed_));
    }
    EXPECT_EQ(read_file(archive_), source);
    expect_no_part_files(dir_.path());
}

// A clean archive passes; a byte flipped inside a stored file: plain verify cannot see it, the
// manifest can. A manifest lacking a file or naming one the archive lacks is a problem too; a
// malformed one, a usage error.
TEST_F(ToolTest, VerifyWithAManifestFindsAFlippedByte) {
    write_archive(mixed_files());
    const std::string manifest = run_tool({"manifest", a_}).out;
    const fs::path path = dir_ / "manifest";
    std::ofstream{path} << manifest;
    const std::string m = path.string();
    EXPECT_EQ(run_tool({"verify", a_, "--manifest", m}).status, 0);
    const ToolRun clean = run_tool({"verify", a_});
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.out,
              "5 of 5 files read, " + std::to_string(stored_bytes()) + " bytes, 0 problems\n");
    write_archive(mixed_files(), [](DatWriter& writer, const auto& entries) {
        ASSERT_TRUE(writer.write_raw(entries.at(0x06000010).offset + 100, Bytes{0x5B}).has_value());
    });
    EXPECT_EQ(run_tool({"verify", a_}).status, 0);
    std::ofstream{path} << manifest.substr(manifest.find('\n') + 1)  // without 0x01000001
                        << empty_sha256 << "  Audio/0A000009.bin\n";
    const ToolRun run = run_tool({"verify", a_, "--manifest", m, "--format", "json"});
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> problems;
    for (const json& line : json_lines(run.out)) {
        if (line["type"] == "problem") {
            problems.push_back(line["id"].get<std::string>() + " " +
                               line["step"].get<std::string>() + ": " +
                               line["error"].get<std::string>().substr(0, 24));
        }
    }
    EXPECT_THAT(problems,
                ::testing::ElementsAre(
                    "0x01000001 check manifest: not in the manifest",
                    "0x06000010 check manifest: SHA-256 " +
                        run_tool({"manifest", a_, "--id", "0x06000010"}).out.substr(0, 16),
                    "0x0A000009 check manifest: in the manifest, not in "));
    for (const std::string& bad :
         {std::string{empty_sha256} + " Audio/0A000001.bin", std::string{"  Audio/0A000001.bin"},
          std::string{empty_sha256} + "  0A000001.bin", manifest.substr(0, manifest.find('\n'))}) {
        std::ofstream{path} << manifest.substr(0, manifest.find('\n') + 1) << bad << "\n";
        const ToolRun usage = run_tool({"verify", a_, "--manifest", m});
        EXPECT_EQ(usage.status, 2) << bad;
        EXPECT_EQ(usage.out, "") << bad;
        EXPECT_THAT(usage.err, HasSubstr(m + " line 2: ")) << bad;
    }
}

// --id chooses by ids and ranges, with --type; cat writes several files one after another.
TEST_F(ToolTest, IdListsChooseFiles) {
    write_archive(mixed_files());
    const std::string model = "model bytes";
    const std::string texture(3000, 0x5A);
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"cat", a_, "0x0A000001", "0x01000001", "1000001"}, 0, model + model},
        {{"cat", a_, "--id", "0x06000010,0x01000000-0x01FFFFFF"}, 0, model + texture},
        {{"cat", a_, "0x06000010", "--id", "0x01000001"}, 0, texture + model},
        {{"cat", a_, "0x01000001", "0x0100000A"}, 1, ""},
        {{"cat", a_, "--type", "audio"}, 0, ""},
        {{"ls", a_, "--id", "0x06000000-0x0FFFFFFF,0x10000002", "--type", "clothing"},
         0,
         "0x10000002"},
        {{"manifest", a_, "--id", "0x06000000-0x0FFFFFFF"}, 0, "Texture/06000010.bin"},
    };
    for (const auto& [args, status, out] : cases) {
        const ToolRun run = run_tool(args);
        EXPECT_EQ(run.status, status) << args.back() << run.err;
        if (args[0] == "cat") {
            EXPECT_EQ(run.out, out) << args.back();
        } else {
            EXPECT_EQ(line_count(run.out), args[0] == "ls" ? 1 : 2);
            EXPECT_THAT(run.out, HasSubstr(out));
        }
    }
    const fs::path out = dir_ / "out";
    ASSERT_EQ(run_tool({"extract", a_, out.string(), "--id", "0x01000001,0x0A000001"}).status, 0);
    EXPECT_THAT(entries_below(out),
                ::testing::UnorderedElementsAre(out / "Audio", out / "Audio" / "0A000001.bin",
                                                out / "Model", out / "Model" / "01000001.bin"));
}

}  // namespace
