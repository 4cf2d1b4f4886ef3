#pragma once
// Conversions between 8-bit RGB and hue, lightness, saturation (the double
// hexcone model of Foley and van Dam).
//
// Ranges: hue in turns, 0 <= h < 1 (red 0, yellow 1/6, green 1/3, cyan 1/2,
// blue 2/3, magenta 5/6), and -1 for colours without hue (red = green =
// blue); lightness (max + min) / 2 and saturation in 0..1. Arithmetic is in
// double precision, results are rounded once to float.
#include "stdfx/StdfxApi.h"

namespace stdfx {

class STDFX_API CHSL {
 public:
  // Channels outside 0..255 are clamped to it first.
  static void RGBtoHLS(float& h, float& l, float& s, int r, int g, int b);

  // Channels 0..255, each rounded to nearest (halves up): HLStoRGB(h, 0.5, 0)
  // gives 128, 128, 128. A negative hue (such as the -1 of RGBtoHLS) or one
  // that is not finite means "no hue" and gives the grey of lightness l
  // whatever s says; a hue of 1 or more is taken modulo 1. Lightness and
  // saturation are clamped to 0..1, NaN counting as 0.
  static void HLStoRGB(int& r, int& g, int& b, float h, float l, float s);
};

}  // namespace stdfx
