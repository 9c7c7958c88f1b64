// The input as the inspection tool's command line (pieces between zero bytes are arguments),
// read but never run; and as one id. Reading ends with a subcommand or an exit status of 0 or 2;
// an id that reads back is the one written.

#include <iostream>
#include <streambuf>

#include "fuzz_input.hpp"
#include "tarnwick_dat_tool/command_line.hpp"
#include "tarnwick_dat_tool/ids.hpp"

namespace {

// Takes what help screens and usage errors print, so that the run's log stays readable.
class Discard : public std::streambuf {
  protected:
    int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

void check_id(std::string_view text) {
    if (const auto id = tarnwick_tool::parse_id(text)) {
        tarnwick_fuzz::require(tarnwick_tool::parse_id(tarnwick_tool::format_id(*id)) == id,
                               "a written id reads back as another");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Discard discard;
    static const bool quiet = (std::cout.rdbuf(&discard), std::cerr.rdbuf(&discard), true);
    (void)quiet;
    std::vector<std::string> arguments = tarnwick_fuzz::split_at_zeros({data, size});
    arguments.insert(arguments.begin(), "tarnwick-dat");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    const auto parsed =
        tarnwick_tool::parse_command_line(static_cast<int>(argv.size()), argv.data());
    if (const int* status = std::get_if<int>(&parsed)) {
        tarnwick_fuzz::require(*status == 0 || *status == 2, "an exit status other than 0 or 2");
    }
    std::cout.clear();
    check_id(tarnwick_fuzz::as_text({data, size}));
    return 0;
}
