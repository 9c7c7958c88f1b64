#include "file_digests.hpp"

#include <algorithm>
#include <numeric>

namespace tarnwick_tool {

std::vector<std::expected<FileDigest, std::string>> file_digests(
    const dat::DatDatabase& database, std::span<const ListedFile> files) {
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::stable_sort(order, {}, [&](std::size_t i) { return files[i].entry.offset; });
    std::vector<std::expected<FileDigest, std::string>> digests(files.size());
    dat::ReadWindow window;
    for (std::size_t i : order) {
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
