#pragma once
// The two-colour model's test of a subject colour F for a pixel of colour
// C before the screen's colour B (`key auto`'s unmixing): C's share a of
// F - B (the projection of C - B on it) and C's distance from the line
// from B through F.
namespace mattix::matte::internal {

// cb = C - B, fb = F - B, n2 = |F - B|^2; sums in channel order from 0.
float SquaredNorm(const float* v);
float Share(const float* cb, const float* fb, float n2);   // (cb . fb) / max(n2, 1e-6)
float OffLine(const float* cb, const float* fb, float a);  // |cb - a fb|

// A pixel's line and the bounds a candidate F must meet: at least
// `minContrast` levels from B, a above 0 and at most `most`, C at most
// `line` levels off the line.
struct LineTest {
  float b[3];   // B
  float cb[3];  // C - B
  float most;
  float line;
  float minContrast;
  float ShareOf(const float* f) const;  // a for F
};

// For `count` candidates F, given as planes of B, G and R: |F - B|^2 where
// F passes `test`, else -1. The values SquaredNorm, Share and OffLine give,
// several candidates at once.
void PassingNormsRow(const float* c0, const float* c1, const float* c2, int count,
                     const LineTest& test, float* out);

}  // namespace mattix::matte::internal
