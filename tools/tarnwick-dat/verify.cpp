#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "clothing_file.hpp"
#include "commands.hpp"
#include "ids.hpp"
#include "json_lines.hpp"
#include "output.hpp"

namespace tarnwick_tool {

namespace {

// Writes each problem as it is found, and the counts at the end.
class VerifyReport {
  public:
    VerifyReport(Format format, StandardOutput& out) : format_{format}, out_{out} {}

    void problem(std::uint32_t id, std::string_view step, const std::string& error) {
        ++problems_;
        if (format_ == Format::Json) {
            out_.write(json_line({{"id", format_id(id)}, {"step", step}, {"error", error}}));
        } else {
            out_.write(format_id(id) + ": " + std::string{step} + ": " + error + "\n");
        }
    }
    void file_read(std::size_t stored_bytes) {
        ++files_read_;
        bytes_ += stored_bytes;
    }
    int finish(std::size_t files) {
        if (format_ == Format::Json) {
            out_.write(json_line({{"files", files},
                                  {"files_read", files_read_},
                                  {"bytes", bytes_},
                                  {"problems", problems_}}));
        } else {
            out_.write(std::to_string(files_read_) + " of " + std::to_string(files) +
                       " files read, " + std::to_string(bytes_) + " bytes, " +
                       std::to_string(problems_) + " problems\n");
        }
        return problems_ == 0 ? 0 : 1;
    }

  private:
    Format format_;
    StandardOutput& out_;
    std::size_t files_read_ = 0;
    std::uint64_t bytes_ = 0;
    std::size_t problems_ = 0;
};

// The expander stops early on a malformed stream without saying so; the length it declared
// tells.
std::optional<std::string> short_expansion(std::span<const std::uint8_t> stored,
                                           std::span<const std::uint8_t> expanded) {
    if (stored.size() < 4) {
        return std::nullopt;
    }
    const std::uint32_t declared =
        stored[0] | stored[1] << 8 | stored[2] << 16 | static_cast<std::uint32_t>(stored[3]) << 24;
    if (expanded.size() == declared) {
        return std::nullopt;
    }
    return "expanded to " + std::to_string(expanded.size()) + " of the " +
           std::to_string(declared) + " bytes declared";
}

void verify_file(const dat::DatDatabase& database, const ListedFile& file, VerifyReport& report) {
    const dat::DatFileEntry& entry = file.entry;
    auto stored = database.read_file_data(entry.offset, entry.size);
    if (!stored) {
        report.problem(entry.id, "read block chain", stored.error().display());
        return;
    }
    report.file_read(stored->size());
    std::vector<std::uint8_t> bytes = std::move(*stored);
    if (entry.is_compressed()) {
        std::vector<std::uint8_t> expanded = dat::decompress_lrs(bytes);
        if (auto problem = short_expansion(bytes, expanded)) {
            report.problem(entry.id, "expand compressed file", *problem);
        }
        bytes = std::move(expanded);
    }
    if (file.type == dat::DatFileType::Clothing) {
        if (const auto reading = read_clothing_file(bytes, entry.id); reading.problem) {
            report.problem(entry.id, "parse clothing table", reading.problem->text);
        }
    }
}

}  // namespace

int run_verify(const VerifyCommand& command) {
    const auto database = open_archive(command.archive);
    if (!database) {
        return 1;
    }
    StandardOutput out;
    VerifyReport report{command.format, out};
    const std::vector<ListedFile> files = files_in_id_order(*database);
    for (const ListedFile& file : files) {
        verify_file(*database, file, report);
        if (out.failed()) {
            break;
        }
    }
    return out.finish(report.finish(files.size()));
}

}  // namespace tarnwick_tool
