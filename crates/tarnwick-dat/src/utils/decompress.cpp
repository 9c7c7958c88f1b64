#include "tarnwick_dat/utils/decompress.hpp"

#include <algorithm>
#include <cstring>

#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"

namespace tarnwick_dat {
namespace {

// Appends `length` bytes at `out + produced`, each the byte `distance` back from where it goes,
// as if copied one at a time: a distance shorter than the length repeats the bytes it has just
// written, and one reaching before the output's start takes its first byte until it no longer
// does.
void copy_reference(std::uint8_t* out, std::size_t produced, std::size_t distance,
                    std::size_t length) {
    if (distance <= produced && distance >= length) {
        std::memcpy(out + produced, out + produced - distance, length);
        return;
    }
    for (std::size_t i = produced; i < produced + length; ++i) {
        out[i] = out[distance > i ? 0 : i - distance];
    }
}

// The most one group (a control byte and its eight items) takes from the stream and gives.
constexpr std::size_t group_input = 8 * lrs::reference_length;
constexpr std::size_t group_output = 8 * lrs::max_match_length;
// Wide enough for any match in one copy, one byte aside.
constexpr std::size_t wide_copy = 16;
static_assert(lrs::max_match_length <= wide_copy + 1);

// Expands one whole group whose items all fit: the stream holds `group_input` bytes after the
// control byte at `in`, the output has `group_output` bytes of room after `produced`, and
// something has been produced, so no item needs a bound checked. Gives false, with `produced`
// and `in` where it stopped, at a reference of distance 0.
bool expand_group(const std::uint8_t*& in, std::uint8_t* out, std::size_t& produced) {
    const std::uint8_t control = *in++;
    if (control == 0) {
        std::memcpy(out + produced, in, 8);
        in += 8;
        produced += 8;
        return true;
    }
    for (std::uint8_t bit = lrs::first_control_bit; bit != 0; bit >>= 1) {
        if ((control & bit) == 0) {
            out[produced++] = *in++;
            continue;
        }
        const lrs::Reference reference = lrs::decode_reference(in[0], in[1]);
        in += lrs::reference_length;
        if (reference.distance == 0) {
            return false;
        }
        if (reference.distance <= produced && reference.distance >= reference.length) {
            // Moving 16 bytes at once (read whole, then written) writes past the match only
            // where later items write again; the bytes it reads past the match's source, which
            // may overlap it, go only there.
            // Indices, not pointers: the last byte's source may lie before `to` by more than 16.
            const std::size_t from = produced - reference.distance;
            std::memmove(out + produced, out + from, wide_copy);
            if (reference.length > wide_copy) {
                out[produced + wide_copy] = out[from + wide_copy];
            }
        } else {
            copy_reference(out, produced, reference.distance, reference.length);
        }
        produced += reference.length;
    }
    return true;
}

}  // namespace

std::uint32_t declared_lrs_size(std::span<const std::uint8_t> input) {
    if (input.size() < lrs::size_prefix_length) {
        return static_cast<std::uint32_t>(input.size());
    }
    return tarnwick_base::load_le<std::uint32_t>(input.first<lrs::size_prefix_length>());
}

std::size_t lrs_output_limit(std::span<const std::uint8_t> input) {
    if (input.size() < lrs::size_prefix_length) {
        return input.size();
    }
    // A back-reference yields at most max_match_length bytes from its two and a literal one
    // byte from one, so no stream produces more than this: a declared size beyond it cannot be
    // reached and is not allocated, and it bounds every write of the expansion.
    const std::size_t items = input.size() - lrs::size_prefix_length;
    return std::min<std::size_t>(declared_lrs_size(input),
                                 items / lrs::reference_length * lrs::max_match_length);
}

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input) {
    std::vector<std::uint8_t> output(lrs_output_limit(input));
    output.resize(decompress_lrs_into(input, output));
    return output;
}

std::size_t decompress_lrs_into(std::span<const std::uint8_t> input,
                                std::span<std::uint8_t> output) {
    if (input.size() < lrs::size_prefix_length) {
        std::ranges::copy(input, output.begin());
        return input.size();
    }
    const std::span<const std::uint8_t> data = input.subspan(lrs::size_prefix_length);
    const std::size_t limit = lrs_output_limit(input);
    std::uint8_t* const out = output.data();
    std::size_t produced = 0;

    std::uint8_t control_byte = 0;
    std::uint8_t control_bit = 0;
    std::size_t input_idx = 0;
    while (produced < limit && input_idx < data.size()) {
        if (control_bit == 0 && produced != 0 && data.size() - input_idx > group_input &&
            limit - produced >= group_output + wide_copy) {
            const std::uint8_t* in = data.data() + input_idx;
            const bool whole = expand_group(in, out, produced);
            input_idx = static_cast<std::size_t>(in - data.data());
            if (!whole) {
                break;
            }
            continue;
        }
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
            if (reference.distance == 0 || produced == 0) {
                break;
            }
            const std::size_t length = std::min(reference.length, limit - produced);
            copy_reference(out, produced, reference.distance, length);
            produced += length;
        } else {
            if (input_idx >= data.size()) {
                break;
            }
            out[produced++] = data[input_idx++];
        }
        control_bit >>= 1;
    }
    return produced;
}

}  // namespace tarnwick_dat
