#include "stdfx/Filter2d.h"

namespace stdfx2d {

static_assert(sizeof(CFilter) == sizeof(void*) + 8 + sizeof(double) + sizeof(CFilter::Function),
              "a virtual table, the method (padded), the width and the function");

CFilter::CFilter(const CFilter& other)
    : m_method(other.m_method), m_width(other.m_width), m_function(other.m_function) {}

CFilter& CFilter::operator=(const CFilter& other) {
  m_method = other.m_method;
  m_width = other.m_width;
  m_function = other.m_function;
  return *this;
}

int CFilter::GetFilterMethod() const { return m_method; }
double CFilter::GetFilterWidth() const { return m_width; }
CFilter::Function CFilter::GetFilterFunction() const { return m_function; }
double CFilter::X(double x) const { return m_function ? m_function(x) : 0.0; }

}  // namespace stdfx2d
