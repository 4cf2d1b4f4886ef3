#pragma once
// The backdrop of a green- or blue-screen frame, as `mattix key auto` finds
// it: the dominant cluster of saturated hues (found by FindBackdropIn,
// internal/BackdropColours.h, from colours the caller has converted).
//
// Hues come from the keying engine's own conversion (stdfx::CHSL), so they
// are the hues the engine looks colours up by. Saturation and lightness are
// those of the same double hexcone model: a backdrop lit unevenly keeps its
// hue and saturation and changes its lightness.
#include <string>

namespace mattix::matte {

// A backdrop covers at least this share of the frame.
inline constexpr double kMinBackdropShare = 0.1;

// Why a frame has none: "less than 10 % of the frame is one saturated green
// or blue hue".
std::string NoBackdropReason();

// The backdrop's colours: the cluster around the most frequent saturated hue.
// Hues are in turns; the range may wrap through red (low > high).
struct BackdropCluster {
  float hue = 0;             // the cluster's median hue
  float hueLow = 0;          // the cluster's pixels lie from hueLow to hueHigh
  float hueHigh = 0;         //   (1st to 99th percentile, counter-clockwise)
  float saturationLow = 0;   // 2nd percentile of the cluster's saturation
  float saturationHigh = 0;  // 98th percentile
  double share = 0;          // the fraction of the frame's pixels in the cluster
};

}  // namespace mattix::matte
