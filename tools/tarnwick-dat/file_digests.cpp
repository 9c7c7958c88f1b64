#include "file_digests.hpp"

#include "ordered_reads.hpp"

namespace tarnwick_tool {

std::vector<std::expected<FileDigest, std::string>> file_digests(
    const dat::DatDatabase& database, std::span<const ListedFile> files) {
    std::vector<std::expected<FileDigest, std::string>> digests(files.size());
    dat::ReadWindow window{ordered_read_span};
    for (std::size_t i : offset_order(files)) {
        auto bytes = read_whole_file(database, files[i].entry.id, window);
        if (!bytes) {
            digests[i] = std::unexpected{std::move(bytes.error().why)};
            continue;
        }
        auto digest = sha256(*bytes);
        if (!digest) {
            digests[i] = std::unexpected{std::move(digest.error())};
            continue;
        }
        digests[i] = FileDigest{bytes->size(), *digest};
    }
    return digests;
}

}  // namespace tarnwick_tool
