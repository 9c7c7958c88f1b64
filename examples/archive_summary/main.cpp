// A small program built against the installed tarnwick_dat library: prints how many files an
// archive holds and how many of them are clothing tables.
//
//   archive_summary [PATH]   (without PATH: TARNWICK_PORTAL_DAT, else the library's default)

#include <cstddef>
#include <filesystem>
#include <iostream>
#include <optional>

#include "tarnwick_dat/file_type.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/utils.hpp"

int main(int argc, char** argv) {
    using namespace tarnwick_dat;
    if (argc > 2) {
        std::cerr << "usage: archive_summary [PATH]\n";
        return 2;
    }
    const std::optional<std::filesystem::path> path =
        argc == 2 ? std::optional<std::filesystem::path>{argv[1]} : get_portal_dat_path();
    if (!path) {
        std::cerr << "archive_summary: no portal.dat found\n";
        return 1;
    }
    const auto dat = DatDatabase::open(*path);
    if (!dat) {
        std::cerr << "archive_summary: " << dat.error().display() << "\n";
        return 1;
    }
    std::size_t clothing_tables = 0;
    for (const auto& [id, entry] : dat->files) {
        if (from_id_in_dat(id, dat->dat_kind()) == DatFileType::Clothing) {
            ++clothing_tables;
        }
    }
    std::cout << dat->files.size() << " files, " << clothing_tables << " clothing tables\n";
    return 0;
}
