#pragma once
// The SDK's geometry records: a rectangle and a point, each a class with a
// virtual destructor (so a table pointer comes first) followed by signed
// coordinates.
#include <cstdint>

namespace Tarn {

namespace internal {
// The SDK spells its 32-bit coordinates `long`, which is 32 bits under the
// LLP64 model it was written for but 64 bits on LP64 Linux. Records that cross
// the boundary keep 32-bit fields, so the `long` instances store
// std::int32_t; other instances store the type they name.
template <class T>
struct Coordinate {
  using type = T;
};
template <>
struct Coordinate<long> {
  using type = std::int32_t;
};
}  // namespace internal

template <class T>
class TRect {
 public:
  using value_type = typename internal::Coordinate<T>::type;

  TRect() = default;
  TRect(value_type l, value_type t, value_type r, value_type b)
      : left(l), top(t), right(r), bottom(b) {}
  TRect(const TRect&) = default;
  TRect& operator=(const TRect&) = default;
  virtual ~TRect() = default;

  value_type Width() const { return right - left; }
  value_type Height() const { return bottom - top; }

  friend bool operator==(const TRect& a, const TRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }

  value_type left = 0;
  value_type top = 0;
  value_type right = 0;
  value_type bottom = 0;
};

template <class T>
class TPoint {
 public:
  using value_type = typename internal::Coordinate<T>::type;

  TPoint() = default;
  TPoint(value_type px, value_type py) : x(px), y(py) {}
  TPoint(const TPoint&) = default;
  TPoint& operator=(const TPoint&) = default;
  virtual ~TPoint() = default;

  friend bool operator==(const TPoint& a, const TPoint& b) { return a.x == b.x && a.y == b.y; }

  value_type x = 0;
  value_type y = 0;
};

// Table pointer, then the four (two) 32-bit coordinates, no padding between.
static_assert(sizeof(TRect<long>) == sizeof(void*) + 16);
static_assert(sizeof(TPoint<long>) == sizeof(void*) + 8);

}  // namespace Tarn
