// The drawing layer's pixel rules, checked against independent formulations:
// an incremental (Bresenham) line rasteriser, an even-odd crossing test at
// pixel centres, per-pixel rectangle membership, and known pictures for
// DrawDib. Handles are checked for the failures Windows documents. MulDiv
// against exact wide arithmetic. The application object and module states
// of the MFC layer, seen from a program that holds an application of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "RoundedQuotient.h"
#include "TestWindow.h"
#include "win/Afx.h"
#include "win/AfxWin.h"
#include "win/Vfw.h"
#include "win/Windows.h"

namespace {

using Pixels = std::vector<std::uint32_t>;
using PixelSet = std::set<std::pair<int, int>>;

constexpr int W = 37, H = 29;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

using win_test::Argb, win_test::Int128, win_test::RoundedQuotient;

class Gdi : public ::testing::Test {
 protected:
  void Clear() const {
    const RECT all{0, 0, W, H};
    FillRect(m_dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  // Every pixel of the window is want(x, y).
  template <class Want>
  void ExpectPicture(Want want) const {
    const Pixels p = m_window.Pixels();
    int wrong = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) wrong += p[std::size_t(y) * W + x] != want(x, y);
    EXPECT_EQ(wrong, 0);
  }
  const win_test::TestWindow m_window{100, 50, W, H};
  const HDC m_dc = m_window.dc;
};

// Lines: one pixel per step of the major axis (x when |dx| >= |dy|), the
// minor coordinate rounded to nearest with halves up, end point excluded.
// Independent form: Bresenham's incremental error term.
void ReferenceLine(POINT a, POINT b, PixelSet& out) {
  const long long dx = b.x - a.x, dy = b.y - a.y;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const long long n = xMajor ? std::llabs(dx) : std::llabs(dy), dMinor = xMajor ? dy : dx;
  const int step = (xMajor ? dx : dy) > 0 ? 1 : -1;
  long long minor = xMajor ? a.y : a.x, major = xMajor ? a.x : a.y;
  // minor offset = floor((2 i dMinor + n) / 2n): keep the remainder in [0, 2n).
  long long rem = n;
  for (long long i = 0; i < n; ++i) {
    for (; rem >= 2 * n; rem -= 2 * n) ++minor;
    for (; rem < 0; rem += 2 * n) --minor;
    out.insert(xMajor ? std::make_pair(int(major), int(minor))
                      : std::make_pair(int(minor), int(major)));
    major += step;
    rem += 2 * dMinor;
  }
}

// Even-odd test at the centre of (x, y): crossings of the ray to the left,
// a crossing exactly at the centre counting as left of it. In doubled
// coordinates everything is an integer.
bool InsidePolygon(const std::vector<POINT>& poly, int x, int y) {
  const long long cx = 2LL * x + 1, cy = 2LL * y + 1;
  int crossings = 0;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    POINT p = poly[i], q = poly[(i + 1) % poly.size()];
    if (p.y > q.y) std::swap(p, q);
    if (!(2LL * p.y < cy && cy < 2LL * q.y)) continue;
    // crossing x (doubled) = 2px + (cy - 2py)(qx - px)/(qy - py) <= cx
    if ((2LL * p.x - cx) * (q.y - p.y) + (cy - 2LL * p.y) * (q.x - p.x) <= 0) ++crossings;
  }
  return crossings % 2 == 1;
}

// Random polygons far past every edge: the fill even-odd at pixel centres,
// and on odd turns an outline in the pen's colour, drawn by Polygon itself or
// (every fourth turn) by MoveToEx and LineTo over a fill without outline as
// an open path (its last end point is drawn by no line), each line leaving
// the position at its end point.
TEST_F(Gdi, PolygonsAndLinesMatchIndependentRasterisers) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> cx(-12, W + 12), cy(-12, H + 12), count(3, 7);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
  HBRUSH brush = CreateSolidBrush(RGB(0, 160, 0));
  SelectObject(m_dc, brush);
  for (int t = 0; t < 400; ++t) {
    const bool outlined = t % 2 == 1, byLines = t % 4 == 3;
    SelectObject(m_dc, outlined && !byLines ? static_cast<HGDIOBJ>(pen) : GetStockObject(NULL_PEN));
    Clear();
    std::vector<POINT> poly(std::size_t(count(rng)));
    for (POINT& p : poly) p = POINT{cx(rng), cy(rng)};
    ASSERT_TRUE(Polygon(m_dc, poly.data(), int(poly.size())));
    PixelSet outline;
    for (std::size_t i = 0; outlined && i + byLines < poly.size(); ++i)
      ReferenceLine(poly[i], poly[(i + 1) % poly.size()], outline);
    SelectObject(m_dc, pen);
    ASSERT_TRUE(MoveToEx(m_dc, poly[0].x, poly[0].y, nullptr));
    for (std::size_t i = 1; byLines && i < poly.size(); ++i) {
      const POINT to = poly[i];
      POINT now{};
      ASSERT_TRUE(LineTo(m_dc, to.x, to.y));
      ASSERT_TRUE(MoveToEx(m_dc, to.x, to.y, &now));
      EXPECT_EQ(std::tuple(now.x, now.y), std::tuple(to.x, to.y))
          << "LineTo moves to its end point";
    }
    SCOPED_TRACE(testing::Message() << "polygon " << t << " with " << poly.size() << " points");
    ExpectPicture([&](int x, int y) {
      return outline.count({x, y})       ? Argb(RGB(0, 0, 255))
             : InsidePolygon(poly, x, y) ? Argb(RGB(0, 160, 0))
                                         : kWhite;
    });
    if (HasFailure()) break;
  }
  SelectObject(m_dc, GetStockObject(BLACK_PEN));
  SelectObject(m_dc, GetStockObject(WHITE_BRUSH));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(brush));
}

