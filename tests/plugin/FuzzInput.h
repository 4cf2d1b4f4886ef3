#pragma once
// Reading a fuzz input as a stream of little-endian fields: a field past the
// end reads as zero bytes, so every input, however short, has a meaning.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace mattix::test {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  std::uint16_t U16() { return std::uint16_t(Byte() | Byte() << 8); }
  std::int32_t I32() { return std::int32_t(std::uint32_t(U16()) | std::uint32_t(U16()) << 16); }
  template <class T>
  T Raw() {
    unsigned char bytes[sizeof(T)];
    for (unsigned char& b : bytes) b = Byte();
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  // The next n bytes (fewer at the end), as a pointer into the input.
  const std::uint8_t* Take(std::size_t& n) {
    if (n > m_size - m_at) n = m_size - m_at;
    const std::uint8_t* p = m_data + m_at;
    m_at += n;
    return p;
  }
  std::size_t Left() const { return m_size - m_at; }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

// Whether a mask record's header claims more than 1 << 22 pixels: such
// records are skipped, so that a fuzzer explores decoding, not allocation.
inline bool ClaimsHugeMask(const std::uint8_t* record, std::size_t size) {
  std::int32_t w = 0, h = 0;
  if (size >= 12) {
    std::memcpy(&w, record + 4, 4);
    std::memcpy(&h, record + 8, 4);
  }
  return std::int64_t(w) * h > (1 << 22) || std::int64_t(w) * h < -(1 << 22);
}

// A fuzz target's verdict: a fault is printed and aborts, as libFuzzer expects.
inline int AbortOnFault(const std::string& fault) {
  if (!fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace mattix::test
