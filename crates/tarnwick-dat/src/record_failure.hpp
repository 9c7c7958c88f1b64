#pragma once

// The failure a record read from memory can meet, as the record reader words it, for decoders
// that read the same records without it and must report the same failure.

#include "tarnwick_dat/read_error.hpp"
#include "tarnwick_dat/record_reader.hpp"

namespace tarnwick_dat {

// The data ended inside a number (or a run of numbers read at once).
ReadError number_cut_short();

// The frame a failing field adds: its name, its record, the line of its declaration.
ReadFrame field_frame(const FieldSite& site);

}  // namespace tarnwick_dat
