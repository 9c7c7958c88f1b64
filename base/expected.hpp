#pragma once

// Handing a failure on. A function that gives a std::expected passes the failures of the calls it
// makes outward unchanged, in one of two forms:
//
//   auto header = DatHeader::read(reader);
//   if (!header) {
//       return take_error(header);       // the value is needed afterwards
//   }
//   TARNWICK_TRY(write_text(out, "\n"));  // only success matters
//
// The error converts to the caller's error type where that type accepts it (an IoError or a
// ReadError becomes a DatError).

#include <expected>
#include <utility>

namespace tarnwick_base {

// The failure of `result`, moved out of it.
template <class T, class E>
std::unexpected<E> take_error(std::expected<T, E>& result) {
    return std::unexpected<E>{std::move(result.error())};
}

}  // namespace tarnwick_base

// Ends the enclosing function with the failure of `expression`, a std::expected, when it failed;
// a value it holds is dropped.
#define TARNWICK_TRY(expression)                                             \
    do {                                                                     \
        if (auto tarnwick_try_result = (expression); !tarnwick_try_result) { \
            return ::tarnwick_base::take_error(tarnwick_try_result);         \
        }                                                                    \
    } while (false)
