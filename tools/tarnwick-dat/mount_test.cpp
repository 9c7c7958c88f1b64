// End to end: archives written here, mounted with the built tarnwick-dat and read through the
// kernel as any program would. Where FUSE cannot be used the tests skip and say why.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <expected>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mount_cache.hpp"
#include "tarnwick_base/hex.hpp"
#include "tarnwick_base/test_support/program_run.hpp"
#include "tarnwick_dat/file_type/clothing_writer.hpp"
#include "tarnwick_dat/test_support/temp_dir.hpp"
#include "tarnwick_dat/writer.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tarnwick_dat;
using tarnwick_base::hex_upper;
using tarnwick_base::test_support::read_file;
using test_support::TempDir;
using ToolRun = tarnwick_base::test_support::ProgramRun;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

ToolRun run_in_environment(const fs::path& program, std::vector<std::string> args) {
    return tarnwick_base::test_support::run_program(
        program, std::move(args), tarnwick_base::test_support::this_environment());
}

ToolRun run_tool(std::vector<std::string> args) {
    return run_in_environment(tarnwick_base::test_support::program_path("tarnwick-dat"),
                              std::move(args));
}

constexpr const char* fusermount = "/usr/bin/fusermount3";

// Why mounting cannot be tried here, if it cannot.
std::optional<std::string> fuse_unavailable() {
    const int device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device < 0) {
        return std::string{"/dev/fuse: "} + std::strerror(errno);
    }
    ::close(device);
    if (::access(fusermount, X_OK) != 0) {
        return std::string{fusermount} + ": " + std::strerror(errno);
    }
    return std::nullopt;
}

dev_t device_of(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_dev : 0;
}

Bytes counting_bytes(std::size_t length, std::uint32_t seed) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 131 + seed + i / 251) % 256);
    }
    return bytes;
}

Bytes clothing_bytes(std::uint32_t id, std::uint32_t effects) {
    ClothingTable table;
    table.id = id;
    for (std::uint32_t i = 0; i < effects; ++i) {
        CloObjectEffect object;
        object.index = i;
        object.model_id = 0x01000000 + i;
        object.clo_texture_effects.push_back({0x05000000 + i, 0x05001000 + i});
        table.clothing_base_effects[0x02000000 + i].clo_object_effects.push_back(object);
        table.clothing_sub_pal_effects[i + 1].icon = 0x06000000 + i;
    }
    return write_clothing_table(table).value();
}

struct WrittenFile {
    std::uint32_t id;
    std::string path;  // under the mount point
    Bytes bytes;
    StoreOptions options;
};

