#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tarnwick_base/text.hpp"

namespace runner {

// The structured debug rendering of a value in failure reports: whole numbers in decimal, texts
// quoted and escaped, optionals as Some(..) / None, vectors as [a, b]. Any other type is rendered
// by a `std::string debug_repr(const T&)` found by argument-dependent lookup (enumerations give
// their variant name that way).
template <class T>
std::string debug_render(const T& value);

namespace detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
struct IsVector : std::false_type {};
template <class T, class A>
struct IsVector<std::vector<T, A>> : std::true_type {};

template <class T>
concept TextLike = std::convertible_to<const T&, std::string_view> && !std::is_same_v<T, bool>;

template <class T>
concept HasDebugRepr = requires(const T& value) {
    { debug_repr(value) } -> std::convertible_to<std::string>;
};

}  // namespace detail

template <class T>
std::string debug_render(const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::is_integral_v<T>) {
        return std::to_string(value);
    } else if constexpr (detail::TextLike<T>) {
        return tarnwick_base::debug_quoted(std::string_view{value});
    } else if constexpr (detail::IsOptional<T>::value) {
        return value ? "Some(" + debug_render(*value) + ")" : std::string{"None"};
    } else if constexpr (detail::IsVector<T>::value) {
        std::string text = "[";
        for (const auto& item : value) {
            if (text.size() > 1) {
                text.append(", ");
            }
            text.append(debug_render(item));
        }
        return text + "]";
    } else {
        static_assert(detail::HasDebugRepr<T>,
                      "give the type a `std::string debug_repr(const T&)` beside it");
        return debug_repr(value);
    }
}

}  // namespace runner
