// The input both ways: as a compressed file's stored bytes, expanded (and measured); and as a
// file's bytes, compressed and expanded again, which must give them back exactly.

#include <algorithm>

#include "fuzz_input.hpp"
#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/compress.hpp"
#include "tarnwick_dat/utils/decompress.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"

namespace {

using namespace tarnwick_dat;
using tarnwick_fuzz::Bytes;
using tarnwick_fuzz::require;

void expand(Bytes input) {
    const std::vector<std::uint8_t> output = decompress_lrs(input);
    require(lrs_expanded_length(input) == output.size(),
            "the measured length is not the expanded length");
    if (input.size() < lrs::size_prefix_length) {
        require(std::equal(output.begin(), output.end(), input.begin(), input.end()),
                "a short input did not pass through");
        return;
    }
    const std::size_t declared =
        tarnwick_base::load_le<std::uint32_t>(input.first<lrs::size_prefix_length>());
    const std::size_t stream = input.size() - lrs::size_prefix_length;
    require(output.size() <= declared, "expanded beyond the declared size");
    require(output.size() <= stream / lrs::reference_length * lrs::max_match_length,
            "expanded beyond what the stream can make");
}

void round_trip(Bytes input) {
    const std::vector<std::uint8_t> stored = compress_lrs(input);
    const std::vector<std::uint8_t> expanded = decompress_lrs(stored);
    require(std::equal(expanded.begin(), expanded.end(), input.begin(), input.end()),
            "compress then expand did not give the input back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input{data, size};
    expand(input);
    round_trip(input);
    return 0;
}
