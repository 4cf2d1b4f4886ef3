#include "host/frei0r/Frei0rKeyer.h"

#include "host/frei0r/Report.h"
#include "host/matte/MatteFinish.h"

#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <utility>

namespace mattix::frei0r {

int SettingOf(int index) {
  if (index == kSoftness || index == kSpill) return index - kSoftness;
  if (index >= kDespill && index < kParameterCount) return index - kDespill + 2;
  return -1;
}

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
    case kMatte:
      m_matte = *static_cast<const double*>(value) >= 0.5;  // frei0r's rule for bools
      break;
    default:
      if (const int s = SettingOf(index); s >= 0)
        m_values[std::size_t(s)] = project::PluginValue(*static_cast<const double*>(value));
      break;
  }
}

void CFrei0rKeyer::GetParameter(int index, void* value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  RefreshProject();
  double* number = static_cast<double*>(value);
  if (index == kProject) {
    *static_cast<const char**>(value) = m_projectPath.c_str();
  } else if (index == kMatte) {
    *number = m_matte ? 1.0 : 0.0;
  } else if (const int s = SettingOf(index); s >= 0) {
    const project::PluginSetting& setting = project::kPluginSettings[std::size_t(s)];
    static const project::ProjectSettings kDefaults;
    *number = m_values[std::size_t(s)].value_or(
        project::PluginValueOf(m_project ? *m_project : kDefaults, setting));
  }
}

std::optional<CFrei0rKeyer::FileStamp> CFrei0rKeyer::StampOf(const std::string& path) {
  struct stat s {};
  if (path.empty() || ::stat(path.c_str(), &s) != 0) return std::nullopt;
  constexpr std::int64_t kNano = 1000000000;
  return FileStamp{std::uint64_t(s.st_dev), std::uint64_t(s.st_ino), std::uint64_t(s.st_size),
                   s.st_mtim.tv_sec * kNano + s.st_mtim.tv_nsec,
                   s.st_ctim.tv_sec * kNano + s.st_ctim.tv_nsec};
}

void CFrei0rKeyer::RefreshProject() {
  const std::optional<FileStamp> stamp = StampOf(m_projectPath);
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
  if (!m_effect) return false;  // said when the instance was made
  RefreshProject();
  if (!m_project) return false;  // said by RefreshProject
  const project::ProjectSettings settings = project::ApplyPluginValues(*m_project, m_values);
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
