// The input as a whole archive file: open it, read every entry's bytes, parse every clothing
// table. Whatever the bytes, each step ends with a DatError or a sound result, the fast reads
// agree with the step-by-step ones, the archive opened for its clothing alone agrees with the
// whole one, and the file is left as it was.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_input.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace {

using namespace tarnwick_dat;
using tarnwick_fuzz::Bytes;
using tarnwick_fuzz::require;

// A file in memory that the library opens by path like any other.
class MemoryArchive {
  public:
    MemoryArchive() : fd_{memfd_create("archive", 0)} { require(fd_ >= 0, "memfd_create failed"); }
    MemoryArchive(const MemoryArchive&) = delete;
    MemoryArchive& operator=(const MemoryArchive&) = delete;
    ~MemoryArchive() { close(fd_); }

    void replace(Bytes data) const {
        require(ftruncate(fd_, 0) == 0 &&
                    pwrite(fd_, data.data(), data.size(), 0) == static_cast<ssize_t>(data.size()),
                "writing the memory file failed");
    }
    std::vector<std::uint8_t> contents(std::size_t size) const {
        std::vector<std::uint8_t> bytes(size + 1);
        const ssize_t got = pread(fd_, bytes.data(), bytes.size(), 0);
        bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return bytes;
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
};

bool same_outcome(const std::expected<std::vector<std::uint8_t>, DatError>& a,
                  const std::expected<std::vector<std::uint8_t>, DatError>& b) {
    return a.has_value() == b.has_value() &&
           (a ? *a == *b : a.error().debug() == b.error().debug());
}

void read_everything(const DatDatabase& archive) {
    ReadWindow window;
    for (const DatFileEntry& entry : archive.entries()) {
        const std::uint32_t id = entry.id;
        require(same_outcome(archive.read_file_data(entry.offset, entry.size),
                             archive.read_file_data_exact(entry.offset, entry.size)),
                "the fast and step-by-step chain reads disagree");
        auto bytes = archive.get_file(id);
        require(same_outcome(archive.get_file(id, window), bytes),
                "a file read through a shared window differs from one read alone");
        if (!bytes) {
            continue;
        }
        if (!entry.is_compressed()) {
            require(bytes->size() == entry.size, "stored file of another size than its entry");
        } else if (entry.size >= lrs::size_prefix_length) {
            require(bytes->size() <= entry.size / lrs::reference_length * lrs::max_match_length,
                    "expanded file larger than its stored bytes can make");
        }
        if (from_id_in_dat(id, archive.dat_kind()) == DatFileType::Clothing) {
            ByteReader reader{*bytes};
            (void)ClothingTable::read(reader, Endian::Little);
        }
    }
}

bool same_entries(const std::vector<DatFileEntry>& a, const std::vector<DatFileEntry>& b) {
    const auto fields = [](const DatFileEntry& e) {
        return std::tuple{e.bit_flags, e.id, e.offset, e.size, e.timestamp, e.version};
    };
    return std::ranges::equal(a, b, {}, fields, fields);
}

// Opened for its clothing alone, the archive fails as the whole one does, or holds exactly the
// whole one's clothing entries.
void require_clothing_alone_alike(const std::string& path,
                                  const std::expected<DatDatabase, DatError>& whole) {
    const auto clothing = DatDatabase::open(path, DatFileType::Clothing);
    require(clothing.has_value() == whole.has_value() &&
                (whole || clothing.error().debug() == whole.error().debug()),
            "the archive opened for clothing fails otherwise than the whole one");
    require(!whole || same_entries(clothing->entries(), whole->entries(DatFileType::Clothing)),
            "the archive opened for clothing holds other entries than the whole one's clothing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MemoryArchive file;
    const Bytes input{data, size};
    file.replace(input);
    const auto archive = DatDatabase::open(file.path());
    if (archive) {
        read_everything(*archive);
    }
    require_clothing_alone_alike(file.path(), archive);
    const std::vector<std::uint8_t> after = file.contents(size);
    require(after.size() == size && std::equal(after.begin(), after.end(), input.begin()),
            "the archive changed");
    return 0;
}
