#include "resources/Cursors.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "win/WinUser.h"

namespace mattix::resources {

namespace {

constexpr int kSide = 32;
constexpr int kMargin = 1;  // room for the outline around a picture of up to 30 x 30
constexpr int kBadgeAt = 22;

struct Picture {
  int hotX = 0, hotY = 0;
  std::vector<std::string> rows;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw std::runtime_error(where + ": " + what);
}

Picture ReadPicture(const std::string& path) {
  std::ifstream in(path);
  if (!in) Fail(path, "cannot be read");
  Picture p;
  std::string line;
  bool hotspot = false;
  for (int n = 1; std::getline(in, line); ++n) {
    const std::string where = path + ":" + std::to_string(n);
    if (!hotspot) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream words(line);
      std::string key;
      if (!(words >> key >> p.hotX >> p.hotY) || key != "hotspot")
        Fail(where, "expected \"hotspot X Y\"");
      hotspot = true;
      continue;
    }
    if (line.find_first_not_of("#.") != std::string::npos) Fail(where, "only '#' and '.' allowed");
    if (!p.rows.empty() && line.size() != p.rows[0].size()) Fail(where, "rows differ in length");
    p.rows.push_back(line);
  }
  if (p.rows.empty() || p.rows[0].empty()) Fail(path, "has no picture");
  if (p.rows.size() > kSide - 2 * kMargin || p.rows[0].size() > kSide - 2 * kMargin)
    Fail(path, "is larger than 30 x 30");
  if (p.hotX < 0 || p.hotY < 0 || p.hotX >= int(p.rows[0].size()) || p.hotY >= int(p.rows.size()))
    Fail(path, "has its hot spot outside the picture");
  return p;
}

// 0 transparent, 1 ink, 2 outline; the picture's outline covers what lies
// under it, so a badge stands apart from the picture.
void Stamp(std::vector<int>& cells, const Picture& p, int left, int top) {
  const int h = int(p.rows.size()), w = int(p.rows[0].size());
  auto ink = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < w && y < h && p.rows[std::size_t(y)][std::size_t(x)] == '#';
  };
  for (int y = -1; y <= h; ++y) {
    for (int x = -1; x <= w; ++x) {
      const int cx = left + x, cy = top + y;
      if (cx < 0 || cy < 0 || cx >= kSide || cy >= kSide) continue;
      bool touching = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) touching = touching || ink(x + dx, y + dy);
      if (ink(x, y)) {
        cells[std::size_t(cy * kSide + cx)] = 1;
      } else if (touching) {
        cells[std::size_t(cy * kSide + cx)] = 2;
      }
    }
  }
}

std::vector<std::uint8_t> Encode(const Picture& picture, const Picture* badge) {
  std::vector<int> cells(kSide * kSide, 0);
  Stamp(cells, picture, kMargin, kMargin);
  if (badge) Stamp(cells, *badge, kBadgeAt, kBadgeAt);

  CURSOR_RESOURCE_HEADER header{};
  header.xHotSpot = WORD(kMargin + picture.hotX);
  header.yHotSpot = WORD(kMargin + picture.hotY);
  header.bitmap.biSize = sizeof(BITMAPINFOHEADER);
  header.bitmap.biWidth = kSide;
  header.bitmap.biHeight = 2 * kSide;  // colour image and mask together
  header.bitmap.biPlanes = 1;
  header.bitmap.biBitCount = 32;
  header.bitmap.biCompression = BI_RGB;
  std::vector<std::uint8_t> bytes(sizeof header + kSide * kSide * 4);
  std::memcpy(bytes.data(), &header, sizeof header);
  std::uint8_t* out = bytes.data() + sizeof header;
  for (int row = 0; row < kSide; ++row) {  // bottom-up
    for (int x = 0; x < kSide; ++x, out += 4) {
      const int cell = cells[std::size_t((kSide - 1 - row) * kSide + x)];
      const std::uint8_t grey = cell == 2 ? 255 : 0;
      out[0] = out[1] = out[2] = grey;
      out[3] = cell == 0 ? 0 : 255;
    }
  }
  return bytes;
}

}  // namespace

std::vector<CursorResource> ReadCursors(const std::string& folder) {
  const std::string listPath = folder + "/cursors.txt";
  std::ifstream list(listPath);
  if (!list) Fail(listPath, "cannot be read");
  std::vector<CursorResource> cursors;
  std::string line;
  for (int n = 1; std::getline(list, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    unsigned id;
    std::string picture, badge;
    if (!(words >> id >> picture >> badge))
      Fail(listPath + ":" + std::to_string(n), "expected \"ID PICTURE BADGE\"");
    const Picture base = ReadPicture(folder + "/" + picture);
    if (badge == "-") {
      cursors.push_back({id, Encode(base, nullptr)});
    } else {
      const Picture mark = ReadPicture(folder + "/" + badge);
      cursors.push_back({id, Encode(base, &mark)});
    }
  }
  return cursors;
}

}  // namespace mattix::resources
