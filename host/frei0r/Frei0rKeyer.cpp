#include "host/frei0r/Frei0rKeyer.h"

#include "host/frei0r/Report.h"
#include "host/matte/MatteFinish.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <utility>

namespace mattix::frei0r {

namespace {

// A frei0r double parameter: clamped to 0..1; NaN leaves it unset.
std::optional<double> UnitValue(const void* value) {
  const double v = *static_cast<const double*>(value);
  if (std::isnan(v)) return std::nullopt;
  return std::clamp(v, 0.0, 1.0);
}

// What becomes of frames that cannot be keyed (MarkRow), for messages.
constexpr const char* kMarked = "frames are marked with magenta stripes, not keyed";

}  // namespace

void MatteRow(std::uint8_t* bgra, int width) {
  for (int x = 0; x < width; ++x, bgra += 4) {
    bgra[0] = bgra[1] = bgra[2] = bgra[3];
    bgra[3] = 255;
  }
}

void MarkRow(std::uint8_t* bgra, int width, int y) {
  for (int x = 0; x < width; ++x, bgra += 4)
    if ((x + y) / kMarkStripe % 2 == 0) bgra[0] = 255, bgra[1] = 0, bgra[2] = 255, bgra[3] = 255;
}

CFrei0rKeyer::CFrei0rKeyer(std::unique_ptr<host::CKeyingEffect> effect, unsigned width,
                           unsigned height)
    : m_effect(std::move(effect)), m_width(int(width)), m_height(int(height)) {}

void CFrei0rKeyer::SetParameter(int index, const void* value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  switch (index) {
    case kProject: {
      const char* path = *static_cast<const char* const*>(value);
      m_projectPath = path != nullptr ? path : "";
      break;
    }
    case kSoftness:
      m_softness = UnitValue(value);
      break;
    case kSpill:
      m_spill = UnitValue(value);
      break;
    case kMatte:
      m_matte = *static_cast<const double*>(value) >= 0.5;  // frei0r's rule for bools
      break;
    default:
      break;
  }
}

void CFrei0rKeyer::GetParameter(int index, void* value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  RefreshProject();
  double* number = static_cast<double*>(value);
  switch (index) {
    case kProject:
      *static_cast<const char**>(value) = m_projectPath.c_str();
      break;
    case kSoftness:
      *number = m_softness.value_or(m_project ? m_project->softness / 100.0 : 0.0);
      break;
    case kSpill:
      *number = m_spill.value_or(m_project ? m_project->spillSuppression / 100.0 : 0.0);
      break;
    case kMatte:
      *number = m_matte ? 1.0 : 0.0;
      break;
    default:
      break;
  }
}

void CFrei0rKeyer::RefreshProject() {
  std::optional<FileStamp> stamp;
  std::error_code error;
  if (const auto time = std::filesystem::last_write_time(m_projectPath, error); !error) {
    const std::uintmax_t size = std::filesystem::file_size(m_projectPath, error);
    if (!error) stamp = FileStamp{time, size};
  }
  if (m_readPath == m_projectPath && m_readStamp == stamp) return;
  m_readPath = m_projectPath;
  m_readStamp = stamp;
  if (m_projectPath.empty()) {
    m_project.reset();
    Report(std::string("no project file set: ") + kMarked);
    return;
  }
  try {
    m_project = project::ReadProject(m_projectPath);
    m_projectFrom = m_projectPath;
    if (m_readFailed) Report(m_projectPath + ": read again: keying with it");
    m_readFailed = false;
  } catch (const std::exception& e) {  // host::HostError names the file and the fault
    m_readFailed = true;
    if (m_project)
      Report(std::string(e.what()) + ": keeping the last good key" +
             (m_projectFrom == m_projectPath ? "" : ", read from " + m_projectFrom));
    else
      Report(std::string(e.what()) + ": " + kMarked + ", until it can be read");
  }
}

bool CFrei0rKeyer::Key(const std::uint32_t* in, std::uint32_t* out) {
  RefreshProject();
  if (!m_project) return false;  // said by RefreshProject
  project::ProjectSettings settings = *m_project;
  if (m_softness) settings.softness = *m_softness * 100.0;
  if (m_spill) settings.spillSuppression = *m_spill * 100.0;
  if (m_applied != settings) {
    m_applied.reset();
    m_effect->Configure(settings);
    m_applied = settings;
  }
  const std::size_t stride = std::size_t(m_width) * 4;
  const std::uint8_t* source = reinterpret_cast<const std::uint8_t*>(in);
  if (!settings.finishing.IsOff() && static_cast<const void*>(in) == static_cast<void*>(out)) {
    // Keep shapes restore the input, which keying in place overwrites.
    m_source.assign(source, source + stride * std::size_t(m_height));
    source = m_source.data();
  }
  m_effect->Key(source, reinterpret_cast<std::uint8_t*>(out), m_width, m_height, stride);
  matte::FinishMatte(reinterpret_cast<std::uint8_t*>(out), source, m_width, m_height, stride,
                     settings.finishing);
  if (m_matte) {
    std::uint8_t* row = reinterpret_cast<std::uint8_t*>(out);
    for (int y = 0; y < m_height; ++y, row += stride) MatteRow(row, m_width);
  }
  return true;
}

void CFrei0rKeyer::Update(const std::uint32_t* in, std::uint32_t* out) {
  std::lock_guard<std::mutex> lock(m_mutex);
  bool keyed = false;
  try {
    keyed = Key(in, out);
  } catch (const std::exception& e) {  // HostError names the module; none may reach the host
    ReportOnce(std::string(e.what()) + ": " + kMarked);
  }
  if (keyed) return;
  const std::size_t size = std::size_t(m_width) * std::size_t(m_height) * 4;
  if (out != in) std::memcpy(out, in, size);
  std::uint8_t* row = reinterpret_cast<std::uint8_t*>(out);
  for (int y = 0; y < m_height; ++y, row += std::size_t(m_width) * 4) MarkRow(row, m_width, y);
}

}  // namespace mattix::frei0r
