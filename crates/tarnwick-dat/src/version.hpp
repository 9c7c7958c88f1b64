#pragma once

// The library's version, and the language it needs: its headers use C++23 (`std::expected`),
// so compiling them as an older C++ stops here, with a message that says so.

#if __cplusplus <= 202002L
#error "tarnwick_dat needs C++23: compile with -std=c++23 (or CMAKE_CXX_STANDARD 23)"
#endif

#define TARNWICK_DAT_VERSION_MAJOR 0
#define TARNWICK_DAT_VERSION_MINOR 2
#define TARNWICK_DAT_VERSION_PATCH 0
#define TARNWICK_DAT_VERSION_STRING "0.2.0"
