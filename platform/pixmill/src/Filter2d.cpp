// The catalogue of reconstruction filters (definitions in stdfx/Filter2d.h):
// the B-splines and the Mitchell-Netravali family as in Mitchell and
// Netravali, "Reconstruction Filters in Computer Graphics" (1988); Lanczos
// windowed sinc with three lobes.
#include <cmath>
#include <numbers>

#include "stdfx/Filter2d.h"

namespace stdfx2d {
namespace {

double Box(double x) { return x >= -0.5 && x < 0.5 ? 1.0 : 0.0; }

double Triangle(double x) {
  x = std::fabs(x);
  return x < 1.0 ? 1.0 - x : 0.0;
}

double Bell(double x) {
  x = std::fabs(x);
  if (x < 0.5) return 0.75 - x * x;
  if (x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
  return 0.0;
}

double CubicBSpline(double x) {
  x = std::fabs(x);
  if (x < 1.0) return (3.0 * x * x * x - 6.0 * x * x + 4.0) / 6.0;
  if (x < 2.0) return (2.0 - x) * (2.0 - x) * (2.0 - x) / 6.0;
  return 0.0;
}

// The Mitchell-Netravali cubic with parameters b and c.
double MitchellNetravali(double x, double b, double c) {
  x = std::fabs(x);
  if (x < 1.0)
    return ((12.0 - 9.0 * b - 6.0 * c) * x * x * x + (-18.0 + 12.0 * b + 6.0 * c) * x * x +
            (6.0 - 2.0 * b)) /
           6.0;
  if (x < 2.0)
    return ((-b - 6.0 * c) * x * x * x + (6.0 * b + 30.0 * c) * x * x + (-12.0 * b - 48.0 * c) * x +
            (8.0 * b + 24.0 * c)) /
           6.0;
  return 0.0;
}

double Mitchell(double x) { return MitchellNetravali(x, 1.0 / 3.0, 1.0 / 3.0); }
double CatmullRom(double x) { return MitchellNetravali(x, 0.0, 0.5); }

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

double Lanczos3(double x) { return std::fabs(x) < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0; }

}  // namespace

CFilter::CFilter(int method) : m_method(method), m_width(0.0), m_function(nullptr) {
  switch (method) {
    case kBox:
      m_width = 0.5;
      m_function = Box;
      break;
    case kTriangle:
      m_width = 1.0;
      m_function = Triangle;
      break;
    case kBell:
      m_width = 1.5;
      m_function = Bell;
      break;
    case kBSpline:
      m_width = 2.0;
      m_function = CubicBSpline;
      break;
    case kMitchell:
      m_width = 2.0;
      m_function = Mitchell;
      break;
    case kCatmullRom:
      m_width = 2.0;
      m_function = CatmullRom;
      break;
    case kLanczos3:
      m_width = 3.0;
      m_function = Lanczos3;
      break;
    default:
      break;
  }
}

CFilter::CFilter(int method, double width, Function function)
    : m_method(method), m_width(width), m_function(function) {}

CFilter::~CFilter() = default;

}  // namespace stdfx2d
