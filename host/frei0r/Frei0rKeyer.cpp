#include "host/frei0r/Frei0rKeyer.h"

#include "host/frei0r/Report.h"

#include <utility>

namespace mattix::frei0r {

int SettingOf(int index) {
  if (index == kSoftness || index == kSpill) return index - kSoftness;
  if (index >= kDespill && index < kParameterCount) return index - kDespill + 2;
  return -1;
}

CFrei0rKeyer::CFrei0rKeyer(std::unique_ptr<host::CKeyingEffect> effect, unsigned width,
                           unsigned height)
    : m_keyer(std::move(effect), Report), m_width(int(width)), m_height(int(height)) {}

void CFrei0rKeyer::SetParameter(int index, const void* value) {
  if (index == kProject) {
    const char* path = *static_cast<const char* const*>(value);
    m_keyer.SetProjectPath(path != nullptr ? path : "");
  } else if (index == kMatte) {
    m_keyer.SetMatte(*static_cast<const double*>(value) >= 0.5);  // frei0r's rule for bools
  } else if (const int s = SettingOf(index); s >= 0) {
    m_keyer.SetValue(std::size_t(s), *static_cast<const double*>(value));
  }
}

void CFrei0rKeyer::GetParameter(int index, void* value) {
  double* number = static_cast<double*>(value);
  if (index == kProject) {
    std::lock_guard<std::mutex> lock(m_pathMutex);
    m_projectPath = m_keyer.ProjectPath();
    *static_cast<const char**>(value) = m_projectPath.c_str();
  } else if (index == kMatte) {
    *number = m_keyer.Matte() ? 1.0 : 0.0;
  } else if (const int s = SettingOf(index); s >= 0) {
    *number = m_keyer.Value(std::size_t(s));
  }
}

void CFrei0rKeyer::Update(const std::uint32_t* in, std::uint32_t* out) {
  m_keyer.Key(reinterpret_cast<const std::uint8_t*>(in), reinterpret_cast<std::uint8_t*>(out),
              m_width, m_height, std::size_t(m_width) * 4);
}

}  // namespace mattix::frei0r
