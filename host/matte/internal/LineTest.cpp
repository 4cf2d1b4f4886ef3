#include "host/matte/internal/LineTest.h"

#include "host/matte/internal/FinishKernels.h"

#include <algorithm>
#include <cmath>

namespace mattix::matte::internal {

float SquaredNorm(const float* v) {
  float n2 = 0;
  for (int k = 0; k < 3; ++k) n2 += v[k] * v[k];
  return n2;
}

float Share(const float* cb, const float* fb, float n2) {
  float dot = 0;
  for (int k = 0; k < 3; ++k) dot += cb[k] * fb[k];
  return dot / std::max(n2, 1e-6f);
}

float OffLine(const float* cb, const float* fb, float a) {
  float off = 0;
  for (int k = 0; k < 3; ++k) off += (cb[k] - a * fb[k]) * (cb[k] - a * fb[k]);
  return std::sqrt(off);
}

float LineTest::ShareOf(const float* f) const {
  const float fb[3] = {f[0] - b[0], f[1] - b[1], f[2] - b[2]};
  return Share(cb, fb, SquaredNorm(fb));
}

// The sums of SquaredNorm, Share and OffLine written out (0 + x is x), so
// that the loop vectorises with the same values; `&` rather than `&&`
// keeps it free of branches.
MATTIX_PLANE_LOOP
void PassingNormsRow(const float* c0, const float* c1, const float* c2, int count,
                     const LineTest& test, float* out) {
  const float b0 = test.b[0], b1 = test.b[1], b2 = test.b[2];
  const float cb0 = test.cb[0], cb1 = test.cb[1], cb2 = test.cb[2];
  const float most = test.most, line = test.line;
  const float least = test.minContrast * test.minContrast;
  for (int k = 0; k < count; ++k) {
    const float fb0 = c0[k] - b0, fb1 = c1[k] - b1, fb2 = c2[k] - b2;
    const float n2 = fb0 * fb0 + fb1 * fb1 + fb2 * fb2;
    const float a = (cb0 * fb0 + cb1 * fb1 + cb2 * fb2) / std::max(n2, 1e-6f);
    const float o0 = cb0 - a * fb0, o1 = cb1 - a * fb1, o2 = cb2 - a * fb2;
    const float off = std::sqrt(o0 * o0 + o1 * o1 + o2 * o2);
    const bool pass = (n2 >= least) & (a > 0.0f) & (a <= most) & (off <= line);
    out[k] = pass ? n2 : -1.0f;
  }
}

}  // namespace mattix::matte::internal
