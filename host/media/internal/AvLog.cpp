#include "host/media/internal/AvLog.h"

#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace mattix::media::internal {

namespace {

constexpr std::size_t kKeptLines = 20;

struct LogList {
  std::mutex mutex;
  std::deque<std::string> lines;  // the last kKeptLines
  std::size_t count = 0;          // every line logged, kept or not
};

LogList& List() {
  static LogList list;
  return list;
}

void OnAvLog(void* context, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  int prefix = 1;
  av_log_format_line2(context, level, format, args, line, sizeof line, &prefix);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) return;
  LogList& list = List();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.lines.push_back(std::move(text));
  if (list.lines.size() > kKeptLines) list.lines.pop_front();
  ++list.count;
}

}  // namespace

void InstallAvLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(OnAvLog); });
}

std::size_t AvLogMark() {
  LogList& list = List();
  std::lock_guard<std::mutex> lock(list.mutex);
  return list.count;
}

std::string AvLogSince(std::size_t mark) {
  LogList& list = List();
  std::lock_guard<std::mutex> lock(list.mutex);
  const std::size_t since = list.count - mark;
  std::string text;
  const std::size_t kept = list.lines.size();
  for (std::size_t i = since < kept ? kept - since : 0; i < kept; ++i)
    text += (text.empty() ? "" : "\n") + list.lines[i];
  return text;
}

std::string WithAvLogSince(const std::string& message, std::size_t mark) {
  const std::string said = AvLogSince(mark);
  return said.empty() ? message : message + ":\n" + said;
}

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace mattix::media::internal
