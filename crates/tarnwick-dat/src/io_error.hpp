#pragma once

// Platform I/O failures as the library's operations report them: the base library's error, under
// the library's own names.

#include "tarnwick_base/io_error.hpp"
#include "tarnwick_dat/version.hpp"

namespace tarnwick_dat {

using tarnwick_base::IoError;
using tarnwick_base::IoErrorKind;

}  // namespace tarnwick_dat