// Compressed and plain, contiguous and scattered, empty, larger than one FUSE read; then a folder
// too long for one listing buffer. (One more file, whose chain runs off the end of the archive,
// is written apart.)
std::vector<WrittenFile> files_to_write() {
    std::vector<WrittenFile> files{
        {0x01000001, "Model/01000001.bin", counting_bytes(11, 1), {.timestamp = 1}},
        {0x06000010,
         "Texture/06000010.bin",
         counting_bytes(3000, 2),
         {.layout = ChainLayout::Scattered, .timestamp = 1078142400}},
        {0x06000011,
         "Texture/06000011.bin",
         counting_bytes(300'000, 3),
         {.compressed = true, .layout = ChainLayout::Scattered, .timestamp = 1200000000}},
        {0x0A000001, "Audio/0A000001.bin", {}, {.timestamp = 2000000000}},
        {0x10000001,
         "Clothing/10000001.bin",
         clothing_bytes(0x10000001, 40),
         {.compressed = true, .layout = ChainLayout::Scattered, .timestamp = 1100000000}},
        {0x10000002, "Clothing/10000002.bin", clothing_bytes(0x10000002, 2), {.version = 7}},
    };
    for (std::uint32_t i = 0; i < 300; ++i) {
        files.push_back({0x0E000000 + i,
                         "Table/0E" + hex_upper(i, 6) + ".bin",
                         counting_bytes(i, i),
                         {.timestamp = i}});
    }
    return files;
}
const std::vector<WrittenFile>& written_files() {
    static const std::vector<WrittenFile> files = files_to_write();
    return files;
}
constexpr std::uint32_t broken_id = 0x10000003;
const Bytes broken_bytes = clothing_bytes(broken_id, 100);  // several blocks: a link is followed

// Records the skip and gives false, for helpers that cannot return from the test themselves.
bool skipped(const std::string& reason) {
    [&] { GTEST_SKIP() << reason; }();
    return false;
}

// Mounts a written archive for the test, in the foreground on a thread of its own, so that the
// tool's standard error and status are known once it is unmounted.
class MountTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DatWriter writer = DatWriter::create(archive_).value();
        std::vector<DatFileEntry> entries;
        for (const WrittenFile& file : written_files()) {
            entries.push_back(writer.store_file(file.id, file.bytes, file.options).value());
        }
        entries.push_back(writer.store_file(broken_id, broken_bytes).value());
        ASSERT_TRUE(writer.write_directory(entries).has_value());
        ASSERT_TRUE(writer.write_u32(entries.back().offset, 0x7FFFFF00).has_value());
        ASSERT_TRUE(writer.finish().has_value());
        fs::create_directory(mount_point_);
    }
    void TearDown() override { unmount(); }

    bool mounted() const { return device_of(mount_point_) != device_of(dir_.path()); }

    // False, with the test skipped, when this machine does not allow mounting.
    bool mount(std::vector<std::string> options = {"--json"}) {
        if (const auto reason = fuse_unavailable()) {
            return skipped("FUSE is not available: " + *reason);
        }
        std::vector<std::string> args{"mount", archive_.string(), mount_point_.string(),
                                      "--foreground"};
        args.insert(args.end(), options.begin(), options.end());
        mounted_ = std::thread{[this, args] {
            run_ = run_tool(args);
            ended_ = true;
        }};
        for (int tick = 0; tick < 1000 && !mounted() && !ended_; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds{10});
        }
        if (mounted()) {
            return true;
        }
        mounted_.join();
        if (run_.err.find("not permitted") != std::string::npos) {
            return skipped("mounting is not permitted here: " + run_.err);
        }
        ADD_FAILURE() << "not mounted: status " << run_.status << ": " << run_.err;
        return false;
    }
    // The tool's run in the foreground, once unmounted.
    const ToolRun& unmount() {
        if (mounted()) {
            const ToolRun unmounted = run_in_environment(fusermount, {"-u", mount_point_.string()});
            EXPECT_EQ(unmounted.status, 0) << unmounted.err;
        }
        if (mounted_.joinable()) {
            mounted_.join();
        }
        return run_;
    }

    TempDir dir_;
    fs::path archive_ = dir_ / "portal.dat";
    fs::path mount_point_ = dir_ / "mnt";
    std::thread mounted_;
    std::atomic<bool> ended_{false};
    ToolRun run_;
};

Bytes read_whole(const fs::path& path) {
    const std::string text = read_file(path);
    return {text.begin(), text.end()};
}

