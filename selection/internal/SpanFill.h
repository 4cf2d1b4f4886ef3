#pragma once
#include <cstddef>

// The row kernel of the polygon fill: rounding and clamping of span ends and
// the writing of one span. It knows nothing about edges or polygons.
namespace selection::internal {

// Rounds halves away from zero, exactly as trunc(v + 0.5) for v >= 0 and
// trunc(v - 0.5) otherwise (so 0.49999999999999994 rounds to 1, because the
// sum rounds to 1.0). Stays in double: infinities stay infinite, NaN stays NaN.
double RoundHalfAway(double v);

// Rounds v as above and clamps the result into 0..last (last >= 0), all in
// double precision, so that huge and infinite values never reach an integer
// conversion. Returns false, leaving *out alone, when v is NaN: a NaN end has
// no place in the image.
bool ClampRound(double v, int last, int* out);

// Sets to 255 the bytes xl..xr (inclusive) of one row `width` bytes long, where
// xl and xr are the span ends a and b rounded and clamped one by one. Nothing
// is written when xl > xr or when either end is NaN.
void FillSpan(unsigned char* row, int width, double a, double b);

}  // namespace selection::internal
