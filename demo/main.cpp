// mattix_demo: the support library's 24.8 fixed-point numbers and
// rectangles at work. With numbers on the command line it shows how each one
// converts and rounds; without, a fixed tour of conversions, roundings,
// products and rectangle operations.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "stdfx/Fixedx248.h"
#include "stdfx/Rect.h"
#include "stdfx/Rectx248.h"

namespace {

using stdfx::CFixedx248;
using stdfx::CRectx248;

// The exact decimal value from the sign-and-magnitude members: a fraction in
// 256ths has at most eight decimals (1/256 = 0.00390625).
std::string Text(const CFixedx248& f) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08d", f.TraceFrac() * 390625);
  std::string fraction(digits);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string s = f.TraceSign() == L'-' ? "-" : "";
  s += std::to_string(f.TraceInt());
  if (!fraction.empty()) s += "." + fraction;
  return s;
}

// Raw value (the number times 256) from the integer part and the fraction.
long long Raw(const CFixedx248& f) { return static_cast<long long>(f.Int()) * 256 + f.Frac(); }

std::string Text(const CRectx248& r) {
  return "(" + Text(r.left) + ", " + Text(r.top) + ", " + Text(r.right) + ", " + Text(r.bottom) +
         ")";
}

std::string Text(const RECT& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
         std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

void ShowConversion(double v) {
  const CFixedx248 f(v);
  std::printf("  %-12.9g -> %-12s (raw %lld)\n", v, Text(f).c_str(), Raw(f));
}

void ShowRoundings(const CFixedx248& f) {
  std::printf("  %-7s _Round %3d  _Floor %3d  _Ceil %3d  Int %3d  _ceil %3d  int %3d\n",
              Text(f).c_str(), f._Round(), f._Floor(), f._Ceil(), f.Int(), f._ceil(),
              static_cast<int>(f));
}

void Tour() {
  std::printf("24.8 fixed point: value = raw / 256, resolution %s\n\n",
              Text(CFixedx248(1.0 / 256)).c_str());

  std::printf("From double, rounded half away from zero to the nearest 1/256:\n");
  for (double v : {0.001998, -0.001, 1.0 / 512, -1.0 / 512, 3.14159265, -2.25, 1e10, std::nan("")})
    ShowConversion(v);
  std::printf("  (NaN and values beyond the range give raw -2147483648)\n\n");

  std::printf("Roundings (nearest halves up, toward zero, away from zero, floor, ceiling):\n");
  for (double v : {2.5, -2.5, -2.25, 0.75}) ShowRoundings(CFixedx248(v));
  CFixedx248 x;
  x.Assign1616(-32768);
  std::printf("  16.16 value -32768 becomes %s\n\n", Text(x).c_str());

  std::printf("Arithmetic (products and quotients round to the nearest 1/256):\n");
  const CFixedx248 a(1.5), b(-2.25), one(1);
  std::printf("  %s * %s = %s\n", Text(a).c_str(), Text(b).c_str(), Text(a * b).c_str());
  std::printf("  %s / 3 = %s (raw %lld)\n", Text(one).c_str(), Text(one / 3).c_str(), Raw(one / 3));
  std::printf("  %s / 0 = %s (raw %lld: the error value)\n", Text(one).c_str(),
              Text(one / 0).c_str(), Raw(one / 0));
  std::printf("  %s + %s = %s, compared: %s < %s is %d\n\n", Text(a).c_str(), Text(b).c_str(),
              Text(a + b).c_str(), Text(b).c_str(), Text(a).c_str(), b < a);

  std::printf("Rectangles (half-open: right and bottom lie outside):\n");
  CRectx248 r1(0, 0, 10, 10), r2(5, 5, 20, 20), r3(10, 0, 20, 10), out;
  int hit = out.IntersectRect(&r1, &r2);
  std::printf("  %s meets %s: %d, %s\n", Text(r1).c_str(), Text(r2).c_str(), hit,
              Text(out).c_str());
  hit = out.IntersectRect(&r1, &r3);
  std::printf("  %s meets %s: %d, %s (edges only touch)\n", Text(r1).c_str(), Text(r3).c_str(), hit,
              Text(out).c_str());
  const CRectx248 loose(CFixedx248(-1.5), CFixedx248(-0.5), CFixedx248(1.5), CFixedx248(2.25));
  out.CeilRect(loose);
  std::printf("  CeilRect of %s: %s\n", Text(loose).c_str(), Text(out).c_str());
  stdfx::CRect i1(0, 0, 10, 10), i2(5, -5, 8, 20);
  hit = i1.IntersectRect(i1, i2);
  std::printf("  integer (0, 0, 10, 10) meets %s: %d, %s\n", Text(i2).c_str(), hit,
              Text(i1).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Tour();
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const double v = std::strtod(argv[i], &end);
    if (end == argv[i] || *end != '\0') {
      std::fprintf(stderr, "mattix_demo: not a number: \"%s\"\n", argv[i]);
      return 2;
    }
    ShowConversion(v);
    ShowRoundings(CFixedx248(v));
  }
  return 0;
}
