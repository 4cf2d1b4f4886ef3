#pragma once
// The progress line of long renders, on stderr, only when stderr is a
// terminal: "frame 12/100  23.4 fps  0:04 left", redrawn in place at most
// four times a second (and for the last frame), each state drawn once. Finish
// ends it with a newline; a line left unfinished (an error) is ended when the
// object goes, so that the error message starts a line of its own.
#include <chrono>
#include <functional>
#include <string>

namespace mattix::media {

class ProgressLine {
 public:
  using Clock = std::function<double()>;  // seconds, monotonic
  using Writer = std::function<void(const std::string&)>;

  // total < 0 when the number of frames is not known (a video being read).
  // enabled false makes every call a no-op (stderr is not a terminal).
  ProgressLine(long total, bool enabled, Clock clock = SteadySeconds,
               Writer writer = WriteToStderr);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

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
  void Draw(long done, double now, const char* end);

  long m_total;
  bool m_enabled;
  Clock m_clock;
  Writer m_writer;
  double m_start;
  double m_lastDraw = -1.0;
  long m_lastDone = 0;
  long m_drawnDone = -1;
  bool m_drawn = false;
  std::function<void(long)> m_observer;
};

}  // namespace mattix::media
