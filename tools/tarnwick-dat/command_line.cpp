#include "command_line.hpp"

#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <vector>

#include "diff.hpp"
#include "file_types.hpp"
#include "ids.hpp"
#include "manifest.hpp"
#include "pack.hpp"
#include "report.hpp"
#include "tarnwick_base/overloaded.hpp"

namespace tarnwick_tool {

namespace {

constexpr const char* version_text = "tarnwick-dat 0.1.0";

// A subcommand and what it gives once its command line has been read.
struct Subcommand {
    CLI::App* app;
    std::function<ParsedCommand()> parsed;
};

void add_archive(CLI::App& command, std::filesystem::path& archive) {
    command.add_option("ARCHIVE", archive, "The archive file (opened read-only)")->required();
}

void add_id(CLI::App& command, std::uint32_t& id) {
    command
        .add_option_function<std::string>(
            "ID",
            [&id](const std::string& text) {
                const auto parsed = parse_id(text);
                if (!parsed) {
                    throw CLI::ValidationError(
                        "ID", "'" + text + "' is not a file id (hexadecimal, e.g. 0x10000001)");
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
                throw CLI::ValidationError(
                    "--type",
                    "unknown file type '" + name + "'; the file types are: " + file_type_names());
            }
        },
        "Only files of this type (e.g. Clothing; any case)");
}

void add_format(CLI::App& command, Format& format, std::string_view json_help) {
    command.add_option_function<std::string>(
        "--format",
        [&format](const std::string& name) {
            if (name != "text" && name != "json") {
                throw CLI::ValidationError("--format", "'" + name +
                                                           "' is not a format; the formats are "
                                                           "text and json");
            }
            format = name == "json" ? Format::Json : Format::Text;
        },
        "text (the default) or " + std::string{json_help});
}

Subcommand add_info(CLI::App& app, InfoCommand& command) {
    CLI::App* info = app.add_subcommand(
        "info", "Header fields, archive kind, file counts by type, directory shape");
    add_archive(*info, command.archive);
    return {info, [&command] { return ParsedCommand{command}; }};
}

Subcommand add_ls(CLI::App& app, LsCommand& command) {
    CLI::App* ls = app.add_subcommand(
        "ls", "One line per file in id order: id, type, stored size, flags, timestamp, version");
    add_archive(*ls, command.archive);
    add_type(*ls, command.type);
    add_format(*ls, command.format, "json (one object per line)");
    return {ls, [&command] { return ParsedCommand{command}; }};
}

Subcommand add_cat(CLI::App& app, CatCommand& command) {
    CLI::App* cat = app.add_subcommand(
        "cat", "A file's bytes, expanded when stored compressed, on standard output");
    add_archive(*cat, command.archive);
    add_id(*cat, command.id);
    cat->add_flag("--force", command.force, "Write to a terminal all the same");
    return {cat, [&command] { return ParsedCommand{command}; }};
}

Subcommand add_extract(CLI::App& app, ExtractCommand& command) {
    CLI::App* extract = app.add_subcommand(
        "extract", "Every file (expanded) to DIR/<TypeName>/<ID>.bin; existing files are kept");
    add_archive(*extract, command.archive);
    extract->add_option("DIR", command.directory, "Where the files go (created if need be)")
        ->required();
    add_type(*extract, command.type);
    extract->add_flag("--force", command.force, "Replace files that are already there");
    return {extract, [&command] { return ParsedCommand{command}; }};
}

Subcommand add_clothing(CLI::App& app, ClothingCommand& command) {
    CLI::App* clothing = app.add_subcommand(
        "clothing", "A clothing table decoded, or where and why it does not parse");
    add_archive(*clothing, command.archive);
    add_id(*clothing, command.id);
    add_format(*clothing, command.format, "json");
    return {clothing, [&command] { return ParsedCommand{command}; }};
}

Subcommand add_verify(CLI::App& app, VerifyCommand& command) {
    CLI::App* verify = app.add_subcommand(
        "verify",
        "Reads every file, expands the compressed ones, parses every clothing table; lists "
        "every problem and the counts (status 1 when there is any problem)");
    add_archive(*verify, command.archive);
    add_format(*verify, command.format, "json (one object per line)");
    return {verify, [&command] { return ParsedCommand{command}; }};
}

void add_id_list(CLI::App& command, std::optional<IdList>& ids) {
    command.add_option_function<std::string>(
        "--id",
        [&ids](const std::string& text) {
            auto parsed = IdList::parse(text);
            if (!parsed) {
                throw CLI::ValidationError("--id", parsed.error());
            }
            ids = std::move(*parsed);
        },
        "Only files of these ids: ids and inclusive ranges separated by commas, e.g. "
        "0x10000001,0x10000005-0x100000FF");
}

void add_selection(CLI::App& command, FileSelection& selection) {
    add_type(command, selection.type);
    add_id_list(command, selection.ids);
}

Subcommand add_diff(CLI::App& app, DiffCommand& command) {
    CLI::App* diff = app.add_subcommand(
        "diff",
        "Files added (+), removed (-), changed (M) or changed in metadata only (~) from OLD to "
        "NEW; status 0 when none, 1 when some, 2 on trouble");
    diff->add_option("OLD", command.old_archive, "The archive before")->required();
    diff->add_option("NEW", command.new_archive, "The archive after")->required();
    add_selection(*diff, command.selection);
    add_format(*diff, command.format, "json (one object per line)");
    return {diff, [&command] { return ParsedCommand{command}; }};
}

Subcommand add_manifest(CLI::App& app, ManifestCommand& command) {
    CLI::App* manifest = app.add_subcommand(
        "manifest",
        "The SHA-256 of every file's expanded bytes with the path extract gives it, for "
        "sha256sum -c in an extraction folder and for verify --manifest");
    add_archive(*manifest, command.archive);
    add_selection(*manifest, command.selection);
    return {manifest, [&command] { return ParsedCommand{command}; }};
}

Subcommand add_pack(CLI::App& app, PackCommand& command) {
    CLI::App* pack = app.add_subcommand(
        "pack", "A new archive from files laid out as extract writes them (DIR/<Type>/<ID>.bin)");
    pack->add_option("DIR", command.directory, "The folder of files to store")->required();
    pack->add_option("OUT", command.out, "The archive to write (replaced when it exists)")
        ->required();
    pack->add_option("--from", command.from,
                     "Start from this archive's files and header; files in DIR replace or add");
    pack->add_option_function<std::vector<std::string>>(
        "--remove",
        [&command](const std::vector<std::string>& texts) {
            for (const std::string& text : texts) {
                const auto id = parse_id(text);
                if (!id) {
                    throw CLI::ValidationError("--remove", "'" + text + "' is not a file id");
                }
                command.remove.push_back(*id);
            }
        },
        "Leave out the file of this id (repeatable)");
    pack->add_option_function<std::string>(
        "--compress",
        [&command](const std::string& name) {
            if (name == "auto") {
                command.compression = Compression::Auto;
            } else if (name == "none") {
                command.compression = Compression::None;
            } else if (name == "all") {
                command.compression = Compression::All;
            } else {
                throw CLI::ValidationError("--compress", "'" + name + "' is not auto, none or all");
            }
        },
        "auto (the default: as in --from, new files plain), none or all");
    return {pack, [&command] { return ParsedCommand{command}; }};
}

struct Commands {
    InfoCommand info;
    LsCommand ls;
    CatCommand cat;
    ExtractCommand extract;
    ClothingCommand clothing;
    VerifyCommand verify;
    DiffCommand diff;
    ManifestCommand manifest;
    PackCommand pack;
};

}  // namespace

std::variant<ParsedCommand, int> parse_command_line(int argc, const char* const* argv) {
    CLI::App app{"Looks inside a portal.dat archive: lists, shows, extracts and verifies its files",
                 std::string{tool_name}};
    app.set_version_flag("--version", version_text);
    app.require_subcommand(1);
    Commands commands;
    const std::vector<Subcommand> subcommands{
        add_info(app, commands.info),         add_ls(app, commands.ls),
        add_cat(app, commands.cat),           add_extract(app, commands.extract),
        add_clothing(app, commands.clothing), add_verify(app, commands.verify),
        add_diff(app, commands.diff),         add_manifest(app, commands.manifest),
        add_pack(app, commands.pack),
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        app.exit(success);
        if (!std::cout.flush()) {
            report_error("cannot write to standard output");
            return 1;
        }
        return 0;
    } catch (const CLI::ParseError& error) {
        report_error(std::string{error.what()} + "\nRun with --help for more information.");
        return 2;
    }
    for (const Subcommand& subcommand : subcommands) {
        if (subcommand.app->parsed()) {
            return subcommand.parsed();
        }
    }
    return 2;  // not reached: the parse requires one subcommand
}

int run_command_line(int argc, const char* const* argv) {
    auto parsed = parse_command_line(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) {
        return *status;
    }
    return std::visit(tarnwick_base::Overloaded{
                          [](const InfoCommand& command) { return run_info(command); },
                          [](const LsCommand& command) { return run_ls(command); },
                          [](const CatCommand& command) { return run_cat(command); },
                          [](const ExtractCommand& command) { return run_extract(command); },
                          [](const ClothingCommand& command) { return run_clothing(command); },
                          [](const VerifyCommand& command) { return run_verify(command); },
                          [](const DiffCommand& command) { return run_diff(command); },
                          [](const ManifestCommand& command) { return run_manifest(command); },
                          [](const PackCommand& command) { return run_pack(command); },
                      },
                      std::get<ParsedCommand>(parsed));
}

}  // namespace tarnwick_tool
