#include "sha256.hpp"

#include <openssl/evp.h>

#include <charconv>

namespace tarnwick_tool {

std::expected<Sha256, std::string> sha256(std::span<const std::uint8_t> bytes) {
    Sha256 digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) !=
            1 ||
        length != digest.size()) {
        return std::unexpected{std::string{"libcrypto gave no SHA-256 digest"}};
    }
    return digest;
}

std::string sha256_text(const Sha256& digest) {
    std::string text;
    text.reserve(2 * digest.size());
    constexpr std::string_view digits = "0123456789abcdef";
    for (std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::optional<Sha256> parse_sha256(std::string_view text) {
    Sha256 digest{};
    if (text.size() != 2 * digest.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const char* first = text.data() + 2 * i;
        const auto [end, error] = std::from_chars(first, first + 2, digest[i], 16);
        if (error != std::errc{} || end != first + 2) {
            return std::nullopt;
        }
    }
    return digest;
}

}  // namespace tarnwick_tool
