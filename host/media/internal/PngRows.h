#pragma once
// Row kernels of the fast PNG writer: 8-bit BGRA pixels to the PNG's RGBA
// order, the Paeth filter (PNG filter type 4) of a row of 4-byte pixels, and
// the Adler-32 checksum that ends the zlib stream of the filtered rows.
// Filtering only reads unfiltered bytes (the pixel to the left, the one
// above, the one above-left), so every byte of a row is independent: the
// SSE2 forms work 16 bytes at a time. The _ref functions are the plain
// definitions; the others give the same bytes.
#include <cstddef>
#include <cstdint>

namespace mattix::media::internal {

// dst[4i..4i+3] = R, G, B, A of src's B, G, R, A, for `pixels` pixels.
void BgraToRgba(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void BgraToRgba_ref(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

// out[i] = row[i] - Paeth(left, above, above-left) modulo 256 over `bytes`
// bytes of 4-byte pixels, the left and above-left of the first pixel being
// 0; `above` is the previous row, or nullptr for the first row (all 0).
void PaethFilterRow(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* above,
                    std::size_t bytes);
void PaethFilterRow_ref(std::uint8_t* out, const std::uint8_t* row, const std::uint8_t* above,
                        std::size_t bytes);

// The Adler-32 checksum (RFC 1950) of `adler`'s data followed by `bytes`
// more bytes; start with 1.
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t bytes);
std::uint32_t Adler32_ref(std::uint32_t adler, const std::uint8_t* data, std::size_t bytes);

}  // namespace mattix::media::internal
