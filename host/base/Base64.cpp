#include "host/base/Base64.h"

namespace mattix::host {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

void Fail(std::string* error, const std::string& what, std::size_t offset) {
  if (error) *error = what + " at character " + std::to_string(offset);
}

}  // namespace

std::string Base64Encode(const std::uint8_t* data, std::size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t v =
        std::uint32_t(data[i]) << 16 | std::uint32_t(data[i + 1]) << 8 | data[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (size - i == 1) {
    const std::uint32_t v = std::uint32_t(data[i]) << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (size - i == 2) {
    const std::uint32_t v = std::uint32_t(data[i]) << 16 | std::uint32_t(data[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Base64Encode(const std::vector<std::uint8_t>& bytes) {
  return Base64Encode(bytes.data(), bytes.size());
}

std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text, std::string* error) {
  if (text.size() % 4 != 0) {
    Fail(error, "length is not a multiple of 4", text.size());
    return std::nullopt;
  }
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int pad = 0;
    if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + std::size_t(k)];
      if (k >= 4 - pad) continue;  // a padding position, checked above
      const int d = DigitValue(c);
      if (d < 0) {
        Fail(error, c == '=' ? "misplaced '='" : "character not in the base64 alphabet",
             i + std::size_t(k));
        return std::nullopt;
      }
      v |= std::uint32_t(d) << (18 - 6 * k);
    }
    // The bits below the last byte must be zero in a canonical encoding.
    if ((pad == 1 && (v & 0xFF) != 0) || (pad == 2 && (v & 0xFFFF) != 0)) {
      Fail(error, "non-zero bits in the padding", i + std::size_t(3 - pad));
      return std::nullopt;
    }
    out.push_back(std::uint8_t(v >> 16));
    if (pad < 2) out.push_back(std::uint8_t(v >> 8));
    if (pad < 1) out.push_back(std::uint8_t(v));
  }
  return out;
}

}  // namespace mattix::host
