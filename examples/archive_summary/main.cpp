// Built against the installed library: how many files an archive holds, and how many of them
// are clothing tables.
//
//   archive_summary [PATH]   (without PATH: TARNWICK_PORTAL_DAT, else the library's default)

#include <iostream>
#include <tarnwick_dat/tarnwick_dat.hpp>

int main(int argc, char** argv) {
    using namespace tarnwick_dat;
    const auto path =
        argc > 1 ? std::optional<std::filesystem::path>{argv[1]} : get_portal_dat_path();
    if (!path) {
        std::cerr << "archive_summary: no portal.dat found\n";
        return 1;
    }
    const auto dat = DatDatabase::open(*path);
    if (!dat) {
        std::cerr << "archive_summary: " << dat.error().display() << "\n";
        return 1;
    }
    std::cout << dat->files().size() << " files, " << dat->entries(DatFileType::Clothing).size()
              << " clothing tables\n";
}
