#include "tarnwick_dat/compress.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "tarnwick_base/little_endian.hpp"
#include "tarnwick_dat/utils/lrs_format.hpp"

namespace tarnwick_dat {
namespace {

using lrs::max_distance;
using lrs::max_match_length;
using lrs::min_match_length;

// Candidates tried per position; more finds slightly longer matches at a high cost in speed.
constexpr std::size_t max_chain_steps = 16;
constexpr std::size_t window_slots = 4096;  // a power of two above max_distance

// How many of the first `limit` bytes at `a` and `b` agree: eight at a time where the machine's
// byte order lets the first difference be found from the lowest set bit, then one at a time.
std::size_t common_prefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
    std::size_t length = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; limit - length >= sizeof(std::uint64_t); length += sizeof(std::uint64_t)) {
            std::uint64_t x = 0;
            std::uint64_t y = 0;
            std::memcpy(&x, a + length, sizeof x);
            std::memcpy(&y, b + length, sizeof y);
            if (x != y) {
                return length + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
            }
        }
    }
    while (length < limit && a[length] == b[length]) {
        ++length;
    }
    return length;
}

// Positions by their first two bytes, newest first, linked through a ring over the window. The
// tables (256 KiB) are set up once per thread and kept from input to input: each input's
// positions are stored from a base above every earlier input's, so that whatever an earlier
// input left in them is below the base and reads as no position.
class MatchFinder {
  public:
    MatchFinder() {
        heads_.fill(0);
        previous_.fill(0);
    }

    // Starts on a new input.
    void start(std::span<const std::uint8_t> input) {
        if (input.size() >= std::numeric_limits<std::uint32_t>::max() - next_base_) {
            heads_.fill(0);
            previous_.fill(0);
            next_base_ = 1;
        }
        input_ = input;
        base_ = next_base_;
        next_base_ += static_cast<std::uint32_t>(input.size()) + 1;
    }

    void insert(std::size_t position) {
        if (position + min_match_length > input_.size()) {
            return;
        }
        const std::size_t key = pair_at(position);
        previous_[position % window_slots] = heads_[key];
        heads_[key] = base_ + static_cast<std::uint32_t>(position);
    }

    struct Match {
        std::size_t distance = 0;
        std::size_t length = 0;
    };

    Match longest_at(std::size_t position) const {
        Match best;
        if (position + min_match_length > input_.size()) {
            return best;
        }
        const std::size_t limit = std::min(max_match_length, input_.size() - position);
        std::uint32_t stored = heads_[pair_at(position)];
        for (std::size_t step = 0; step < max_chain_steps && stored >= base_; ++step) {
            const std::size_t candidate = stored - base_;
            const std::size_t distance = position - candidate;
            if (distance > max_distance) {
                break;
            }
            // A candidate that differs at the best length so far cannot beat it.
            if (input_[candidate + best.length] != input_[position + best.length]) {
                stored = previous_[candidate % window_slots];
                continue;
            }
            const std::size_t length =
                common_prefix(input_.data() + candidate, input_.data() + position, limit);
            if (length > best.length) {
                best = {distance, length};
                if (length == limit) {
                    break;
                }
            }
            stored = previous_[candidate % window_slots];
        }
        return best;
    }

  private:
    std::size_t pair_at(std::size_t position) const {
        return static_cast<std::size_t>(input_[position]) << 8 | input_[position + 1];
    }

    std::span<const std::uint8_t> input_;
    // Stored positions are `base_ + position`; 0 was never one.
    std::uint32_t base_ = 1;
    std::uint32_t next_base_ = 1;
    std::array<std::uint32_t, 1 << 16> heads_;
    std::array<std::uint32_t, window_slots> previous_;
};

// Appends items in groups of eight behind a control byte.
class TokenWriter {
  public:
    explicit TokenWriter(std::vector<std::uint8_t>& out) : out_{out} {}

    void literal(std::uint8_t byte) {
        next_item(false);
        out_.push_back(byte);
    }
    void reference(std::size_t distance, std::size_t length) {
        next_item(true);
        const auto bytes = lrs::encode_reference({distance, length});
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

  private:
    void next_item(bool is_reference) {
        if (bit_ == 0) {
            control_at_ = out_.size();
            out_.push_back(0);
            bit_ = lrs::first_control_bit;
        }
        if (is_reference) {
            out_[control_at_] |= bit_;
        }
        bit_ >>= 1;
    }

    std::vector<std::uint8_t>& out_;
    std::size_t control_at_ = 0;
    std::uint8_t bit_ = 0;
};

}  // namespace

std::vector<std::uint8_t> compress_lrs(std::span<const std::uint8_t> input) {
    std::vector<std::uint8_t> out;
    out.reserve(lrs::size_prefix_length + input.size() + input.size() / 8 + 1);
    tarnwick_base::append_le(out, static_cast<std::uint32_t>(input.size()));
    // The finder's tables are large: off the stack, and set up once per thread.
    thread_local const std::unique_ptr<MatchFinder> finder = std::make_unique<MatchFinder>();
    finder->start(input);
    TokenWriter tokens{out};
    std::size_t position = 0;
    while (position < input.size()) {
        const MatchFinder::Match match = finder->longest_at(position);
        const std::size_t advance = match.length >= min_match_length ? match.length : 1;
        if (advance == 1) {
            tokens.literal(input[position]);
        } else {
            tokens.reference(match.distance, match.length);
        }
        for (std::size_t i = 0; i < advance; ++i) {
            finder->insert(position + i);
        }
        position += advance;
    }
    return out;
}

}  // namespace tarnwick_dat