TEST_F(Gdi, FillSolidRectExcludesRightAndBottomAndClipsAtEveryEdge) {
  // clang-format off
  const RECT cases[] = {{3, 4, 10, 9}, {-5, 2, 4, 7}, {2, -5, 8, 3}, {30, 5, W + 9, 12},
      {4, 20, 9, H + 40}, {-9, -9, W + 9, H + 9}, {10, 10, 10, 20}, {12, 8, 5, 20},
      {W, 0, W + 5, H}, {INT_MIN, INT_MIN, INT_MAX, 1}};
  // clang-format on
  CDC& dc = *CDC::FromHandle(m_dc);
  for (const RECT& r : cases) {
    Clear();
    dc.FillSolidRect(&r, RGB(9, 8, 7));
    ExpectPicture([&](int x, int y) {
      return x >= r.left && x < r.right && y >= r.top && y < r.bottom ? Argb(RGB(9, 8, 7)) : kWhite;
    });
  }
  // As MFC, FillSolidRect leaves its colour as the background colour.
  EXPECT_EQ(SetBkColor(m_dc, 0), RGB(9, 8, 7));
}

TEST_F(Gdi, OpaqueTextPaintsExactlyItsRectangleWithTextInsideOnly) {
  if (!std::ifstream("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf").good())
    GTEST_SKIP() << "DejaVuSans.ttf missing (install fonts-dejavu-core)";
  SelectObject(m_dc, GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(m_dc, RGB(0, 0, 0));
  SetBkColor(m_dc, RGB(200, 220, 240));
  // The controls' use: opaque text in a rectangle that holds it.
  const RECT r{3, 5, 33, 22};
  Clear();
  ASSERT_TRUE(ExtTextOutW(m_dc, r.left, r.top, ETO_OPAQUE, &r, L"L 50", 4, nullptr));
  const Pixels p = m_window.Pixels();
  int outside = 0, inked = 0, offLine = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::uint32_t v = p[std::size_t(y) * W + x];
      if (!(x >= r.left && x < r.right && y >= r.top && y < r.bottom)) {
        outside += v != kWhite;
        continue;
      }
      // Each pixel inside lies between the background and the text colour.
      const int red = int(v >> 16 & 255), green = int(v >> 8 & 255), blue = int(v & 255);
      const double f = (240.0 - blue) / 240.0;
      offLine += std::abs(red - int(200 * (1 - f) + 0.5)) > 2 ||
                 std::abs(green - int(220 * (1 - f) + 0.5)) > 2;
      inked += blue < 120;  // at least half covered
    }
  // None changed outside the rectangle, none neither text, background nor a blend.
  EXPECT_EQ(std::pair(outside, offLine), std::pair(0, 0));
  EXPECT_GT(inked, 5) << "text pixels";
}

// The failures the controls could meet: a selected object is not deleted,
// a deleted handle stays dead even when its slot is reused, stock objects
// outlive deletion, and a context whose window is gone draws nothing.
TEST_F(Gdi, HandlesFailAsWindowsDoesWhenStaleOrSelected) {
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  HGDIOBJ old = SelectObject(m_dc, pen);
  EXPECT_EQ(old, GetStockObject(BLACK_PEN)) << "a new context has the black pen";
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_EQ(SelectObject(m_dc, old), pen);
  EXPECT_TRUE(DeleteObject(pen));
  HPEN again = CreatePen(PS_SOLID, 1, 0);
  EXPECT_NE(again, pen);
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_EQ(SelectObject(m_dc, pen), nullptr);
  EXPECT_EQ(GetObjectType(pen), 0u);
  EXPECT_TRUE(DeleteObject(again));
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), OBJ_BRUSH);
  HWND other = WinCreateWindow(0, 0, 4, 4);
  HDC dc = GetDC(other);
  ASSERT_EQ(SetCapture(other), nullptr);
  EXPECT_TRUE(WinDestroyWindow(other));
  EXPECT_EQ(GetCapture(), nullptr) << "destroying the capture window releases it";
  EXPECT_FALSE(LineTo(dc, 2, 2));
  EXPECT_EQ(SetPixel(dc, 0, 0, 0), CLR_INVALID);
  EXPECT_EQ(ReleaseDC(other, dc), 1);
}

