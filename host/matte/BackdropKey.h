#pragma once
// `mattix key auto`'s analysis: the backdrop of a green- or blue-screen frame
// found as the dominant cluster of saturated hues, and a chroma mask that
// keys that cluster.
//
// Hues come from the keying engine's own conversion (stdfx::CHSL), so the
// mask lands where the engine looks colours up on the wheel. Saturation and
// lightness are those of the same double hexcone model: a backdrop lit
// unevenly keeps its hue and saturation and changes its lightness.
#include "host/media/Image.h"

#include <functional>
#include <optional>

namespace mattix::matte {

// The backdrop's colours: the cluster around the most frequent saturated hue.
// Hues are in turns; the range may wrap through red (low > high).
struct BackdropCluster {
  float hue = 0;             // the cluster's median hue
  float hueLow = 0;          // the cluster's pixels lie from hueLow to hueHigh
  float hueHigh = 0;         //   (1st to 99th percentile, counter-clockwise)
  float saturationLow = 0;   // 2nd percentile of the cluster's saturation
  float saturationHigh = 0;  // 98th percentile
  double share = 0;          // the fraction of the frame's pixels in the cluster
  // A veil: a cluster of its own of about the backdrop's hue at a lower
  // saturation, the backdrop seen through something semi-transparent (glass,
  // smoke, gauze). Keyed at one weight over its range; empty when absent.
  bool hasVeil = false;
  float veilHueLow = 0, veilHueHigh = 0;  // 1st to 99th percentile, as above
  float veilSaturationLow = 0, veilSaturationHigh = 0;
  float veilSaturation = 0;  // its median saturation
};

// The backdrop of `frame`, or nullopt when fewer than a tenth of its pixels
// are saturated colours of one hue cluster (no backdrop to key).
std::optional<BackdropCluster> FindBackdrop(const media::BgraImage& frame);

// The key weight (0 to 255) of a hue and saturation for `cluster`: full over
// its hue range widened by 0.03 turns each side and from its saturationLow
// up, fading out (smoothstep) over a further 0.04 turns of hue and down to
// 0.2 of saturationLow, so that colours that are only partly backdrop
// (through glass, in motion blur) are keyed partly. Over a veil's range of
// hue and saturation (widened by 0.01 each side) the weight is flat, that of
// its median: the veil's colours fall on a few rings of wheel pixels, which a
// slope would key as visible bands.
int BackdropKeyWeight(const BackdropCluster& cluster, float hue, float saturation);

// A 241 x 209 mask picture as displayed (row 0 at the top): every wheel pixel
// holds the largest weight of the colours that fall on it, sampled on a grid
// of 4000 hues by 601 saturations (dense enough to reach every pixel).
media::GreyImage WheelMaskPicture(const std::function<int(float hue, float saturation)>& weight);

}  // namespace mattix::matte
