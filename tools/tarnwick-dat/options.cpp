#include "options.hpp"

#include <string>

#include "file_types.hpp"
#include "ids.hpp"
#include "report.hpp"

namespace tarnwick_tool {

CLI::Option* add_path(CLI::App& command, std::string_view name, std::filesystem::path& path,
                      std::string_view help) {
    return command.add_option(std::string{name}, path, std::string{help})
        ->required()
        ->check(
            [name](const std::string& text) {
                return text.empty() ? std::string{name} + " is empty" : std::string{};
            },
            "not empty");
}

void add_archive(CLI::App& command, std::filesystem::path& archive) {
    add_path(command, "ARCHIVE", archive, "The archive file (opened read-only)");
}

void add_id(CLI::App& command, std::uint32_t& id) {
    command
        .add_option_function<std::string>(
            "ID",
            [&id](const std::string& text) {
                const auto parsed = parse_id(text);
                if (!parsed) {
                    throw CLI::ValidationError("ID", "'" + shown_text(text) +
                                                         "' is not a file id (hexadecimal, "
                                                         "e.g. 0x10000001)");
                }
                id = *parsed;
            },
            "File id in hexadecimal: 0x10000001, 10000001 and 0x10000001 in lower case are one id")
        ->required();
}

void add_type(CLI::App& command, std::optional<dat::DatFileType>& type) {
    command.add_option_function<std::string>(
        "--type",
        [&type](const std::string& name) {
            type = file_type_by_name(name);
            if (!type) {
                throw CLI::ValidationError("--type",
                                           "unknown file type '" + shown_text(name) +
                                               "'; the file types are: " + file_type_names());
            }
        },
        "Only files of this type, in any case: " + file_type_names());
}

void add_format(CLI::App& command, Format& format, std::string_view json_help) {
    command.add_option_function<std::string>(
        "--format",
        [&format](const std::string& name) {
            if (name != "text" && name != "json") {
                throw CLI::ValidationError("--format", "'" + shown_text(name) +
                                                           "' is not a format; the formats are "
                                                           "text and json");
            }
            format = name == "json" ? Format::Json : Format::Text;
        },
        "text (the default) or " + std::string{json_help});
}

void add_quiet(CLI::App& command, bool& quiet, std::string_view what) {
    command.add_flag("-q,--quiet", quiet, "Leave out " + std::string{what});
}

}  // namespace tarnwick_tool
