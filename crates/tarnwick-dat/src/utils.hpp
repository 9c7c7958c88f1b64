#pragma once

// The library's `utils` module: positioned reads, the archive file, the expansion of compressed
// files and where the portal archive is found.

#include "tarnwick_dat/utils/archive_file.hpp"
#include "tarnwick_dat/utils/decompress.hpp"
#include "tarnwick_dat/utils/portal_dat_path.hpp"
#include "tarnwick_dat/utils/positioned_read.hpp"
