// The extraction's floor: every file of the archive written to DIR as the tool lays them out
// (DIR/<type name>/<ID>.bin), with nothing more than an exclusive open, one write and a close
// for each, the bytes read through the library in ascending offset order.
//   extract_floor ARCHIVE DIR
// Prints the number of files and bytes written.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tarnwick_base/hex.hpp"
#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "extract_floor: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: extract_floor ARCHIVE DIR\n");
        return 2;
    }
    auto dat = tarnwick_dat::DatDatabase::open(argv[1]);
    if (!dat) {
        return fail("cannot open the archive: " + dat.error().display());
    }
    const std::string directory = argv[2];
    std::vector<tarnwick_dat::DatFileEntry> entries = dat->entries();
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.offset < b.offset; });

    std::set<std::string> made;
    tarnwick_dat::ReadWindow window;
    unsigned long long bytes_written = 0;
    for (const tarnwick_dat::DatFileEntry& entry : entries) {
        auto bytes = dat->get_file(entry.id, window);
        if (!bytes) {
            return fail("cannot read a file: " + bytes.error().display());
        }
        const std::string folder =
            directory + "/" + std::string{tarnwick_dat::file_type_name(dat->type_of(entry.id))};
        if (made.insert(folder).second && ::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
            return fail("cannot create " + folder + ": " + std::strerror(errno));
        }
        const std::string path = folder + "/" + tarnwick_base::hex_upper(entry.id, 8) + ".bin";
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 ||
            ::write(fd, bytes->data(), bytes->size()) != static_cast<ssize_t>(bytes->size())) {
            return fail("cannot write " + path + ": " + std::strerror(errno));
        }
        ::close(fd);
        bytes_written += bytes->size();
    }
    std::printf("files=%zu bytes=%llu\n", entries.size(), bytes_written);
    return 0;
}
