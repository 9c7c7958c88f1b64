#include "archive.hpp"

#include <algorithm>

#include "report.hpp"

namespace tarnwick_tool {

std::vector<ListedFile> files_in_id_order(const dat::DatDatabase& database,
                                          std::optional<dat::DatFileType> type) {
    std::vector<ListedFile> listed;
    listed.reserve(database.files().size());
    for (const auto& [id, entry] : database.files()) {
        const dat::DatFileType entry_type = dat::from_id_in_dat(id, database.dat_kind());
        if (!type || entry_type == *type) {
            listed.push_back({entry, entry_type});
        }
    }
    std::ranges::sort(listed, {}, [](const ListedFile& file) { return file.entry.id; });
    return listed;
}

std::optional<dat::DatDatabase> open_archive(const std::filesystem::path& path) {
    auto database = dat::DatDatabase::open(path);
    if (!database) {
        report_error(database.error().display());
        return std::nullopt;
    }
    return std::move(*database);
}

std::optional<OpenedFile> open_archive_file(const std::filesystem::path& path, std::uint32_t id) {
    auto database = open_archive(path);
    if (!database) {
        return std::nullopt;
    }
    auto bytes = database->get_file(id);
    if (!bytes) {
        report_error(bytes.error().display());
        return std::nullopt;
    }
    return OpenedFile{std::move(*database), std::move(*bytes)};
}

}  // namespace tarnwick_tool
