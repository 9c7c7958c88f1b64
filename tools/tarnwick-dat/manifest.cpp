#include "manifest.hpp"

#include <fstream>

#include "file_digests.hpp"
#include "file_paths.hpp"
#include "ids.hpp"
#include "options.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

// Writes one line per selected file in ascending id order, "<sha256>  <TypeName>/<ID>.bin", the
// digest of the expanded bytes and the path extract writes, so that `sha256sum -c` run in an
// extraction folder checks the files. Status 1 when a file could not be read (left out, named
// on standard error).
struct ManifestCommand {
    std::filesystem::path archive;
    FileSelection selection;
};

// The id of a "<hash>  <Folder>/<ID>.bin" line with its digest, or what is wrong with it.
std::expected<std::pair<std::uint32_t, Sha256>, std::string> manifest_line(std::string_view line) {
    constexpr std::size_t digest_length = 64;
    const auto digest = parse_sha256(line.substr(0, digest_length));
    if (!digest) {
        return std::unexpected{"it does not start with a SHA-256 digest (64 hexadecimal digits)"};
    }
    line.remove_prefix(digest_length);
    if (!line.starts_with("  ") && !line.starts_with(" *")) {
        return std::unexpected{"two spaces (or a space and '*') must follow the digest"};
    }
    line.remove_prefix(2);
    const std::size_t slash = line.find('/');
    const auto id = slash == 0 || slash == std::string_view::npos
                        ? std::nullopt
                        : id_of_file_name(line.substr(slash + 1));
    if (!id) {
        return std::unexpected{single_quoted(line) +
                               " is not a path of the form <TypeName>/<ID>.bin"};
    }
    return std::pair{*id, *digest};
}

int run_manifest(const ManifestCommand& command) {
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    const std::vector<ListedFile> files = selected_files(*database, command.selection);
    const auto digests = file_digests(*database, files);
    StandardOutput out;
    int status = 0;
    for (std::size_t i = 0; i < files.size() && !out.failed(); ++i) {
        if (digests[i]) {
            out.write(sha256_text(digests[i]->sha256) + "  " + extracted_path(files[i]).string() +
                      "\n");
        } else {
            report_failure(command.archive, "reading file " + format_id(files[i].entry.id),
                           digests[i].error());
            status = 1;
        }
    }
    return out.finish(status);
}

}  // namespace

std::expected<Manifest, std::string> read_manifest(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    if (!in) {
        return std::unexpected{"cannot open the manifest " + path.string()};
    }
    Manifest manifest;
    std::size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string where = path.string() + " line " + std::to_string(number) + ": ";
        auto parsed = manifest_line(line);
        if (!parsed) {
            return std::unexpected{where + parsed.error()};
        }
        if (!manifest.emplace(parsed->first, parsed->second).second) {
            return std::unexpected{where + format_id(parsed->first) + " is listed again"};
        }
    }
    if (in.bad()) {
        return std::unexpected{"cannot read the manifest " + path.string()};
    }
    return manifest;
}

Subcommand manifest_subcommand() {
    return archive_subcommand<ManifestCommand>(
        "manifest",
        "The SHA-256 of every file's expanded bytes with the path extract gives it, for "
        "sha256sum -c in an extraction folder and for verify --manifest",
        "manifest portal.dat > portal.sha256",
        [](CLI::App& app, ManifestCommand& command) { add_selection(app, command.selection); },
        run_manifest);
}

}  // namespace tarnwick_tool
