#include "host/matte/internal/FinishKernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace mattix::matte::internal {

void ClipAlphaRow(std::uint8_t* alpha, int count, double low, double high) {
  // Each level's result, worked out once: the loop below is then a plain
  // look-up with no chain from one pixel to the next.
  const double scale = 255.0 / (high - low);
  std::array<std::uint8_t, 256> levels;
  for (int v = 0; v < 256; ++v) {
    const double a = v;
    levels[std::size_t(v)] = a <= low    ? 0
                             : a >= high ? 255
                                         : std::uint8_t(std::lround((a - low) * scale));
  }
  for (int x = 0; x < count; ++x) alpha[x] = levels[alpha[x]];
}

void CloseHolesRow(const std::uint8_t* above, const std::uint8_t* row, const std::uint8_t* below,
                   std::uint8_t* out, int count, double low, std::uint8_t* bits) {
  // bits[x + 1]: what column x of the three rows holds (1: a full pixel, 2:
  // a clear one); bits[0] and bits[count + 1] stand for the columns beyond
  // the row's ends. Plain loops over bytes with no branch, which the
  // compiler turns into vector code.
  const auto mark = [](std::uint8_t v) {
    return std::uint8_t((v == 255 ? 1 : 0) | (v == 0 ? 2 : 0));
  };
  bits[0] = bits[count + 1] = 0;
  for (int x = 0; x < count; ++x) bits[x + 1] = mark(row[x]);
  for (const std::uint8_t* r : {above, below})
    if (r != nullptr)
      for (int x = 0; x < count; ++x) bits[x + 1] |= mark(r[x]);
  // Levels are whole: at or above low is at or above its ceiling.
  const int level = int(std::ceil(low));
  for (int x = 0; x < count; ++x) {
    const bool fill = (bits[x] | bits[x + 1] | bits[x + 2]) == 1 && row[x] >= level;
    out[x] = fill ? 255 : row[x];
  }
}

namespace {

// MinMaxRow with the choice made: the window taken one distance d at a time
// on both sides, pixels d from an end taking the end (inside the window, so
// the extreme is the same); the middle is a plain loop over bytes.
template <class Pick>
void WindowRow(const std::uint8_t* in, std::uint8_t* out, int count, int half, Pick pick) {
  std::copy(in, in + count, out);
  for (int d = 1; d <= half; ++d) {
    const int lo = std::min(d, count), hi = std::max(lo, count - d);
    for (int x = 0; x < lo; ++x) out[x] = pick(out[x], pick(in[0], in[std::min(x + d, count - 1)]));
    for (int x = lo; x < hi; ++x) out[x] = pick(out[x], pick(in[x - d], in[x + d]));
    for (int x = hi; x < count; ++x)
      out[x] = pick(out[x], pick(in[std::max(x - d, 0)], in[count - 1]));
  }
}

}  // namespace

void MinMaxRow(const std::uint8_t* in, std::uint8_t* out, int count, int half, bool grow) {
  if (grow)
    WindowRow(in, out, count, half, [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
  else
    WindowRow(in, out, count, half, [](std::uint8_t a, std::uint8_t b) { return std::min(a, b); });
}

MATTIX_PLANE_LOOP
void MinMaxInto(std::uint8_t* o, const std::uint8_t* row, int count, bool grow) {
  if (grow)
    for (int x = 0; x < count; ++x) o[x] = std::max(o[x], row[x]);
  else
    for (int x = 0; x < count; ++x) o[x] = std::min(o[x], row[x]);
}

MATTIX_PLANE_LOOP
void WeightedSumRow(double* out, const double* const* rows, const double* weights, int taps,
                    int count) {
  // A block of sums at a time, kept in the first-level cache while every
  // tap is added to it.
  constexpr int kBlock = 256;
  double sums[kBlock];
  for (int first = 0; first < count; first += kBlock) {
    const int n = std::min(kBlock, count - first);
    std::fill(sums, sums + n, 0.0);
    for (int i = 0; i < taps; ++i) {
      const double k = weights[i];
      const double* in = rows[i] + first;
      for (int x = 0; x < n; ++x) sums[x] += k * in[x];
    }
    std::copy(sums, sums + n, out + first);
  }
}

MATTIX_PLANE_LOOP
void LevelsRow(const std::uint8_t* in, double* out, int count) {
  for (int x = 0; x < count; ++x) out[x] = in[x];
}

MATTIX_PLANE_LOOP
void RoundLevelsRow(const double* sums, std::uint8_t* out, int count) {
  // RoundNonNegative in 32 bits, which vector instructions convert.
  for (int x = 0; x < count; ++x) {
    const int whole = int(sums[x]);
    const int level = sums[x] - double(whole) >= 0.5 ? whole + 1 : whole;
    out[x] = std::uint8_t(std::min(level, 255));
  }
}

DespillTable DespillReductions(double amount) {
  DespillTable reductions;
  for (std::size_t excess2 = 0; excess2 < reductions.size(); ++excess2)
    reductions[excess2] = std::int32_t(std::lround(0.5 * amount * double(excess2)));
  return reductions;
}

MATTIX_PLANE_LOOP
void DespillRow(std::uint8_t* __restrict bgra, int count, int channel,
                const DespillTable& reductions) {
  // Whole pixels as words: the screen channel and the other two by shifts
  // (the same for every pixel), the reduction by a look-up (a gather in
  // vector code). A reduction is at most the channel, so subtracting it
  // from the word borrows nothing from the next byte.
  const int a = channel == 1 ? 0 : 1;  // the other two: a and red
  const unsigned shift = 8u * unsigned(channel), shiftA = 8u * unsigned(a);
  const std::int32_t* __restrict table = reductions.data();  // the stores do not alias it
  for (int x = 0; x < count; ++x) {
    std::uint32_t v;
    std::memcpy(&v, bgra + std::size_t(x) * 4, 4);
    const int c = int((v >> shift) & 255u), oa = int((v >> shiftA) & 255u),
              ob = int((v >> 16) & 255u);
    const int excess2 = std::max(2 * c - oa - ob, 0);  // the limit is the mean, in half levels
    v -= std::uint32_t(table[excess2]) << shift;
    std::memcpy(bgra + std::size_t(x) * 4, &v, 4);
  }
}

void FillPolygonRow(std::uint8_t* row, int count, int y, const double* points, int n,
                    std::uint8_t value) {
  const double centre = y + 0.5;
  std::vector<double> crossings;
  for (int i = 0; i < n; ++i) {
    const double* p = points + 2 * i;
    const double* q = points + 2 * ((i + 1) % n);
    // The edge spans [low y, high y): a vertex on the centre line is counted
    // by one of its two edges only.
    const double y0 = std::min(p[1], q[1]), y1 = std::max(p[1], q[1]);
    if (y0 == y1 || centre < y0 || centre >= y1) continue;
    crossings.push_back(p[0] + (centre - p[1]) * (q[0] - p[0]) / (q[1] - p[1]));
  }
  std::sort(crossings.begin(), crossings.end());
  for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
    // Pixels whose centres lie in [crossings[k], crossings[k + 1]).
    const double first = std::ceil(crossings[k] - 0.5), last = std::ceil(crossings[k + 1] - 0.5);
    const int from = int(std::clamp(first, 0.0, double(count)));
    const int to = int(std::clamp(last, 0.0, double(count)));
    std::fill(row + from, row + to, value);
  }
}

}  // namespace mattix::matte::internal
