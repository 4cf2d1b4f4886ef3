#pragma once
// The colours of the matte's edge: the screen's colour taken out of the
// pixels that are partly transparent (unmixing), and the despill of the
// opaque rim.
//
// Unmixing: a pixel of coverage a is C = a F + (1 - a) B, the subject's
// colour F over the screen's B; kept as it is, C shows the screen's colour
// as a fringe wherever the key is laid over another background. Its F is
// (C - (1 - a) B) / a, with B the colour of the clear screen nearby.
//
// Despill of the matte's edge: the screen's light spilled on the subject's
// rim measured against the subject's own colour further in. The classic
// limit (the screen channel at most the mean of the other two) leaves the
// cast on a subject whose own balance lies below that mean (skin before a
// green screen keeps most of the spill), and the light it dimmed in the
// other two channels stays dimmed. Here a rim pixel C that lies near the
// line from the subject's colour F a little further in (where the spill
// does not reach) toward the screen's B is C = F + t (B - F), the light of
// the screen mixed in at a share t, and gets (C - t B) / (1 - t); its limit
// is the mean of its other two channels plus F's balance.
//
// Alpha planes hold one byte a pixel, rows `w` apart; colour rows 32-bit
// BGRA, `stride` bytes apart. The screen channel is the byte's place in a
// pixel (1 green, 0 blue).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace mattix::matte::internal {

// depth[i]: the chessboard distance in pixels from pixel i to the nearest
// pixel whose alpha is below 255 (0 on those), at most `cap` (1 to 255).
// Pixels beyond the picture do not count: the frame's border is no edge.
void OpaqueDepth(const std::uint8_t* alpha, int w, int h, int cap, std::uint8_t* depth);

// Pixels reached by a fill (colours carried ring by ring from some pixels
// to others): their places (y w + x), ring by ring, and their colours, one
// for one; slot[i] is pixel i's place in both, for the pixels reached.
struct RingFill {
  std::vector<std::size_t> pixels;
  std::vector<std::array<float, 3>> colours;
  std::unique_ptr<std::int32_t[]> slot;  // uninitialised where not reached
};

// The screen's colour B near the pixels that are not clear: the clear
// pixels' (alpha 0) colours carried inward ring by ring (8-neighbours, up
// to `rings` rings) through the partly transparent pixels and the opaque
// ones at most `rim` pixels deep (depth: OpaqueDepth's, capped above rim;
// read only when rim > 0), each pixel taking
// the mean of its neighbours that are clear or lie in the rings before.
struct ScreenNearby {
  std::vector<std::uint8_t> kind;  // the fill's marks: which pixels it reached
  RingFill fill;
  // B near pixel i, or nullptr where the fill did not reach.
  const std::array<float, 3>* At(std::size_t i) const;
};
ScreenNearby CarryScreenInward(const std::uint8_t* bgra, std::size_t stride,
                               const std::uint8_t* alpha, int w, int h, const std::uint8_t* depth,
                               int rim, int rings);

// How many rings the screen's colour must be carried to reach a rim
// `width` deep: the rim, after a band of partly transparent pixels up to 4
// wide.
constexpr int RimScreenRings(int width) { return width + 4; }

// The rim's colours and limits, for each pixel of a keyed frame (depth:
// OpaqueDepth's, capped above width):
//  - pixels deeper than `width` inside the opaque matte are the subject's
//    own colour F, as keyed (the rim is measured against the colour it
//    was mixed from; the limits come after);
//  - from them, ring by ring outward (8-neighbours, up to 2 width + 2
//    rings) through the pixels that are not transparent, each pixel takes
//    the mean of the colours of its neighbours in the rings before;
//  - the screen's light taken out: a pixel C so reached whose screen's
//    colour B `screen` knows (without it, the clear pixels' colours are
//    carried in RimScreenRings(width) rings through the pixels so reached,
//    as CarryScreenInward does), lying near the line from F toward B, C = F + t (B - F) + r with t
//    (0 to 1/2) from C's projection on it, becomes (C - t B) / (1 - t), weighted by how near (full
//    for |r| within 8 levels, none beyond 16);
//  - the limit's offset: F's balance (its screen channel less the mean of
//    the other two) where it is below 0, weighted by how closely the
//    pixel's other two channels (the spill taken out) keep F's ratio
//    (full within 0.04 of o2 / (o1 + o2), none beyond 0.08): a rim of
//    another colour (a sleeve against the shirt it meets) is left to the
//    classic limit.
// Lists the pixels with an offset or a colour changed, with the colour at
// full strength (the caller applies amount); width >= 1.
struct RimChange {
  std::size_t pixel;                // y w + x
  float offset;                     // 0 or below
  std::array<float, 3> colour;      // B, G, R, the screen's light taken out
  std::array<std::uint8_t, 3> was;  // B, G, R as read
};
std::vector<RimChange> RimChanges(const std::uint8_t* bgra, std::size_t stride,
                                  const std::uint8_t* alpha, int w, int h, int channel,
                                  const std::uint8_t* depth, int width, const ScreenNearby* screen);

// How wide a rim of the opaque subject carries the screen's cast, from the
// frame's colours: the mean balance (screen channel less the mean of the
// other two) of the pixels at each depth inside the opaque matte falls as
// far as the spill reaches. The width is one more than the first depth k
// (1 to 31) from which the mean falls by less than a level to depth k + 2;
// 0 when the rim's balance (depth 1) is not 3 levels above the balance
// there, or when fewer than 64 pixels lie at a depth counted. At most 32.
int RimCastWidth(const std::uint8_t* bgra, std::size_t stride, const std::uint8_t* alpha, int w,
                 int h, int channel);

// Unmixes the pixels whose alpha is 1 to 254 that `screen` reached, B
// their screen's colour: each becomes C + amount (F - C) (amount 0 to 1),
// F = (C - (1 - a) B) / a with a at least 1/16 (so that a faint pixel's
// noise is not blown up), each channel rounded to nearest and kept to
// 0..255. Other pixels keep their colour; alpha is not changed.
void UnmixRows(std::uint8_t* bgra, std::size_t stride, const std::uint8_t* alpha, int w,
               double amount, const ScreenNearby& screen);

// The classic limit (FinishKernels' DespillRow) moved by offsets[x]: the
// screen channel's excess over the mean of the other two plus offsets[x]
// is reduced by amount, c - round(amount x excess), halves away from zero,
// never below 0. With every offset 0 it is DespillRow's result.
void DespillRowWithOffsets(std::uint8_t* bgra, int count, int channel, double amount,
                           const float* offsets);

}  // namespace mattix::matte::internal
