// _tarnwick_dat_testing: the project's archive writer and sample generator, for the Python tests.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tarnwick_dat/writer.hpp"
#include "tarnwick_forge/sample_archive.hpp"

namespace {

namespace py = pybind11;
namespace dat = tarnwick_dat;

template <class T>
T value_or_throw(std::expected<T, dat::DatError>&& result) {
    if (!result) {
        throw std::runtime_error(result.error().display());
    }
    return std::move(*result);
}

void value_or_throw(std::expected<void, dat::DatError>&& result) {
    if (!result) {
        throw std::runtime_error(result.error().display());
    }
}

template <class T>
T item_or(const py::dict& file, const char* key, T fallback) {
    return file.contains(key) ? file[key].cast<T>() : fallback;
}

// Writes an archive of the files given, each a dict: id, data (bytes), and optionally
// compressed, scattered, timestamp, version and flags (bits beyond compression). Gives the
// directory entries written, as dicts.
py::list write_archive(const std::string& path, const py::list& files, std::uint32_t block_size) {
    auto writer = value_or_throw(dat::DatWriter::create(path, block_size));
    std::vector<dat::DatFileEntry> entries;
    for (const py::handle item : files) {
        const auto file = item.cast<py::dict>();
        const std::string data = file["data"].cast<std::string>();
        const dat::StoreOptions options{
            .compressed = item_or(file, "compressed", false),
            .extra_flags = item_or<std::uint32_t>(file, "flags", 0),
            .layout = item_or(file, "scattered", false) ? dat::ChainLayout::Scattered
                                                        : dat::ChainLayout::Contiguous,
            .timestamp = item_or<std::uint32_t>(file, "timestamp", 0),
            .version = item_or<std::uint32_t>(file, "version", 0),
        };
        const std::span bytes{reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
        entries.push_back(
            value_or_throw(writer.store_file(file["id"].cast<std::uint32_t>(), bytes, options)));
    }
    value_or_throw(writer.write_directory(entries));
    // The header records the archive's length, as a sound archive's does.
    writer.header().file_size = static_cast<std::uint32_t>(writer.end_offset());
    value_or_throw(writer.finish());
    py::list written;
    for (const dat::DatFileEntry& entry : entries) {
        written.append(
            py::dict{py::arg("id") = entry.id, py::arg("offset") = entry.offset,
                     py::arg("size") = entry.size, py::arg("bit_flags") = entry.bit_flags,
                     py::arg("timestamp") = entry.timestamp, py::arg("version") = entry.version});
    }
    return written;
}

}  // namespace

PYBIND11_MODULE(_tarnwick_dat_testing, module) {
    module.def("write_archive", &write_archive, py::arg("path"), py::arg("files"),
               py::arg("block_size") = 1024);
    module.def(
        "write_small_sample",
        [](const std::string& path) {
            value_or_throw(tarnwick_forge::write_small_sample_archive(path));
        },
        py::arg("path"));
}
