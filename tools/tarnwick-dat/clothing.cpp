
#include "clothing_file.hpp"
#include "clothing_json.hpp"
#include "hex_dump.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "options.hpp"
#include "outline.hpp"
#include "output.hpp"
#include "report.hpp"
#include "subcommand.hpp"

namespace tarnwick_tool {

namespace {

struct ClothingCommand {
    std::filesystem::path archive;
    std::uint32_t id = 0;
    Format format = Format::Text;
};

// The failure on standard error and, as JSON, on standard output as well, so that a script
// always has an object to read.
int fail(const ClothingCommand& command, const Failure& failure, nlohmann::json object = {}) {
    StandardOutput out;
    if (command.format == Format::Json) {
        object["error"] = {{"doing", failure.doing}, {"message", failure.why}};
        out.write(json_block(object));
    }
    report_failure(command.archive, failure.doing, failure.why);
    return out.finish(1);
}

// Where parsing stopped and the bytes around it, as data.
nlohmann::json stop_json(std::span<const std::uint8_t> bytes, std::uint64_t position) {
    const DumpRange range = dump_range(bytes.size(), position);
    std::string hex;
    for (std::uint64_t at = range.start; at < range.end; ++at) {
        hex += base::hex_lower(bytes[at] >> 4) + base::hex_lower(bytes[at] & 0xF);
    }
    return {{"offset", position}, {"bytes_from", range.start}, {"bytes", hex}};
}

int run_clothing(const ClothingCommand& command) {
    // Only clothing tables are looked up: the rest of the directory is not kept.
    auto database = dat::DatDatabase::open(command.archive, dat::DatFileType::Clothing);
    if (!database) {
        return fail(command, open_failure(command.archive, database.error()));
    }
    const dat::DatFileType type = dat::from_id_in_dat(command.id, database->dat_kind());
    if (type != dat::DatFileType::Clothing) {
        return fail(command,
                    {"", format_id(command.id) + " is a " + std::string{dat::file_type_name(type)} +
                             " file, not a clothing table"});
    }
    auto bytes = read_whole_file(*database, command.id);
    if (!bytes) {
        return fail(command, bytes.error());
    }
    const ClothingReading reading = read_clothing_file(*bytes, command.id);
    nlohmann::json object;
    if (reading.table) {
        object = clothing_json(*reading.table);
    }
    if (!reading.problem) {
        StandardOutput out;
        out.write(command.format == Format::Json ? json_block(object) : outline(object));
        return out.finish(0);
    }
    const Failure failure{"parsing clothing table " + format_id(command.id), reading.problem->text};
    if (command.format == Format::Json) {
        return fail(command, failure,
                    {{"table", object}, {"stopped", stop_json(*bytes, reading.problem->position)}});
    }
    StandardOutput out;
    if (reading.table) {
        out.write(outline(object));
    }
    out.write(hex_dump_around(*bytes, reading.problem->position));
    report_failure(command.archive, failure.doing, failure.why);
    return out.finish(1);
}

void declare_clothing(CLI::App& app, ClothingCommand& command) {
    add_id(app, command.id);
    add_format(app, command.format, "json (an object with \"error\" on failure)");
}

}  // namespace

Subcommand clothing_subcommand() {
    return archive_subcommand<ClothingCommand>(
        "clothing",
        "A clothing table decoded, or where and why it does not parse (the bytes around "
        "that place on standard output)",
        "clothing portal.dat 0x10000001 --format json", declare_clothing, run_clothing);
}

}  // namespace tarnwick_tool
