#include "clothing_sweep.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "tarnwick_base/two_cores.hpp"

namespace clothing_sweep {
namespace {

TableRead read_table(const DatDatabase& dat, std::uint32_t id, ReadWindow& ahead) {
    TableRead read{dat.get_file(id, ahead), {}, 0};
    if (read.bytes) {
        ByteReader reader{*read.bytes};
        read.table = ClothingTable::read(reader, Endian::Little);
        read.parsed_to = reader.position().value_or(0);
    }
    return read;
}

// Whether the check reports nothing for this read: the table parsed whole and names itself.
// Every fault the check's visit reports, the known record's contents aside, must fail here.
bool passes(const TableRead& read, std::uint32_t id) {
    return read.bytes && read.table && read.table->id == id && read.parsed_to == read.bytes->size();
}

// The tables not taken yet, [front, back): the check's thread takes them one at a time from the
// front, the second thread runs of them from the back, each run read forward. Whichever is
// quicker takes more, so neither waits long for the other, however the two cores fare.
class Unclaimed {
  public:
    explicit Unclaimed(std::uint32_t count) : packed_{pack(0, count)} {}

    std::optional<std::size_t> take_front() {
        std::uint64_t now = packed_.load(std::memory_order_relaxed);
        for (;;) {
            const auto [front, back] = unpack(now);
            if (front >= back) {
                return std::nullopt;
            }
            if (packed_.compare_exchange_weak(now, pack(front + 1, back),
                                              std::memory_order_relaxed)) {
                return front;
            }
        }
    }

    // About a quarter of what is left, at least `least_run` tables, none below `floor`.
    std::optional<std::pair<std::size_t, std::size_t>> take_back(std::uint32_t floor) {
        constexpr std::uint32_t least_run = 16;
        std::uint64_t now = packed_.load(std::memory_order_relaxed);
        for (;;) {
            const auto [front, back] = unpack(now);
            const std::uint32_t lowest = std::max(front, floor);
            if (lowest >= back) {
                return std::nullopt;
            }
            const std::uint32_t run =
                std::min(back - lowest, std::max(least_run, (back - front) / 4));
            if (packed_.compare_exchange_weak(now, pack(front, back - run),
                                              std::memory_order_relaxed)) {
                return std::pair<std::size_t, std::size_t>{back - run, back};
            }
        }
    }

  private:
    static std::uint64_t pack(std::uint32_t front, std::uint32_t back) {
        return std::uint64_t{front} | std::uint64_t{back} << 32;
    }
    static std::pair<std::uint32_t, std::uint32_t> unpack(std::uint64_t packed) {
        return {static_cast<std::uint32_t>(packed), static_cast<std::uint32_t>(packed >> 32)};
    }

    std::atomic<std::uint64_t> packed_;
};

// What the second thread did: the totals of the runs it vouched for, and the run it could not
// vouch for whole, if any, which the check's thread then reads itself.
struct SecondPart {
    ClothingTally tally;
    std::optional<std::pair<std::size_t, std::size_t>> unvouched;
};

void vouch(const DatDatabase& dat, std::span<const std::uint32_t> ids, std::uint32_t floor,
           Unclaimed& unclaimed, SecondPart& part, const std::stop_token& stop) {
    // Counted here and handed over at the end: `part` lies beside the other thread's own
    // variables, and writing it on every table would pull their cache lines back and forth.
    ClothingTally tally;
    std::optional<std::pair<std::size_t, std::size_t>> run;
    try {
        ReadWindow ahead;
        while (!stop.stop_requested() && (run = unclaimed.take_back(floor))) {
            ClothingTally run_tally;
            for (std::size_t at = run->first; at < run->second; ++at) {
                const TableRead read = read_table(dat, ids[at], ahead);
                if (stop.stop_requested() || !passes(read, ids[at])) {
                    part.tally = tally;
                    part.unvouched = run;
                    return;
                }
                run_tally.add(*read.table);
            }
            tally.add(run_tally);
        }
    } catch (...) {
        // Whatever went wrong here happens again on the checking thread, which reports it.
        part.unvouched = run;
    }
    part.tally = tally;
}

}  // namespace

ClothingTally sweep_clothing_tables(const DatDatabase& dat, std::span<const std::uint32_t> ids,
                                    std::uint32_t keep_id,
                                    const std::function<void(std::uint32_t, TableRead&)>& visit) {
    ClothingTally tally;
    ReadWindow ahead;
    const auto visit_one = [&](std::size_t at) {
        TableRead read = read_table(dat, ids[at], ahead);
        visit(ids[at], read);
        tally.add(*read.table);
    };
    const auto visit_range = [&](std::size_t begin, std::size_t end) {
        for (std::size_t at = begin; at < end; ++at) {
            visit_one(at);
        }
    };
    // The second thread never takes the known record or any table before it.
    const auto floor =
        static_cast<std::size_t>(std::upper_bound(ids.begin(), ids.end(), keep_id) - ids.begin());
    if (floor >= ids.size() || ids.size() > std::numeric_limits<std::uint32_t>::max() ||
        !tarnwick_base::may_use_two_cores()) {
        visit_range(0, ids.size());
        return tally;
    }
    Unclaimed unclaimed{static_cast<std::uint32_t>(ids.size())};
    SecondPart part;
    {
        // Stopped and joined on the way out when a failure reported here ends the pass.
        std::jthread helper{[&](std::stop_token stop) {
            vouch(dat, ids, static_cast<std::uint32_t>(floor), unclaimed, part, stop);
        }};
        tarnwick_base::keep_off_this_core(helper.native_handle());
        while (const std::optional<std::size_t> at = unclaimed.take_front()) {
            visit_one(*at);
        }
        helper.join();
    }
    // The tables before the run the second thread stopped in are all read here by now; those
    // after it, vouched for.
    if (part.unvouched) {
        visit_range(part.unvouched->first, part.unvouched->second);
    }
    tally.add(part.tally);
    return tally;
}

}  // namespace clothing_sweep