// A 32-bit cursor resource in the documented layout: 2 x 3 pixels (the
// rows stored bottom-up), hot spot (1, 2).
TEST(WinCursor, ResourcesLoadAsTopDownPicturesWithHotSpots) {
  const std::uint32_t rows[3][2] = {{0xFF0000FFu, 0x80FFFFFFu}, {1, 2}, {0xFF00FF00u, 0}};
  std::vector<unsigned char> good(sizeof(CURSOR_RESOURCE_HEADER) + 2 * 3 * 4);
  const CURSOR_RESOURCE_HEADER h{1, 2, {40, 2, 6, 1, 32, BI_RGB, 0, 0, 0, 0, 0}};
  std::memcpy(good.data(), &h, sizeof h);
  for (int y = 0; y < 3; ++y) std::memcpy(good.data() + 44 + (2 - y) * 8, rows[y], 8);
  std::vector<unsigned char> bad = good;
  bad[4 + 14] = 24;  // 24-bit: refused
  const RESOURCE_ENTRY table[] = {{1, 3021, good.data(), DWORD(good.size())},
                                  {1, 3022, bad.data(), DWORD(bad.size())},
                                  {1, 3023, good.data(), DWORD(good.size() - 1)}};
  HINSTANCE module = reinterpret_cast<HINSTANCE>(std::uintptr_t(0x7000));
  ASSERT_TRUE(RegisterModuleResources(module, table, 3));
  HCURSOR c = LoadCursorW(module, MAKEINTRESOURCEW(3021));
  ASSERT_NE(c, nullptr);
  for (int refused : {3022, 3023})  // 24 bits, truncated
    EXPECT_EQ(LoadCursorW(module, MAKEINTRESOURCEW(refused)), nullptr) << refused;
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  ASSERT_NE(arrow, nullptr);
  SetCursor(arrow);
  EXPECT_EQ(SetCursor(c), arrow);
  EXPECT_EQ(GetCursor(), c);
  std::vector<std::uint32_t> picture(32 * 32, 0xDEADBEEFu);
  POINT hot{};
  ASSERT_TRUE(WinGetCursorImage(picture.data(), &hot));
  EXPECT_EQ(std::tuple(hot.x, hot.y), std::tuple(1, 2));
  std::vector<std::uint32_t> expected(32 * 32, 0);
  for (int y = 0; y < 3; ++y) std::copy(rows[y], rows[y] + 2, &expected[std::size_t(y) * 32]);
  EXPECT_EQ(picture, expected);
  EXPECT_EQ(SetCursor(nullptr), c);
  EXPECT_FALSE(WinGetCursorImage(picture.data(), &hot)) << "hidden";
  EXPECT_TRUE(UnregisterModuleResources(module));
}

// An 8-bit picture whose colour table is not grey, and the same picture as
// 24 and 32-bit pixels, in both row orders, drawn at 1x and 3x. (Clipping,
// parts of a picture and refusals are no control's use.)
TEST_F(Gdi, DrawDibScalesBothRowOrdersAndReadsTheColourTable) {
  const int bw = 3, bh = 2;
  auto colour = [](int x, int y) { return RGB(40 * x + 10, 100 * y + 5, 7 * (x + y)); };
  HDRAWDIB dd = DrawDibOpen();
  ASSERT_NE(dd, nullptr);
  for (int bits : {8, 24, 32})
    for (bool topDown : {false, true})
      for (int k : {1, 3}) {
        std::vector<unsigned char> info(40 + 256 * 4);
        const BITMAPINFOHEADER h{40, bw, topDown ? -bh : bh, 1, WORD(bits), BI_RGB, 0, 0, 0, 6, 0};
        std::memcpy(info.data(), &h, 40);
        const int stride = (bw * bits / 8 + 3) / 4 * 4;
        std::vector<unsigned char> px(std::size_t(stride) * bh, 0xEE);
        for (int y = 0; y < bh; ++y)
          for (int x = 0; x < bw; ++x) {
            unsigned char* p = px.data() + (topDown ? y : bh - 1 - y) * stride + x * bits / 8;
            const COLORREF c = colour(x, y);
            const unsigned char bgra[4] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
            if (bits == 8) {
              *p = BYTE(y * bw + x);
              std::memcpy(info.data() + 40 + p[0] * 4, bgra, 4);
            } else {
              std::memcpy(p, bgra, std::size_t(bits / 8));
            }
          }
        Clear();
        SCOPED_TRACE(testing::Message()
                     << bits << " bits, top-down " << topDown << ", scale " << k);
        ASSERT_TRUE(DrawDibDraw(dd, m_dc, 2, 1, bw * k, bh * k,
                                reinterpret_cast<BITMAPINFOHEADER*>(info.data()), px.data(), 0, 0,
                                bw, bh, 0));
        ExpectPicture([&](int x, int y) {
          const bool in = x >= 2 && x < 2 + bw * k && y >= 1 && y < 1 + bh * k;
          return in ? Argb(colour((x - 2) / k, (y - 1) / k)) : kWhite;
        });
      }
  EXPECT_TRUE(DrawDibClose(dd));
}

