#include "host/media/Progress.h"

#include <unistd.h>
#include <cmath>
#include <cstdio>

namespace mattix::media {

namespace {

// Redraws at most this often: a terminal redrawn every frame slows the render.
constexpr double kRedrawSeconds = 0.25;

std::string Duration(double seconds) {
  const long s = long(std::ceil(seconds));
  char buffer[32];
  if (s >= 3600)
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", s / 60, s % 60);
  return buffer;
}

}  // namespace

ProgressLine::ProgressLine(long total, bool enabled, Clock clock, Writer writer)
    : m_total(total),
      m_enabled(enabled),
      m_clock(std::move(clock)),
      m_writer(std::move(writer)),
      m_start(enabled ? m_clock() : 0.0) {}

std::string ProgressLine::Format(long done, long total, double elapsed) {
  char buffer[128];
  std::string text;
  if (total >= 0)
    std::snprintf(buffer, sizeof buffer, "frame %ld/%ld", done, total);
  else
    std::snprintf(buffer, sizeof buffer, "frame %ld", done);
  text = buffer;
  if (done <= 0 || elapsed <= 0.0) return text + "  -- fps";
  const double fps = double(done) / elapsed;
  std::snprintf(buffer, sizeof buffer, "  %.1f fps", fps);
  text += buffer;
  if (total >= 0 && done < total) text += "  " + Duration(double(total - done) / fps) + " left";
  return text;
}

void ProgressLine::Update(long done) {
  if (m_observer) m_observer(done);
  if (!m_enabled) return;
  m_lastDone = done;
  const double now = m_clock();
  if (m_drawn && now - m_lastDraw < kRedrawSeconds && done != m_total) return;
  Draw(done, now, "");
}

void ProgressLine::Finish() {
  if (!m_enabled) return;
  // The last state drawn already stands: only the line is ended.
  if (m_drawn && m_drawnDone == m_lastDone)
    m_writer("\n");
  else
    Draw(m_lastDone, m_clock(), "\n");
  m_enabled = false;
}

ProgressLine::~ProgressLine() {
  // Ended early (an error): what is printed next starts on its own line.
  if (m_enabled && m_drawn) m_writer("\n");
}

void ProgressLine::Draw(long done, double now, const char* end) {
  m_lastDraw = now;
  m_drawn = true;
  m_drawnDone = done;
  // Carriage return, the line, then erase whatever a longer line left.
  m_writer("\r" + Format(done, m_total, now - m_start) + "\x1b[K" + end);
}

bool ProgressLine::StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

double ProgressLine::SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ProgressLine::WriteToStderr(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace mattix::media
