#include "tarnwick_dat/utils/decompress.hpp"

#include <algorithm>
#include <array>
#include <bit>
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

std::uint64_t load_word(const std::uint8_t* from) {
    std::uint64_t word = 0;
    std::memcpy(&word, from, sizeof word);
    return word;
}

void store_word(std::uint8_t* to, std::uint64_t word) {
    std::memcpy(to, &word, sizeof word);
}

// A match's copy: three words, whatever its length, which covers the longest match.
constexpr std::size_t match_copy = 3 * sizeof(std::uint64_t);
static_assert(lrs::max_match_length <= match_copy);

constexpr std::size_t wide_move = 16;
static_assert(lrs::max_match_length <= wide_move + 1);

// A match that does not overlap itself: sixteen bytes read whole, then written, and the
// seventeenth, so that the longest match is covered. What it reads past the match's source
// lands only past the match, where the items after it write again. One wide move, rather
// than words that may each wait on the stores of the short items before them.
void copy_apart(std::uint8_t* to, std::size_t distance) {
    const std::uint8_t* const from = to - distance;
    std::array<std::uint8_t, wide_move> wide;
    std::memcpy(wide.data(), from, wide_move);
    std::memcpy(to, wide.data(), wide_move);
    to[wide_move] = from[wide_move];
}

// A match a word or more back that overlaps itself: three words, each read once the one
// before it is written, so that it repeats as it must.
void copy_overlapping(std::uint8_t* to, std::size_t distance) {
    const std::uint8_t* const from = to - distance;
    for (std::size_t at = 0; at < match_copy; at += sizeof(std::uint64_t)) {
        store_word(to + at, load_word(from + at));
    }
}

// A match fewer than eight bytes back repeats the last `distance` bytes (it overlaps itself when
// longer than that). A period of 1, 2 or 4 bytes is spread over a word, stored three
// times; another is copied a byte at a time up to eight bytes, then a word at a time from as
// many whole periods back as reach past eight bytes. Writes up to `match_copy` bytes.
void copy_repeating(std::uint8_t* to, std::size_t distance, std::size_t length) {
    if (std::endian::native == std::endian::little &&
        (distance == 1 || distance == 2 || distance == 4)) {
        // The last four bytes, whole (a word is produced before a group is expanded whole),
        // and of them the period's.
        std::uint32_t last = 0;
        std::memcpy(&last, to - sizeof last, sizeof last);
        const std::uint32_t period = last >> (32 - 8 * distance);
        constexpr std::array<std::uint64_t, 5> spread{0, 0x0101010101010101, 0x0001000100010001, 0,
                                                      0x0000000100000001};
        const std::uint64_t word = period * spread[distance];
        for (std::size_t at = 0; at < match_copy; at += sizeof word) {
            store_word(to + at, word);
        }
        return;
    }
    const std::uint8_t* const from = to - distance;
    for (std::size_t i = 0; i < sizeof(std::uint64_t); ++i) {
        to[i] = from[i];
    }
    constexpr std::array<std::uint8_t, 8> periods_past_a_word{0, 8, 8, 9, 8, 10, 12, 14};
    const std::size_t step = periods_past_a_word[distance];
    for (std::size_t at = sizeof(std::uint64_t); at < length; at += sizeof(std::uint64_t)) {
        store_word(to + at, load_word(to + at - step));
    }
}

// The most one group (a control byte and its eight items) takes from the stream and gives.
constexpr std::size_t group_input = 8 * lrs::reference_length;
constexpr std::size_t group_output = 8 * lrs::max_match_length;