TEST(CString, FormatsWithPrintfSemantics) {
  CString s;
  s.Format(L"H %d L %3d", 120, 5);
  EXPECT_EQ(std::wstring(s), L"H 120 L   5");
}

// Hand-picked triples (halves away from zero whatever the signs, a zero
// divisor, a 64-bit product, 2^31 overflowing, a tiny negative quotient),
// then random ones mixing full-range and small values so that overflowing
// and in-range quotients, and exact halves, are well represented.
TEST(MulDiv, AgreesWithWideReference) {
  const int picked[][3] = {{5, 1, 2},          {-5, 1, 2},
                           {5, 1, -2},         {-9, 1, 4},
                           {123, 456, 0},      {INT32_MAX, 2, 2},
                           {INT32_MIN, -1, 1}, {INT32_MIN, INT32_MIN, INT32_MIN},
                           {1, 1, INT32_MIN},  {-1073741824, 1, INT32_MIN}};
  for (const auto& [a, b, c] : picked)
    EXPECT_EQ(MulDiv(a, b, c), RoundedQuotient(Int128{a} * b, c)) << a << "*" << b << "/" << c;
  std::mt19937_64 rng(20261205);
  std::uniform_int_distribution<int> any(INT32_MIN, INT32_MAX), small(-70000, 70000);
  for (int i = 0; i < 100000; ++i) {
    const int a = (i & 1) ? any(rng) : small(rng), b = (i & 2) ? any(rng) : small(rng);
    int c = (i & 4) ? any(rng) : small(rng) / 64;
    if (i % 97 == 0) c = 2 * (small(rng) | 1);  // even divisors give exact halves
    ASSERT_EQ(MulDiv(a, b, c), RoundedQuotient(Int128{a} * b, c)) << a << "*" << b << "/" << c;
  }
}

// This program's application, constructed with the program's static data
// as a module's is.
CWinApp g_app("AfxTest");

void* ProgramBase() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ProgramBase), &info) == 0) return nullptr;
  return info.dli_fbase;
}

TEST(Afx, ApplicationRegistersTheModuleThatConstructsIt) {
  ASSERT_NE(ProgramBase(), nullptr);
  EXPECT_EQ(static_cast<void*>(g_app.m_hInstance), ProgramBase());
  AFX_MODULE_STATE* state = AfxFindModuleState(reinterpret_cast<const void*>(&ProgramBase));
  ASSERT_EQ(state, g_app.GetModuleState());
  EXPECT_EQ(state->m_pCurrentWinApp, &g_app);
  EXPECT_EQ(state->m_hCurrentResourceHandle, g_app.m_hInstance);
  // Data of the module finds it as well as code.
  EXPECT_EQ(AfxFindModuleState(&g_app), state);
  EXPECT_EQ(AfxGetStaticModuleState(), state);
  // Addresses outside any application's module, the layer's own among them.
  int onTheStack = 0;
  for (const void* p : {static_cast<const void*>(&onTheStack), static_cast<const void*>(nullptr),
                        reinterpret_cast<const void*>(&AfxGetApp)})
    EXPECT_EQ(AfxFindModuleState(p), nullptr);
}

TEST(Afx, ManageStateSwitchesAndRestoresNestedInEachThread) {
  EXPECT_EQ(AfxGetModuleState(), AfxGetProcessModuleState());
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    EXPECT_EQ(AfxGetApp(), &g_app);
    EXPECT_EQ(AfxGetResourceHandle(), g_app.m_hInstance);
    EXPECT_STREQ(AfxGetAppName(), "AfxTest");
    {
      AFX_MANAGE_STATE(AfxGetProcessModuleState());
      EXPECT_EQ(AfxGetApp(), nullptr);
    }
    EXPECT_EQ(AfxGetApp(), &g_app);
    // The current state is each thread's own.
    CWinApp* seen = &g_app;
    std::thread([&seen] { seen = AfxGetApp(); }).join();
    EXPECT_EQ(seen, nullptr);
    EXPECT_EQ(AfxGetApp(), &g_app);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
}

}  // namespace
