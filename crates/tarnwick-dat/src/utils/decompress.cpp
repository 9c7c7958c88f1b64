#include "tarnwick_dat/utils/decompress.hpp"

#include <algorithm>

#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"

namespace tarnwick_dat {

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input) {
    if (input.size() < lrs::size_prefix_length) {
        return {input.begin(), input.end()};
    }
    const std::size_t output_size =
        tarnwick_base::load_le<std::uint32_t>(input.first<lrs::size_prefix_length>());
    const std::span<const std::uint8_t> data = input.subspan(lrs::size_prefix_length);

    // A back-reference yields at most max_match_length bytes from its two, so a declared size
    // beyond that bound cannot be reached and is not reserved.
    std::vector<std::uint8_t> output;
    output.reserve(
        std::min(output_size, data.size() / lrs::reference_length * lrs::max_match_length));

    std::uint8_t control_byte = 0;
    std::uint8_t control_bit = 0;
    std::size_t input_idx = 0;
    while (output.size() < output_size && input_idx < data.size()) {
        if (control_bit == 0) {
            control_byte = data[input_idx++];
            control_bit = lrs::first_control_bit;
        }
        if ((control_byte & control_bit) != 0) {
            if (input_idx + 1 >= data.size()) {
                break;
            }
            const lrs::Reference reference =
                lrs::decode_reference(data[input_idx], data[input_idx + 1]);
            input_idx += lrs::reference_length;
            // A reference with nothing produced yet has no byte to copy: the stream is malformed.
            if (reference.distance == 0 || output.empty()) {
                break;
            }
            for (std::size_t i = 0; i < reference.length && output.size() < output_size; ++i) {
                const std::size_t copy_idx =
                    reference.distance > output.size() ? 0 : output.size() - reference.distance;
                output.push_back(output[copy_idx]);
            }
        } else {
            if (input_idx >= data.size()) {
                break;
            }
            output.push_back(data[input_idx++]);
        }
        control_bit >>= 1;
    }
    return output;
}

}  // namespace tarnwick_dat
