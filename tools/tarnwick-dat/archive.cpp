#include "archive.hpp"

#include <algorithm>
#include <span>

#include "tarnwick_base/little_endian.hpp"

#include "ids.hpp"
#include "report.hpp"

namespace tarnwick_tool {

namespace {

bool ran_off_the_end(const dat::DatError& error) {
    const auto* io = std::get_if<dat::DatError::Io>(&error.kind());
    return io != nullptr && io->error.kind() == dat::IoErrorKind::UnexpectedEof;
}

std::string length_text(std::uint64_t length) {
    return std::to_string(length) + " bytes";
}

// The expanded length of file `id` as `expanded_size` gives it, once the file was read through
// `window`: a compressed stream's declared length is taken from the first block's bytes there.
std::expected<std::uint32_t, dat::DatError> declared_size(const dat::DatDatabase& database,
                                                          std::uint32_t id,
                                                          const dat::ReadWindow& window) {
    constexpr std::uint32_t link = dat::dat_link_word_length;
    constexpr std::uint32_t prefix = dat::lrs::size_prefix_length;
    const auto found = database.files().find(id);
    if (found == database.files().end()) {
        return database.expanded_size(id);
    }
    const std::uint64_t at = std::uint64_t{found->second.offset} + link;
    if (found->second.is_compressed() && found->second.size >= prefix &&
        database.header().block_size >= link + prefix && window.holds(at, prefix)) {
        return base::load_le<std::uint32_t>(
            std::span<const std::uint8_t, prefix>{window.at(at), prefix});
    }
    return database.expanded_size(id);
}

}  // namespace

std::optional<std::string> short_expansion_text(std::size_t expanded, std::uint32_t declared) {
    if (expanded == declared) {
        return std::nullopt;
    }
    return "expanded to " + std::to_string(expanded) + " of the " + std::to_string(declared) +
           " bytes declared";
}

std::string read_failure_text(const dat::DatDatabase& database, std::uint32_t id,
                              const dat::DatError& error) {
    std::string why = error.message();
    const auto found = database.files().find(id);
    if (ran_off_the_end(error) && found != database.files().end()) {
        why += " (its chain at offset 0x" + base::hex_upper(found->second.offset, 8) + ", " +
               length_text(found->second.size) + " stored; the archive is " +
               length_text(database.file_length()) + ")";
    }
    return why;
}

std::expected<std::vector<std::uint8_t>, std::string> expand_stored(
    std::span<const std::uint8_t> stored) {
    std::vector<std::uint8_t> expanded = dat::decompress_lrs(stored);
    if (auto shortfall = short_expansion_text(expanded.size(), dat::declared_lrs_size(stored))) {
        return std::unexpected{std::move(*shortfall)};
    }
    return expanded;
}

bool expands_whole(std::span<const std::uint8_t> stored) {
    return !short_expansion_text(dat::lrs_expanded_length(stored), dat::declared_lrs_size(stored));
}

HeaderRead read_header_only(const std::filesystem::path& path) {
    auto file = dat::ArchiveFile::open_read_only(path);
    if (!file) {
        return {std::unexpected{dat::DatError{dat::DatError::PathError{path, file.error()}}}, 0};
    }
    const std::uint64_t length = file->length().value_or(0);
    dat::FileReader reader{file->fd()};
    if (auto sought = reader.seek(dat::dat_header_offset); !sought) {
        return {std::unexpected{dat::DatError{std::move(sought.error())}}, length};
    }
    auto header = dat::DatHeader::read(reader);
    if (!header) {
        return {std::unexpected{dat::DatError{std::move(header.error())}}, length};
    }
    return {std::move(*header), length};
}

Failure open_failure(const std::filesystem::path& path, const dat::DatError& error) {
    if (const auto* open = std::get_if<dat::DatError::PathError>(&error.kind())) {
        return {"opening the archive", open->source.display()};
    }
    const HeaderRead header = read_header_only(path);
    if (!header.header) {
        return {"reading the header",
                error.message() + " (the file is " + length_text(header.length) +
                    "; an archive's header ends at byte " +
                    std::to_string(dat::dat_header_offset + dat::DatHeader::byte_length) + ")"};
    }
    std::string why = error.message();
    if (ran_off_the_end(error)) {
        why += " (the directory's root node at offset 0x" +
               base::hex_upper(header.header->root_offset, 8) + ", the archive is " +
               length_text(header.length) + ")";
    }
    return {"reading the directory", std::move(why)};
}

std::optional<dat::DatDatabase> open_archive(const std::filesystem::path& path) {
    auto database = dat::DatDatabase::open(path);
    if (!database) {
        const Failure failure = open_failure(path, database.error());
        if (std::holds_alternative<dat::DatError::BinRead>(database.error().kind())) {
            report_failure(path, failure.doing, database.error());
        } else {
            report_failure(path, failure.doing, failure.why);
        }
        return std::nullopt;
    }
    return std::move(*database);
}

std::expected<std::vector<std::uint8_t>, Failure> read_whole_file(const dat::DatDatabase& database,
                                                                  std::uint32_t id) {
    dat::ReadWindow window{0};
    return read_whole_file(database, id, window);
}

std::expected<std::vector<std::uint8_t>, Failure> read_whole_file(const dat::DatDatabase& database,
                                                                  std::uint32_t id,
                                                                  dat::ReadWindow& window) {
    std::string doing = "reading file " + format_id(id);
    auto bytes = database.get_file(id, window);
    if (!bytes && bytes.error().is<dat::DatError::NotFound>()) {
        return std::unexpected{Failure{"", bytes.error().message()}};
    }
    if (!bytes) {
        return std::unexpected{
            Failure{std::move(doing), read_failure_text(database, id, bytes.error())}};
    }
    auto declared = declared_size(database, id, window);
    if (!declared) {
        return std::unexpected{Failure{std::move(doing), declared.error().message()}};
    }
    if (auto shortfall = short_expansion_text(bytes->size(), *declared)) {
        return std::unexpected{Failure{std::move(doing), std::move(*shortfall)}};
    }
    return std::move(*bytes);
}

}  // namespace tarnwick_tool
