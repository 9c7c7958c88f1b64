#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnwick_tool {

using Sha256 = std::array<std::uint8_t, 32>;

// The SHA-256 digest of `bytes`, by libcrypto; the error says why libcrypto could not give it.
std::expected<Sha256, std::string> sha256(std::span<const std::uint8_t> bytes);

// 64 lower-case hexadecimal digits, as sha256sum writes them.
std::string sha256_text(const Sha256& digest);
// 64 hexadecimal digits of either case; nothing else.
std::optional<Sha256> parse_sha256(std::string_view text);

}  // namespace tarnwick_tool