// Expands one whole group whose items all fit: the stream holds `group_input` bytes after the
// control byte at `in`, the output has `group_output + match_copy` bytes of room after
// `produced`, and a word has been produced, so no item needs a bound checked. Gives false, with
// `produced` and `in` where it stopped, at a reference of distance 0.
bool expand_group(const std::uint8_t*& in, std::uint8_t* out, std::size_t& produced) {
    const unsigned control = *in++;
    if (control == 0) {
        std::memcpy(out + produced, in, 8);
        in += 8;
        produced += 8;
        return true;
    }
    for (unsigned shift = 8; shift-- > 0;) {
        if ((control >> shift & 1) == 0) {
            out[produced++] = *in++;
            continue;
        }
        const lrs::Reference reference = lrs::decode_reference(in[0], in[1]);
        in += lrs::reference_length;
        if (reference.distance == 0) {
            return false;
        }
        if (reference.distance > produced) {
            copy_reference(out, produced, reference.distance, reference.length);
        } else if (reference.distance >= reference.length) {
            copy_apart(out + produced, reference.distance);
        } else if (reference.distance >= sizeof(std::uint64_t)) {
            copy_overlapping(out + produced, reference.distance);
        } else {
            copy_repeating(out + produced, reference.distance, reference.length);
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

namespace {

// Where a group's references lie in its 16 bytes after the control byte, by control byte: masks
// over the bytes as two little-endian words, for measuring a group without a branch per item.
struct GroupShape {
    std::uint64_t lengths[2] = {};    // 0x0F on each reference's second byte
    std::uint64_t distances[2] = {};  // 0xFF on each first byte, 0xF0 on each second
    std::uint64_t firsts[2] = {};     // 0xFF on each first byte
    std::uint8_t references = 0;
};

constexpr std::array<GroupShape, 256> group_shapes = [] {
    std::array<GroupShape, 256> shapes{};
    for (unsigned control = 0; control < 256; ++control) {
        GroupShape& shape = shapes[control];
        const auto mark = [](std::uint64_t* words, unsigned place, std::uint64_t byte) {
            words[place / 8] |= byte << (place % 8 * 8);
        };
        unsigned place = 0;
        for (unsigned shift = 8; shift-- > 0;) {
            if ((control >> shift & 1) == 0) {
                ++place;
                continue;
            }
            mark(shape.lengths, place + 1, 0x0F);
            mark(shape.distances, place, 0xFF);
            mark(shape.distances, place + 1, 0xF0);
            mark(shape.firsts, place, 0xFF);
            ++shape.references;
            place += 2;
        }
    }
    return shapes;
}();

constexpr std::uint64_t every_byte = 0x0101010101010101;

// The sum of a word's bytes, each below 32.
std::size_t byte_sum(std::uint64_t word) {
    return static_cast<std::size_t>(word * every_byte >> 56);
}

bool has_zero_byte(std::uint64_t word) {
    return ((word - every_byte) & ~word & every_byte << 7) != 0;
}

// The items of one group, measured only: what `expand_group` adds to `produced`, under the same
// conditions, without writing. Which item is which is worked into the sums, not branched on:
// the control bits follow no pattern a branch could learn.
bool measure_items(const std::uint8_t*& in, std::size_t& produced) {
    const unsigned control = *in++;
    for (unsigned shift = 8; shift-- > 0;) {
        const unsigned is_reference = control >> shift & 1;
        const lrs::Reference reference = lrs::decode_reference(in[0], in[1]);
        if ((is_reference & static_cast<unsigned>(reference.distance == 0)) != 0) {
            in += lrs::reference_length;
            return false;
        }
        const std::size_t references = std::size_t{0} - is_reference;  // all ones or none
        produced += 1 + ((reference.length - 1) & references);
        in += 1 + is_reference;
    }
    return true;
}

// `measure_items` with the lengths summed by masks on the group's bytes; a group holding a
// reference of distance 0 is measured item by item, to stop where expanding stops.
bool measure_group(const std::uint8_t*& in, std::size_t& produced) {
    if constexpr (std::endian::native == std::endian::little) {
        const GroupShape& shape = group_shapes[*in];
        const std::uint64_t low = load_word(in + 1);
        const std::uint64_t high = load_word(in + 9);
        const std::uint64_t distance_low = low & shape.distances[0];
        const std::uint64_t distance_high = high & shape.distances[1];
        // Each reference's two distance bytes merged into its first.
        const std::uint64_t merged_low =
            distance_low | distance_low >> 8 | distance_high << 56 | ~shape.firsts[0];
        const std::uint64_t merged_high = distance_high | distance_high >> 8 | ~shape.firsts[1];
        if (!has_zero_byte(merged_low) && !has_zero_byte(merged_high)) {
            produced += 8 + shape.references * (lrs::min_match_length - 1) +
                        byte_sum(low & shape.lengths[0]) + byte_sum(high & shape.lengths[1]);
            in += 1 + 8 + shape.references;
            return true;
        }
    }
    return measure_items(in, produced);
}

// Writes each item where it goes.
struct Expanding {
    std::uint8_t* out;

    bool group(const std::uint8_t*& in, std::size_t& produced) const {
        return expand_group(in, out, produced);
    }
    void reference(std::size_t produced, std::size_t distance, std::size_t length) const {
        copy_reference(out, produced, distance, length);
    }
    void literal(std::size_t produced, std::uint8_t byte) const { out[produced] = byte; }
};

// Counts the bytes each item gives.
struct Measuring {
    static bool group(const std::uint8_t*& in, std::size_t& produced) {
        return measure_group(in, produced);
    }
    static void reference(std::size_t, std::size_t, std::size_t) {}
    static void literal(std::size_t, std::uint8_t) {}
};

// The one walk over a stream's items, for expanding it and for measuring the expansion: where it
// stops and how much it gives do not depend on whether the bytes are written. Gives the length
// expanded.
template <class Items>
std::size_t walk_items(std::span<const std::uint8_t> input, const Items& items) {
    const std::span<const std::uint8_t> data = input.subspan(lrs::size_prefix_length);
    const std::size_t limit = lrs_output_limit(input);
    std::size_t produced = 0;

    std::uint8_t control_byte = 0;
    std::uint8_t control_bit = 0;
    std::size_t input_idx = 0;
    while (produced < limit && input_idx < data.size()) {
        if (control_bit == 0 && produced >= sizeof(std::uint64_t) &&
            data.size() - input_idx > group_input &&
            limit - produced >= group_output + match_copy) {
            const std::uint8_t* in = data.data() + input_idx;
            const bool whole = items.group(in, produced);
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
            items.reference(produced, reference.distance, length);
            produced += length;
        } else {
            if (input_idx >= data.size()) {
                break;
            }
            items.literal(produced++, data[input_idx++]);
        }
        control_bit >>= 1;
    }
    return produced;
}

}  // namespace

std::size_t decompress_lrs_into(std::span<const std::uint8_t> input,
                                std::span<std::uint8_t> output) {
    if (input.size() < lrs::size_prefix_length) {
        std::ranges::copy(input, output.begin());
        return input.size();
    }
    return walk_items(input, Expanding{output.data()});
}

std::size_t lrs_expanded_length(std::span<const std::uint8_t> input) {
    if (input.size() < lrs::size_prefix_length) {
        return input.size();
    }
    return walk_items(input, Measuring{});
}

}  // namespace tarnwick_dat
