#pragma once

// The check's pass over every clothing table: read and parsed in ascending id order as far as
// anything reported goes, with runs of tables from the end read and parsed on a second thread
// meanwhile when there is a second core, until the two meet. Nothing is reported from that
// thread: it only vouches for the tables that would pass and counts them, and stops in the
// first run it cannot vouch for whole.

#include <cstdint>
#include <expected>
#include <functional>
#include <span>
#include <vector>

#include "tarnwick_dat/file_type/clothing.hpp"
#include "tarnwick_dat/file_type/clothing_tally.hpp"
#include "tarnwick_dat/lib.hpp"
#include "tarnwick_dat/utils/read_window.hpp"

namespace clothing_sweep {

using namespace tarnwick_dat;

// What reading and parsing one clothing file gave, before anything about it is reported.
struct TableRead {
    std::expected<std::vector<std::uint8_t>, DatError> bytes;
    std::expected<ClothingTable, ReadError> table;
    std::uint64_t parsed_to = 0;  // the byte where parsing stopped
};

// `visit(id, read)` on the calling thread for every table `ids` names (ascending), in order,
// except those the second thread vouched for; a visit that finds a fault is expected to end the
// pass by throwing. None is skipped that `keep_id` names or that comes before it, nor any in the
// run the second thread stopped in. Gives the totals over all the tables. A fault that `visit`
// reports must also be one the second thread refuses to vouch for (`passes`, in the source).
ClothingTally sweep_clothing_tables(const DatDatabase& dat, std::span<const std::uint32_t> ids,
                                    std::uint32_t keep_id,
                                    const std::function<void(std::uint32_t, TableRead&)>& visit);

}  // namespace clothing_sweep
