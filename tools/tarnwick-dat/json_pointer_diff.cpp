#include "json_pointer_diff.hpp"

#include <algorithm>

namespace tarnwick_tool {

namespace {

using nlohmann::json;

// "~" and "/" are the two characters a reference token escapes.
std::string token(const std::string& key) {
    std::string escaped;
    for (char c : key) {
        escaped += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    }
    return escaped;
}

void differences(const json& a, const json& b, const std::string& at,
                 std::vector<std::string>& out) {
    if (a.is_object() && b.is_object()) {
        auto left = a.begin();
        auto right = b.begin();
        while (left != a.end() || right != b.end()) {
            if (right == b.end() || (left != a.end() && left.key() < right.key())) {
                out.push_back(at + "/" + token(left.key()));
                ++left;
            } else if (left == a.end() || right.key() < left.key()) {
                out.push_back(at + "/" + token(right.key()));
                ++right;
            } else {
                differences(*left, *right, at + "/" + token(left.key()), out);
                ++left;
                ++right;
            }
        }
    } else if (a.is_array() && b.is_array()) {
        const std::size_t both = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
            const std::string element = at + "/" + std::to_string(i);
            if (i < both) {
                differences(a[i], b[i], element, out);
            } else {
                out.push_back(element);
            }
        }
    } else if (a != b) {
        out.push_back(at);
    }
}

}  // namespace

std::vector<std::string> json_pointer_diff(const nlohmann::json& old_value,
                                           const nlohmann::json& new_value) {
    std::vector<std::string> pointers;
    differences(old_value, new_value, "", pointers);
    return pointers;
}

}  // namespace tarnwick_tool
