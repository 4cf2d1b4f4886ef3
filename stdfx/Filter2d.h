#pragma once
// stdfx2d::CFilter: a one-dimensional reconstruction filter for resampling,
// given by its method, its half-width (the filter is 0 for |x| >= width,
// except the box, see below) and its function of the distance x in pixels.
//
// Methods (the library's catalogue, each with its textbook definition):
//   kBox        width 0.5  1 for -0.5 <= x < 0.5 (half-open, so that the
//                          boxes of neighbouring samples tile the line)
//   kTriangle   width 1    1 - |x|
//   kBell       width 1.5  quadratic B-spline
//   kBSpline    width 2    cubic B-spline
//   kMitchell   width 2    Mitchell-Netravali cubic, B = C = 1/3
//   kCatmullRom width 2    Mitchell-Netravali cubic, B = 0, C = 1/2
//   kLanczos3   width 3    sinc(x) sinc(x / 3)
// An unknown method gives a filter without function: width 0, X always 0.
#include "stdfx/StdfxApi.h"

namespace stdfx2d {

class STDFX_API CFilter {
 public:
  using Function = double (*)(double);
  enum Method { kBox = 0, kTriangle, kBell, kBSpline, kMitchell, kCatmullRom, kLanczos3 };

  explicit CFilter(int method = kTriangle);
  // A filter of the caller's own: any method number, width and function.
  CFilter(int method, double width, Function function);
  CFilter(const CFilter& other);
  CFilter& operator=(const CFilter& other);
  virtual ~CFilter();

  int GetFilterMethod() const;
  double GetFilterWidth() const;
  Function GetFilterFunction() const;
  // The filter's value at distance x (0 without a function).
  double X(double x) const;

 private:
  int m_method;
  double m_width;
  Function m_function;
};

}  // namespace stdfx2d
