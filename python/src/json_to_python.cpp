#include "json_to_python.hpp"

#include <string>

namespace tarnwick_python {

namespace py = pybind11;

namespace {

py::object utf8_text(const std::string& text) {
    PyObject* decoded =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (decoded == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::object>(decoded);
}

}  // namespace

py::object json_to_python(const nlohmann::json& value) {
    using Type = nlohmann::json::value_t;
    switch (value.type()) {
        case Type::boolean:
            return py::bool_{value.get<bool>()};
        case Type::number_integer:
            return py::int_{value.get<std::int64_t>()};
        case Type::number_unsigned:
            return py::int_{value.get<std::uint64_t>()};
        case Type::number_float:
            return py::float_{value.get<double>()};
        case Type::string:
            return utf8_text(value.get_ref<const std::string&>());
        case Type::array: {
            py::list list{value.size()};
            std::size_t index = 0;
            for (const nlohmann::json& element : value) {
                list[index++] = json_to_python(element);
            }
            return list;
        }
        case Type::object: {
            py::dict dict;
            for (const auto& [key, member] : value.items()) {
                dict[utf8_text(key)] = json_to_python(member);
            }
            return dict;
        }
        case Type::binary: {
            const auto& bytes = value.get_binary();
            return py::bytes{reinterpret_cast<const char*>(bytes.data()), bytes.size()};
        }
        case Type::null:
        case Type::discarded:
            break;
    }
    return py::none();
}

}  // namespace tarnwick_python
