#include "clothing_sweep.hpp"

#include <algorithm>
#include <stop_token>
#include <thread>

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

// Where the second thread's part begins: about half the stored bytes on from the start, after
// `keep_id`, leaving both parts something; `ids.size()` (no second part) with one core.
std::size_t second_part_start(const DatDatabase& dat, std::span<const std::uint32_t> ids,
                              std::uint32_t keep_id, bool second_core) {
    if (ids.size() < 2 || !second_core) {
        return ids.size();
    }
    // The ids ascend, as the directory does: one walk along it finds them all.
    std::vector<std::uint64_t> sizes(ids.size());
    std::uint64_t total = 0;
    auto at = std::ranges::lower_bound(dat.files(), ids.front(), {}, &DirectoryPair::first);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        while (at != dat.files().end() && at->first < ids[i]) {
            ++at;
        }
        sizes[i] = at != dat.files().end() && at->first == ids[i] ? at->second.size : 0;
        total += sizes[i];
    }
    std::size_t start = 1;
    for (std::uint64_t before = sizes[0]; start + 1 < ids.size() && 2 * before < total; ++start) {
        before += sizes[start];
    }
    const auto after_kept = std::upper_bound(ids.begin(), ids.end(), keep_id);
    return std::max(start, static_cast<std::size_t>(after_kept - ids.begin()));
}

// The second thread's part: the tables it vouches for, counted, and where it stopped.
struct SecondPart {
    ClothingTally tally;
    std::size_t stopped_at = 0;
};

void vouch(const DatDatabase& dat, std::span<const std::uint32_t> ids, std::size_t start,
           SecondPart& part, const std::stop_token& stop) {
    // Counted here and handed over at the end: `part` lies beside the other thread's own
    // variables, and writing it on every table would pull their cache lines back and forth.
    ClothingTally tally;
    std::size_t at = start;
    try {
        ReadWindow ahead;
        for (; at < ids.size() && !stop.stop_requested(); ++at) {
            const TableRead read = read_table(dat, ids[at], ahead);
            if (!passes(read, ids[at])) {
                break;
            }
            tally.add(*read.table);
        }
    } catch (...) {
        // Whatever went wrong here happens again on the checking thread, which reports it.
    }
    part.tally = tally;
    part.stopped_at = at;
}

}  // namespace

ClothingTally sweep_clothing_tables(const DatDatabase& dat, std::span<const std::uint32_t> ids,
                                    std::uint32_t keep_id,
                                    const std::function<void(std::uint32_t, TableRead&)>& visit) {
    ClothingTally tally;
    ReadWindow ahead;
    const auto visit_range = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            TableRead read = read_table(dat, ids[i], ahead);
            visit(ids[i], read);
            tally.add(*read.table);
        }
    };
    const std::size_t second =
        second_part_start(dat, ids, keep_id, tarnwick_base::may_use_two_cores());
    if (second == ids.size()) {
        visit_range(0, ids.size());
        return tally;
    }
    SecondPart part;
    {
        // Stopped and joined on the way out when a failure reported here ends the pass.
        std::jthread helper{[&](std::stop_token stop) { vouch(dat, ids, second, part, stop); }};
        tarnwick_base::keep_off_this_core(helper.native_handle());
        visit_range(0, second);
        helper.join();
    }
    tally.add(part.tally);
    visit_range(part.stopped_at, ids.size());
    return tally;
}

}  // namespace clothing_sweep
