// The desktop surface: a process-wide 32-bit BGRA picture, top-down.
#include "win/WinDesktop.h"

#include "internal/Handles.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

using internal::kMaxSide;

struct Desktop {
  std::mutex lock;
  int width = 1024;
  int height = 768;
  std::vector<DWORD> pixels;  // allocated on first use
  DWORD writes = 0;

  bool Ensure() {
    if (pixels.empty()) {
      try {
        pixels.assign(std::size_t(width) * std::size_t(height), 0);
      } catch (...) {
        return false;
      }
    }
    return true;
  }
};

Desktop& TheDesktop() {
  static Desktop desktop;
  return desktop;
}

}  // namespace

extern "C" BOOL WinDesktopResize(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return FALSE;
  Desktop& d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  try {
    std::vector<DWORD> fresh(std::size_t(width) * std::size_t(height), 0);
    d.pixels.swap(fresh);
  } catch (...) {
    return FALSE;
  }
  d.width = width;
  d.height = height;
  return TRUE;
}

extern "C" void WinDesktopGetSize(int* width, int* height) {
  Desktop& d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  if (width) *width = d.width;
  if (height) *height = d.height;
}

extern "C" void WinDesktopClear(DWORD bgra) {
  Desktop& d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  if (!d.Ensure()) return;
  std::fill(d.pixels.begin(), d.pixels.end(), bgra);
}

extern "C" BOOL WinDesktopWrite(int x, int y, int w, int h, const void* pixels, long stride) {
  if (!pixels || w <= 0 || h <= 0) return FALSE;
  Desktop& d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  if (!d.Ensure()) return FALSE;
  // Clip in 64 bits so that no sum of the caller's numbers can overflow.
  const long long x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
  const long long x1 = std::min<long long>(d.width, (long long)x + w);
  const long long y1 = std::min<long long>(d.height, (long long)y + h);
  if (x0 >= x1 || y0 >= y1) return FALSE;
  const auto* src = static_cast<const unsigned char*>(pixels);
  for (long long row = y0; row < y1; ++row) {
    const unsigned char* line = src + (row - y) * stride + (x0 - x) * 4;
    std::memcpy(&d.pixels[std::size_t(row) * d.width + std::size_t(x0)], line,
                std::size_t(x1 - x0) * 4);
  }
  ++d.writes;
  return TRUE;
}

extern "C" BOOL WinDesktopRead(int x, int y, int w, int h, void* pixels, long stride) {
  if (!pixels || w <= 0 || h <= 0) return FALSE;
  Desktop& d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  if (!d.Ensure()) return FALSE;
  auto* dst = static_cast<unsigned char*>(pixels);
  for (int row = 0; row < h; ++row) {
    unsigned char* line = dst + row * stride;
    const long long sy = (long long)y + row;
    for (int col = 0; col < w; ++col) {
      const long long sx = (long long)x + col;
      DWORD v = 0;
      if (sx >= 0 && sy >= 0 && sx < d.width && sy < d.height) {
        v = d.pixels[std::size_t(sy) * d.width + std::size_t(sx)];
      }
      std::memcpy(line + std::size_t(col) * 4, &v, 4);
    }
  }
  return TRUE;
}

extern "C" DWORD WinDesktopWriteCount(void) {
  Desktop& d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return d.writes;
}
