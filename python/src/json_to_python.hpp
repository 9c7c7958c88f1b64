#pragma once

#include <pybind11/pybind11.h>

#include <nlohmann/json.hpp>

namespace tarnwick_python {

// The JSON value as Python objects: objects become dicts, arrays lists, numbers int or float,
// null None. Strings are decoded as UTF-8 with U+FFFD for bytes that are not, as the tool writes
// them. Needs the GIL.
pybind11::object json_to_python(const nlohmann::json& value);

}  // namespace tarnwick_python
