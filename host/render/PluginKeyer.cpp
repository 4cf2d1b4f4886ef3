#include "host/render/PluginKeyer.h"

#include "host/matte/MatteFinish.h"

#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <utility>

namespace mattix::render {

void MatteRow(std::uint8_t* bgra, int width) {
  for (int x = 0; x < width; ++x, bgra += 4) {
    bgra[0] = bgra[1] = bgra[2] = bgra[3];
    bgra[3] = 255;
  }
}

void MarkRow(std::uint8_t* pixels, int width, int y) {
  for (int x = 0; x < width; ++x, pixels += 4)
    if ((x + y) / kMarkStripe % 2 == 0) {
      pixels[0] = 255;
      pixels[1] = 0;
      pixels[2] = 255;
      pixels[3] = 255;
    }
}

CPluginKeyer::CPluginKeyer(std::unique_ptr<host::CKeyingEffect> effect, Reporter report)
    : m_effect(std::move(effect)), m_report(std::move(report)) {}

void CPluginKeyer::SetProjectPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_projectPath = path;
}

std::string CPluginKeyer::ProjectPath() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_projectPath;
}

void CPluginKeyer::SetValue(std::size_t setting, double value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (setting < m_values.size()) m_values[setting] = project::PluginValue(value);
}

double CPluginKeyer::Value(std::size_t setting) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (setting >= m_values.size()) return 0.0;
  RefreshProject();
  static const project::ProjectSettings kDefaults;
  return m_values[setting].value_or(project::PluginValueOf(m_project ? *m_project : kDefaults,
                                                           project::kPluginSettings[setting]));
}

void CPluginKeyer::SetMatte(bool matte) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_matte = matte;
}

bool CPluginKeyer::Matte() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_matte;
}

std::optional<CPluginKeyer::FileStamp> CPluginKeyer::StampOf(const std::string& path) {
  struct stat s {};
  if (path.empty() || ::stat(path.c_str(), &s) != 0) return std::nullopt;
  constexpr std::int64_t kNano = 1000000000;
  return FileStamp{std::uint64_t(s.st_dev), std::uint64_t(s.st_ino), std::uint64_t(s.st_size),
                   s.st_mtim.tv_sec * kNano + s.st_mtim.tv_nsec,
                   s.st_ctim.tv_sec * kNano + s.st_ctim.tv_nsec};
}

void CPluginKeyer::RefreshProject() {
  const std::optional<FileStamp> stamp = StampOf(m_projectPath);
  if (m_readPath == m_projectPath && m_readStamp == stamp) return;
  m_readPath = m_projectPath;
  m_readStamp = stamp;
  if (m_projectPath.empty()) {
    m_project.reset();
    m_report(std::string("no project file set: ") + kMarked);
    return;
  }
  try {
    m_project = project::ReadProject(m_projectPath);
    m_projectFrom = m_projectPath;
    if (m_readFailed) m_report(m_projectPath + ": read again: keying with it");
    m_readFailed = false;
  } catch (const std::exception& e) {  // host::HostError names the file and the fault
    m_readFailed = true;
    if (m_project)
      m_report(std::string(e.what()) + ": keeping the last good key" +
               (m_projectFrom == m_projectPath ? "" : ", read from " + m_projectFrom));
    else
      m_report(std::string(e.what()) + ": " + kMarked + ", until it can be read");
  }
}

bool CPluginKeyer::KeyFrame(const std::uint8_t* in, std::uint8_t* out, int width, int height,
                            std::size_t stride) {
  if (!m_effect) return false;  // said when the keyer was made
  RefreshProject();
  if (!m_project) return false;  // said by RefreshProject
  const project::ProjectSettings settings = project::ApplyPluginValues(*m_project, m_values);
  if (m_applied != settings) {
    m_applied.reset();
    m_effect->Configure(settings);
    m_applied = settings;
  }
  const std::uint8_t* source = in;
  if (!settings.finishing.IsOff() && in == out) {
    // Keep shapes restore the input, which keying in place overwrites.
    m_source.assign(in, in + stride * std::size_t(height));
    source = m_source.data();
  }
  m_effect->Key(source, out, width, height, stride);
  matte::FinishMatte(out, source, width, height, stride, settings.finishing);
  if (m_matte)
    for (int y = 0; y < height; ++y) MatteRow(out + stride * std::size_t(y), width);
  return true;
}

bool CPluginKeyer::Key(const std::uint8_t* in, std::uint8_t* out, int width, int height,
                       std::size_t stride) {
  std::lock_guard<std::mutex> lock(m_mutex);
  bool keyed = false;
  try {
    keyed = KeyFrame(in, out, width, height, stride);
  } catch (const std::exception& e) {  // HostError names the module; none may reach the host
    try {  // saying so may run out of memory too; the frame is marked anyway
      if (e.what() != m_keyFailure) m_report(std::string(e.what()) + ": " + kMarked);
      m_keyFailure = e.what();
    } catch (const std::exception&) {
    }
  }
  if (keyed) return true;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = out + stride * std::size_t(y);
    if (out != in) std::memcpy(row, in + stride * std::size_t(y), std::size_t(width) * 4);
    MarkRow(row, width, y);
  }
  return false;
}

}  // namespace mattix::render
