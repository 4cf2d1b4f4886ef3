#pragma once
// Base64 with the standard alphabet and '=' padding (RFC 4648, section 4).
// Decoding is strict: no whitespace or line breaks, padding required, and the
// unused bits of the last group must be zero, so every byte string has
// exactly one accepted text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mattix::host {

std::string Base64Encode(const std::uint8_t* data, std::size_t size);
std::string Base64Encode(const std::vector<std::uint8_t>& bytes);

// The decoded bytes, or nullopt with `error` describing the first fault and
// its 0-based character offset.
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text, std::string* error);

}  // namespace mattix::host
