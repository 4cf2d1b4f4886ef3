#pragma once
// The progress line of long renders, on stderr, only when stderr is a
// terminal: "frame 12/100  23.4 fps  0:04 left", redrawn in place at most
// four times a second and ended with a newline by Finish.
#include <chrono>
#include <functional>
#include <string>

namespace mattix::cli {

class ProgressLine {
 public:
  using Clock = std::function<double()>;  // seconds, monotonic
  using Writer = std::function<void(const std::string&)>;

  // total < 0 when the number of frames is not known (a video being read).
  // enabled false makes every call a no-op (stderr is not a terminal).
  ProgressLine(long total, bool enabled, Clock clock = SteadySeconds,
               Writer writer = WriteToStderr);

  void Update(long done);
  // Also tells observer of every update (whether or not the line is drawn).
  void SetObserver(std::function<void(long done)> observer) { m_observer = std::move(observer); }
  void Finish();

  // The line's text for `done` frames after `elapsed` seconds (no control
  // characters): frames done, frames per second, and the time left.
  static std::string Format(long done, long total, double elapsed);
  static bool StderrIsTerminal();
  static double SteadySeconds();
  static void WriteToStderr(const std::string& text);

 private:
  long m_total;
  bool m_enabled;
  Clock m_clock;
  Writer m_writer;
  double m_start;
  double m_lastDraw = -1.0;
  long m_lastDone = 0;
  bool m_drawn = false;
  std::function<void(long)> m_observer;
};

}  // namespace mattix::cli
