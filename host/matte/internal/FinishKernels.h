#pragma once
// Row kernels of matte finishing: free functions over one row, calling
// nobody. Alpha rows hold one byte a pixel (0 transparent, 255 opaque);
// colour rows 32-bit BGRA.
#include <array>
#include <cstdint>
#include <cstring>

// Marks a loop over a plane's rows to be built twice, for AVX2 and for the
// build's baseline (SSE2), the processor choosing when the program starts.
// Neither set fuses a multiply and an add (FMA is a set of its own, and the
// library is built with -ffp-contract=off), so both give the same bytes.
// Not under ThreadSanitizer: the choice is made by a resolver that the
// dynamic linker calls as it loads the program, before the sanitizer's
// runtime is ready for the instrumented code the resolver runs.
#if defined(__SANITIZE_THREAD__)
#define MATTIX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MATTIX_THREAD_SANITIZER 1
#endif
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(MATTIX_THREAD_SANITIZER)
#define MATTIX_PLANE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define MATTIX_PLANE_LOOP
#endif

namespace mattix::matte::internal {

// std::lround of a value above -0.5 (and below 2^52), without the call:
// halves away from zero. v - trunc(v) is exact there, so the comparison
// is too.
inline long RoundNonNegative(double v) {
  const long whole = long(v);
  return v - double(whole) >= 0.5 ? whole + 1 : whole;
}

// Levels at or below `low` become 0, at or above `high` 255, and those
// between are stretched linearly, rounded to nearest: round(255 (a - low) /
// (high - low)). low < high, both in alpha levels (0 to 255, fractional).
void ClipAlphaRow(std::uint8_t* alpha, int count, double low, double high);

// One pass of closing holes: out[x] is 255 when row[x] >= low and, among
// row[x] and its neighbours in above, row and below (x - 1 to x + 1, those
// inside the row), one is 255 and none is 0; else row[x]. above and below
// are null at the picture's edges; out overlaps none of the rows. low is
// 0 to 255; bits: scratch of count + 2 bytes.
void CloseHolesRow(const std::uint8_t* above, const std::uint8_t* row, const std::uint8_t* below,
                   std::uint8_t* out, int count, double low, std::uint8_t* bits);

// out[x] is the smallest (grow: largest) of in[x - half] to in[x + half],
// the part of that window inside the row. half >= 0; in and out do not overlap.
void MinMaxRow(const std::uint8_t* in, std::uint8_t* out, int count, int half, bool grow);

// o[x] = min(o[x], row[x]) (grow: max) for x < count.
void MinMaxInto(std::uint8_t* o, const std::uint8_t* row, int count, bool grow);

// out[x] = 0 + weights[0] rows[0][x] + ... + weights[taps - 1] rows[taps - 1][x]
// for x < count, added in that order, each product rounded before its sum
// (no fused multiply-add): a separable blur's pass, the same sums as the
// plain expression whichever instructions run. out overlaps no row.
void WeightedSumRow(double* out, const double* const* rows, const double* weights, int taps,
                    int count);

// out[x] = in[x] for x < count: levels as doubles.
void LevelsRow(const std::uint8_t* in, double* out, int count);

// out[x] = min(round(sums[x]), 255), halves up; 0 <= sums[x] < 2^31.
void RoundLevelsRow(const double* sums, std::uint8_t* out, int count);

// The classic average limit of the screen channel (`channel`: 1 green, 0
// blue, the byte's place in a BGRA pixel) toward the mean of the other
// two: its excess over that mean is reduced by `amount` (0 to 1), c -
// round(amount x excess), halves away from zero, so a screen colour turns
// neutral at amount 1 and a colour without excess (any grey, skin, any
// subject colour not cast toward the screen) keeps its value.
// DespillReductions gives the reduction for each excess in half levels (1
// to 510; 0 at 0), once for a frame; DespillRow applies them.
using DespillTable = std::array<std::int32_t, 511>;
DespillTable DespillReductions(double amount);
void DespillRow(std::uint8_t* bgra, int count, int channel, const DespillTable& reductions);

// The inside runs of a polygon along the row whose pixel centres lie at
// y + 0.5, by the even-odd rule: pixel x is inside when its centre x + 0.5
// lies right of an odd number of edge crossings (a crossing exactly at a
// centre counts as left of it). Marks those pixels of `row` (count pixels)
// with `value`. points: x0, y0, x1, y1 ... (n points).
void FillPolygonRow(std::uint8_t* row, int count, int y, const double* points, int n,
                    std::uint8_t value);

// Calls f(first, end) for each run of pixels marked in mask[0..w) (bytes 0
// or 1), passing over eight bytes at a time where they are all alike.
template <class F>
void ForEachRun(const std::uint8_t* mask, int w, F f) {
  constexpr std::uint64_t kNone = 0, kAll = 0x0101010101010101u;
  const auto word = [&](int x) {
    std::uint64_t v;
    std::memcpy(&v, mask + x, sizeof v);
    return v;
  };
  for (int x = 0; x < w;) {
    while (x + 8 <= w && word(x) == kNone) x += 8;
    while (x < w && !mask[x]) ++x;
    if (x == w) break;
    const int first = x;
    while (x + 8 <= w && word(x) == kAll) x += 8;
    while (x < w && mask[x]) ++x;
    f(first, x);
  }
}

}  // namespace mattix::matte::internal
