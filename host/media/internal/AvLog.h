#pragma once
// libav's error lines for messages. libavformat and libavcodec log through
// one global callback, from any thread (a frame-threaded decoder logs from
// its own threads, under contexts of its own), so the lines cannot be told
// apart by their owner: every line at the error level or worse goes to one
// list, and a reader takes those logged since it started, as an ffmpeg
// process's standard error would hold them. Lower levels are dropped.
#include <cstddef>
#include <string>

namespace mattix::media::internal {

// Installs the callback (once; later calls do nothing).
void InstallAvLog();

// The count of lines logged so far: where a reader's lines start.
std::size_t AvLogMark();

// The lines logged since `mark`, the last 20 of them, one a line; empty
// when none were.
std::string AvLogSince(std::size_t mark);

// `message`, then after ":\n" the lines logged since `mark` when there
// are any: how every libav failure is told.
std::string WithAvLogSince(const std::string& message, std::size_t mark);

// libav's message for an error code ("Invalid data found when processing
// input").
std::string AvErrorText(int code);

}  // namespace mattix::media::internal