// `length` bytes from `offset` through one descriptor, as many reads as it takes; errno set
// when a read fails.
std::optional<Bytes> read_range(int fd, std::size_t offset, std::size_t length) {
    Bytes bytes(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(fd, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

Bytes expected_range(const Bytes& bytes, std::size_t offset, std::size_t length) {
    const std::size_t start = std::min(offset, bytes.size());
    const std::size_t end = std::min(bytes.size(), start + length);
    return {bytes.begin() + static_cast<std::ptrdiff_t>(start),
            bytes.begin() + static_cast<std::ptrdiff_t>(end)};
}

std::string clothing_json_from_tool(const fs::path& archive, std::uint32_t id) {
    const ToolRun run =
        run_tool({"clothing", archive.string(), "0x" + hex_upper(id, 8), "--format", "json"});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

TEST_F(MountTest, ListsTheLayoutExtractWrites) {
    if (!mount()) {
        return;
    }
    std::map<std::string, std::tuple<std::uintmax_t, std::int64_t, unsigned>> listed;
    for (const auto& item : fs::recursive_directory_iterator(mount_point_)) {
        struct stat status {};
        ASSERT_EQ(::stat(item.path().c_str(), &status), 0) << item.path();
        listed[fs::relative(item.path(), mount_point_).string()] = {
            S_ISDIR(status.st_mode) ? 0 : static_cast<std::uintmax_t>(status.st_size),
            status.st_mtim.tv_sec, status.st_mode & 07777};
    }
    std::map<std::string, std::tuple<std::uintmax_t, std::int64_t, unsigned>> expected{
        {"Audio", {0, 2000000000, 0555}},
        {"Clothing", {0, 1100000000, 0555}},
        {"Model", {0, 1, 0555}},
        {"Table", {0, 299, 0555}},
        {"Texture", {0, 1200000000, 0555}},
        {"Clothing/10000003.bin", {broken_bytes.size(), 0, 0444}},
        {"Clothing/10000003.json", {0, 0, 0444}},  // the table cannot be read
    };
    for (const WrittenFile& file : written_files()) {
        expected[file.path] = {file.bytes.size(), file.options.timestamp, 0444};
    }
    for (const std::uint32_t id : {0x10000001U, 0x10000002U}) {
        const std::string path = "Clothing/" + hex_upper(id, 8);
        expected[path + ".json"] = {clothing_json_from_tool(archive_, id).size(),
                                    std::get<1>(expected[path + ".bin"]), 0444};
    }
    EXPECT_EQ(listed, expected);
    struct stat root {};
    ASSERT_EQ(::stat(mount_point_.c_str(), &root), 0);
    EXPECT_EQ(root.st_mode & 07777, 0555U);
    EXPECT_EQ(root.st_mtim.tv_sec, 2000000000);
}

// Every file whole and at offsets and lengths that fall across blocks, reads and the end; the
// clothing JSON as the clothing subcommand prints it; the broken file EIO, once on standard
// error, and the others readable after it.
TEST_F(MountTest, ReadsGiveTheWrittenBytes) {
    if (!mount()) {
        return;
    }
    for (const WrittenFile& file : written_files()) {
        const fs::path path = mount_point_ / file.path;
        EXPECT_EQ(read_whole(path), file.bytes) << file.path;
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0) << file.path;
        const std::size_t size = file.bytes.size();
        const std::size_t offsets[] = {
            0,    1,       1019, 4097, 131071, size / 2, size - std::min<std::size_t>(size, 3),
            size, size + 9};
        for (const std::size_t offset : offsets) {
            for (const std::size_t length : {1UL, 5UL, 4093UL, 131075UL, 300'001UL}) {
                EXPECT_EQ(read_range(fd, offset, length),
                          expected_range(file.bytes, offset, length))
                    << file.path << " at " << offset << ", " << length;
            }
        }
        ::close(fd);
    }
    const std::string json = read_file(mount_point_ / "Clothing/10000001.json");
    EXPECT_EQ(json, clothing_json_from_tool(archive_, 0x10000001));
    EXPECT_THAT(json, HasSubstr("\"0x02000027\""));

    errno = 0;
    const int broken = ::open((mount_point_ / "Clothing/10000003.bin").c_str(), O_RDONLY);
    EXPECT_EQ(broken, -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(read_whole(mount_point_ / written_files()[2].path), written_files()[2].bytes);
    const ToolRun& run = unmount();
    EXPECT_EQ(run.status, 0);
    const std::string line_start =
        "tarnwick-dat: " + archive_.string() + ": reading file 0x10000003: ";
    EXPECT_EQ(run.err.find(line_start), 0U) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST_F(MountTest, EveryWriteFailsWithReadOnlyFileSystem) {
    if (!mount({})) {
        return;
    }
    const std::string file = (mount_point_ / "Model/01000001.bin").string();
    const std::string folder = (mount_point_ / "Model").string();
    const std::string fresh = (mount_point_ / "Model/new.bin").string();
    const std::pair<const char*, std::function<int()>> writes[] = {
        {"open for writing", [&] { return ::open(file.c_str(), O_WRONLY); }},
        {"open for reading and writing", [&] { return ::open(file.c_str(), O_RDWR); }},
        {"create", [&] { return ::open(fresh.c_str(), O_WRONLY | O_CREAT, 0644); }},
        {"truncate", [&] { return ::truncate(file.c_str(), 0); }},
        {"remove", [&] { return ::unlink(file.c_str()); }},
        {"rename", [&] { return ::rename(file.c_str(), fresh.c_str()); }},
        {"make a folder", [&] { return ::mkdir(fresh.c_str(), 0755); }},
        {"remove a folder", [&] { return ::rmdir(folder.c_str()); }},
        {"link", [&] { return ::link(file.c_str(), fresh.c_str()); }},
        {"symlink", [&] { return ::symlink(file.c_str(), fresh.c_str()); }},
        {"chmod", [&] { return ::chmod(file.c_str(), 0644); }},
        {"set times", [&] { return ::utimes(file.c_str(), nullptr); }},
    };
    for (const auto& [name, write] : writes) {
        errno = 0;
        EXPECT_EQ(write(), -1) << name;
        EXPECT_EQ(errno, EROFS) << name << ": " << std::strerror(errno);
    }
    EXPECT_EQ(read_whole(file), written_files()[0].bytes);
}

// Threads reading the same files at once, each through its own opens, all get the right bytes.
TEST_F(MountTest, ThreadsReadAtOnce) {
    if (!mount()) {
        return;
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (std::size_t reader = 0; reader < 6; ++reader) {
        readers.emplace_back([&, reader] {
            for (std::size_t round = 0; round < 20; ++round) {
                const WrittenFile& file =
                    written_files()[(reader + round) % written_files().size()];
                const int fd = ::open((mount_point_ / file.path).c_str(), O_RDONLY);
                const std::size_t offset = (reader * 977 + round * 4099) % (file.bytes.size() + 1);
                if (fd < 0 ||
                    read_range(fd, offset, 70'000) != expected_range(file.bytes, offset, 70'000)) {
                    ++wrong;
                }
                ::close(fd);
            }
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(wrong, 0);
}

// In the background the tool ends once mounted, and the mount serves until unmounted.
TEST_F(MountTest, MountsInTheBackground) {
    if (const auto reason = fuse_unavailable()) {
        GTEST_SKIP() << "FUSE is not available: " << *reason;
    }
    const ToolRun run = run_tool({"mount", archive_.string(), mount_point_.string()});
    if (run.err.find("not permitted") != std::string::npos) {
        GTEST_SKIP() << "mounting is not permitted here: " << run.err;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_whole(mount_point_ / "Model/01000001.bin"), written_files()[0].bytes);
    EXPECT_EQ(run_in_environment(fusermount, {"-u", mount_point_.string()}).status, 0);
    EXPECT_TRUE(fs::is_empty(mount_point_));
}

TEST_F(MountTest, RefusesAMountPointItCannotUse) {
    std::ofstream{dir_ / "file"} << "x";
    fs::create_directories(dir_ / "full" / "inside");
    const std::pair<std::string, std::string> cases[] = {
        {(dir_ / "missing").string(), ": No such file or directory"},
        {(dir_ / "file").string(), " is not a folder"},
        {(dir_ / "full").string(), " is not empty"},
    };
    for (const auto& [directory, why] : cases) {
        const ToolRun run = run_tool({"mount", archive_.string(), directory});
        EXPECT_EQ(run.status, 1) << directory;
        EXPECT_THAT(run.err, HasSubstr("tarnwick-dat: " + directory + why)) << run.err;
    }
    const ToolRun not_archive =
        run_tool({"mount", (dir_ / "file").string(), mount_point_.string()});
    EXPECT_EQ(not_archive.status, 1);
    EXPECT_TRUE(fs::is_empty(mount_point_));
}

// The bytes kept stay within the capacity, the least recently used going first; a key being
// loaded is loaded once for all who ask; failures and contents too large are not kept.
TEST(ContentCache, KeepsTheMostRecentlyUsedWithinItsCapacity) {
    tarnwick_tool::ContentCache cache{100};
    std::map<std::size_t, int> loads;
    const auto get = [&](std::size_t key, std::size_t size) {
        return cache.get(key, [&, key, size]() -> std::expected<Bytes, std::string> {
            ++loads[key];
            if (size == 0) {
                return std::unexpected{std::string{"broken"}};
            }
            return Bytes(size, static_cast<std::uint8_t>(key));
        });
    };
    // key, size, then the loads of that key so far and the bytes held.
    const std::tuple<std::size_t, std::size_t, int, std::size_t> steps[] = {
        {1, 40, 1, 40},  {2, 40, 1, 80},  {1, 40, 1, 80},  // 1 kept, now the most recent
        {3, 40, 1, 80},                                    // 2 let go, not 1
        {1, 40, 1, 80},  {2, 40, 2, 80},                   // 2 loaded again, 3 let go
        {4, 101, 1, 80}, {4, 101, 2, 80},                  // too large: loaded each time
        {5, 0, 1, 80},   {5, 0, 2, 80},                    // failures are tried again
    };
    for (const auto& [key, size, expected_loads, held] : steps) {
        const auto result = get(key, size);
        ASSERT_EQ(result.has_value(), size != 0) << key;
        if (result) {
            EXPECT_EQ(**result, Bytes(size, static_cast<std::uint8_t>(key)));
        }
        EXPECT_EQ(loads[key], expected_loads) << key;
        EXPECT_EQ(cache.bytes_held(), held) << key;
    }

    std::atomic<int> shared_loads{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            const auto result = cache.get(9, [&]() -> std::expected<Bytes, std::string> {
                ++shared_loads;
                std::this_thread::sleep_for(std::chrono::milliseconds{50});
                return Bytes(10, 9);
            });
            EXPECT_EQ(result.value()->size(), 10U);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(shared_loads, 1);
}

}  // namespace
