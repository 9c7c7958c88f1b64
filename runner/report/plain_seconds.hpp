#pragma once

#include <chrono>
#include <string>

namespace runner {

// The shortest plain decimal that reads back as `value`, never in exponent form ("1.5", "0").
std::string plain_decimal(double value);

// A duration as seconds in that form, without unit ("0.000123"), as json and junit show times.
std::string plain_seconds(std::chrono::nanoseconds duration);

}  // namespace runner
