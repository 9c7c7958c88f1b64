#include "clothing_file.hpp"
#include "clothing_json.hpp"
#include "commands.hpp"
#include "hex_dump.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "outline.hpp"
#include "output.hpp"
#include "report.hpp"

namespace tarnwick_tool {

int run_clothing(const ClothingCommand& command) {
    const auto opened = open_archive_file(command.archive, command.id);
    if (!opened) {
        return 1;
    }
    const dat::DatFileType type = dat::from_id_in_dat(command.id, opened->database.dat_kind());
    if (type != dat::DatFileType::Clothing) {
        report_error(format_id(command.id) + " is a " + std::string{dat::file_type_name(type)} +
                     " file, not a clothing table");
        return 1;
    }
    const ClothingReading reading = read_clothing_file(opened->bytes, command.id);
    StandardOutput out;
    if (reading.table) {
        const nlohmann::json table = clothing_json(*reading.table);
        out.write(command.format == Format::Json ? json_block(table) : outline(table));
    }
    if (!reading.problem) {
        return out.finish(0);
    }
    report_error(format_id(command.id) + ": " + reading.problem->text + "\n" +
                 hex_dump_around(opened->bytes, reading.problem->position));
    return out.finish(1);
}

}  // namespace tarnwick_tool
