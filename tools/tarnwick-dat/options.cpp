#include "options.hpp"

#include <string>

#include "ids.hpp"
#include "report.hpp"

namespace tarnwick_tool {

namespace {

// Every file type name, in declaration order, separated by ", ".
std::string file_type_names() {
    std::string names;
    for (const dat::DatFileType type : dat::all_file_types()) {
        if (!names.empty()) {
            names += ", ";
        }
        names += dat::file_type_name(type);
    }
    return names;
}

}  // namespace

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

namespace {

constexpr const char* id_help =
    "File id in hexadecimal: 0x10000001, 10000001 and 0x10000001 in lower case are one id";

std::uint32_t id_argument(std::string_view option, const std::string& text) {
    const auto parsed = parse_id(text);
    if (!parsed) {
        throw CLI::ValidationError(
            std::string{option},
            single_quoted(shown_text(text)) + " is not a file id (hexadecimal, e.g. 0x10000001)");
    }
    return *parsed;
}

}  // namespace

void add_id(CLI::App& command, std::uint32_t& id) {
    command
        .add_option_function<std::string>(
            "ID", [&id](const std::string& text) { id = id_argument("ID", text); }, id_help)
        ->required();
}

CLI::Option* add_ids(CLI::App& command, std::string_view name, std::vector<std::uint32_t>& ids,
                     std::string_view help) {
    return command.add_option_function<std::vector<std::string>>(
        std::string{name},
        [&ids, name](const std::vector<std::string>& texts) {
            for (const std::string& text : texts) {
                ids.push_back(id_argument(name, text));
            }
        },
        std::string{help});
}

void add_type(CLI::App& command, std::optional<dat::DatFileType>& type) {
    command.add_option_function<std::string>(
        "--type",
        [&type](const std::string& name) {
            type = dat::file_type_by_name(name);
            if (!type) {
                throw CLI::ValidationError("--type",
                                           "unknown file type '" + shown_text(name) +
                                               "'; the file types are: " + file_type_names());
            }
        },
        "Only files of this type, in any case: " + file_type_names());
}

void add_selection(CLI::App& command, FileSelection& selection) {
    add_type(command, selection.type);
    command.add_option_function<std::string>(
        "--id",
        [&selection](const std::string& text) {
            auto ids = IdList::parse(text);
            if (!ids) {
                throw CLI::ValidationError("--id", shown_text(ids.error()));
            }
            selection.ids = std::move(*ids);
        },
        "Only files of these ids: ids and inclusive ranges separated by commas, e.g. "
        "0x10000001,0x10000005-0x100000FF");
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
