// The keyer's HTTP interface, driven with httplib's client as the page
// drives it: pointer events in, the controls' pixels and the parameter
// values out, the keyed view, undo, save, and the refusals. Wheel positions
// come from the wheel's ellipse (centre (120, 104), half axes 120 and 104,
// hue counter-clockwise from the right).
#include "host/base/FileBytes.h"
#include "host/base/Json.h"
#include "host/media/PngFile.h"
#include "host/media/Subprocess.h"
#include "host/project/Project.h"
#include "host/serve/HttpServer.h"
#include "host/serve/KeyerServer.h"
#include "stdfx/HSL.h"
#include "tests/FuzzSeeds.h"
#include "tests/host/TestSupport.h"
#include "tests/host/cli/CommandRunner.h"
#include "tests/host/serve/KeyerSessionCheck.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace mattix::serve {
namespace {

using test::Holds, test::TempDir;

const std::string& kSample = test::kSamplePicture;
const std::string kToken = "0123456789abcdef0123456789abcdef";

POINT OnWheel(double degrees, double saturation) {
  const double a = degrees * std::numbers::pi / 180.0;
  return POINT{int(std::lround(120.0 + saturation * 120.0 * std::cos(a))),
               int(std::lround(104.0 - saturation * 104.0 * std::sin(a)))};
}

// A picture as the keyer sends one: RGBA.
std::string Rgba(const media::BgraImage& bgra) {
  std::string out(bgra.pixels.begin(), bgra.pixels.end());
  for (std::size_t i = 0; i < out.size(); i += 4) std::swap(out[i], out[i + 2]);
  return out;
}

// A session and its server on a free loopback port, for one test. Renders
// are split into three bands, so that the bands' seams are tested on any
// machine.
struct Keyer {
  explicit Keyer(const std::string& input = kSample, bool exports = false,
                 const std::string& output = "out.png", int maxViewWidth = 960)
      : session(input, dir / "key.json",
                exports ? std::optional<std::string>(dir / output) : std::nullopt, false,
                maxViewWidth, 3),
        server(session, kToken),
        port(server.Bind("127.0.0.1", 0)),
        thread([this] { server.Listen(); }),
        client("127.0.0.1", port) {
    // Key auto takes seconds under the sanitizers.
    client.set_default_headers({{"X-Token", kToken}});
    client.set_read_timeout(120, 0);
  }
  ~Keyer() {
    server.Stop();
    thread.join();
  }
  // A POST of nothing, or of a JSON body.
  httplib::Result Post(const std::string& path, const std::string& json = "") {
    return client.Post(path, json, json.empty() ? "text/plain" : "application/json");
  }
  httplib::Result Get(const std::string& path) { return client.Get(path); }
  // A pointer event of `kind` on `control` ("wheel" or "bar") at p.
  httplib::Result Pointer(const char* control, const char* kind, POINT p) {
    return Post(std::string("/api/pointer?control=") + control + "&kind=" + kind +
                "&x=" + std::to_string(p.x) + "&y=" + std::to_string(p.y));
  }
  // Drags a loop around the wheel's greens: out along the rim from 85 to
  // 165 degrees, back along saturation 0.12. The last answer.
  httplib::Result Lasso(bool release = true) {
    httplib::Result r = Pointer("wheel", "down", OnWheel(85, 1.2));
    for (int h = 89; h <= 165; h += 4) r = Pointer("wheel", "move", OnWheel(h, 1.2));
    for (int h = 165; h >= 85; h -= 4) r = Pointer("wheel", "move", OnWheel(h, 0.12));
    return release ? Pointer("wheel", "up", OnWheel(85, 0.12)) : std::move(r);
  }
  // Waits for the export that runs to end: its last status.
  std::string ExportStatus() {
    std::string status;
    for (int i = 0; i < 600 && status.find("\"running\":false") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      status = client.Get("/api/export")->body;
    }
    return status;
  }

  TempDir dir;
  CKeyerSession session;
  CKeyerServer server;
  int port;
  std::thread thread;
  httplib::Client client;
};

// An answer of 200; anything else stops the test, saying what came instead.
httplib::Result Ok(httplib::Result r) {
  if (!r || r->status != 200)
    throw std::runtime_error(r ? std::to_string(r->status) + ": " + r->body : "no answer");
  return r;
}
// The answer's X-State, and the compact JSON text of the members named
// (separated by spaces, "a.b" for member b of a), joined by spaces, e.g.
// State(r, "mask canUndo") == "true false".
host::JsonValue StateOf(const httplib::Result& r) {
  return host::JsonValue::Parse(r->get_header_value("X-State"), "X-State");
}
std::string State(const httplib::Result& r, const std::string& members) {
  const host::JsonValue state = StateOf(r);
  std::istringstream names(members);
  std::string text;
  for (std::string name; names >> name;) {
    const host::JsonValue* v = &state;
    std::istringstream path(name);
    for (std::string member; v && std::getline(path, member, '.');) v = v->Find(member);
    text += (text.empty() ? "" : " ") + (v ? v->WriteCompact() : "(absent)");
  }
  return text;
}
// Alpha of view pixel p of a keyed view answer (RGBA).
int Alpha(const httplib::Result& view, POINT p) {
  return std::uint8_t(view->body[std::size_t(p.y * 480 + p.x) * 4 + 3]);
}

// A backdrop corner and the subject's shoulder, in the sample's pixels.
constexpr POINT kBackdrop{6, 6}, kSubject{240, 300};

// A drag whose release never comes (the page was closed) is released by the
// next press: the bar's handle at 0 then drags as usual, to (61 - 7) / 240.
// A handle nobody drags stays where it is while another one is dragged
// (the bar's own arithmetic lowers some values by a unit an event).
TEST(Serve, BarDragsAfterAnOpenDragMoveOnlyTheirHandles) {
  Keyer k;
  const auto lightness = [](const httplib::Result& r, std::size_t i) {
    return StateOf(r).Find("lightness")->Elements().at(i).AsNumber();
  };
  k.Lasso(false);
  ASSERT_TRUE(k.Pointer("bar", "down", {7, 8}));
  k.Pointer("bar", "move", {61, 8});
  const httplib::Result r = Ok(k.Pointer("bar", "up", {61, 8}));
  EXPECT_EQ(State(r, "mask"), "true");  // the open lasso was closed by the release
  const double low[] = {lightness(r, 0), lightness(r, 1)};
  EXPECT_NEAR(low[1], 54.0 / 240.0 * 100.0, 0.5);
  k.Pointer("bar", "down", {247, 12});
  for (int x = 240; x >= 200; x -= 10) k.Pointer("bar", "move", {x, 12});
  const httplib::Result after = k.Pointer("bar", "up", {200, 12});
  for (std::size_t i : {0u, 1u})
    EXPECT_NEAR(lightness(after, i), low[i], 0.5 * 100.0 / 65535.0) << i;
  EXPECT_NEAR(std::min(lightness(after, 2), lightness(after, 3)), 193.0 / 240.0 * 100.0, 0.5);
}

// The scopes count every view pixel once; the share of the wheel's counts
// in the green sector (0.28 to 0.44 turns, from each cell's angle on the
// ellipse) is the share of the sample's pixels with such a hue (by the image
// library's HLS, checked on its own against a textbook formulation).
TEST(Serve, ScopesCountTheFramesColours) {
  Keyer k;
  const httplib::Result r = Ok(k.Get("/api/scopes"));
  ASSERT_EQ(r->body.size(), (241u * 209u + 256u) * 4u);
  std::vector<std::uint32_t> counts(r->body.size() / 4);
  std::memcpy(counts.data(), r->body.data(), r->body.size());
  const auto wheelEnd = counts.begin() + 241 * 209;
  EXPECT_EQ(std::accumulate(counts.begin(), wheelEnd, 0u), 480u * 320u);
  EXPECT_EQ(std::accumulate(wheelEnd, counts.end(), 0u), 480u * 320u);
  const auto green = [](double turns) { return turns >= 0.28 && turns <= 0.44; };
  double onWheel = 0, inPicture = 0;
  for (int i = 0; i < 241 * 209; ++i) {
    const double dx = (i % 241 - 120) / 120.0, dy = (104 - i / 241) / 104.0;
    const double turns = std::atan2(dy, dx) / (2 * std::numbers::pi);
    if ((dx != 0 || dy != 0) && green(turns < 0 ? turns + 1 : turns)) onWheel += counts[i];
  }
  const media::BgraImage sample = media::ReadPng(kSample);
  for (std::size_t i = 0; i < sample.pixels.size(); i += 4) {
    float h = 0, l = 0, s = 0;
    stdfx::CHSL::RGBtoHLS(h, l, s, sample.pixels[i + 2], sample.pixels[i + 1], sample.pixels[i]);
    inPicture += h >= 0 && green(h);
  }
  EXPECT_GT(inPicture, 480 * 320 / 3);
  EXPECT_NEAR(onWheel, inPicture, 480 * 320 / 100);
}

// A lasso on the wheel keys the backdrop; an export keys with the key of its
// click: a change and a save made while it runs reach the project file, not
// the export.
TEST(Serve, ALassoKeysTheBackdropAndAnExportKeysTheKeyOfItsClick) {
  TempDir frames;
  for (int n = 1; n <= 8; ++n)
    frames.Write("f_" + std::to_string(n) + ".png", host::ReadFileBytes(kSample));
  Keyer k(frames / "f_%d.png", true, "out_%d.png");
  const httplib::Result before = Ok(k.Get("/api/controls"));
  ASSERT_EQ(before->body.size(), (260u * 260u + 255u * 44u) * 4u);  // the wheel, then the bar
  const httplib::Result unkeyed = Ok(k.Get("/api/view"));
  EXPECT_EQ(unkeyed->get_header_value("X-Width") + "x" + unkeyed->get_header_value("X-Height"),
            "480x320");
  EXPECT_EQ(Alpha(unkeyed, kBackdrop), 255);
  // Mid-drag the wheel shows the outline and a drag cursor.
  const httplib::Result middrag = Ok(k.Lasso(false));
  EXPECT_NE(middrag->body.substr(0, 260 * 260 * 4), before->body.substr(0, 260 * 260 * 4));
  EXPECT_NE(middrag->get_header_value("X-Cursor"), "none");
  EXPECT_EQ(State(Ok(k.Lasso()), "mask canUndo"), "true true");
  const httplib::Result keyed = Ok(k.Get("/api/view"));
  EXPECT_EQ(std::pair(Alpha(keyed, kBackdrop), Alpha(keyed, kSubject)), std::pair(0, 255));
  ASSERT_EQ(k.Post("/api/export")->status, 200);
  // A right click on the wheel clears the key.
  k.Post("/api/pointer?control=wheel&kind=down&x=120&y=104&button=right");
  EXPECT_EQ(State(k.Pointer("wheel", "up", {120, 104}), "mask"), "false");
  ASSERT_EQ(k.Post("/api/save")->status, 200);
  ASSERT_TRUE(Holds(k.ExportStatus(), "\"done\":8.0"));
  EXPECT_FALSE(project::ReadProject(k.dir / "key.json").HasMask());
  for (int n = 1; n <= 8; ++n) {
    const media::BgraImage out = media::ReadPng(k.dir / ("out_" + std::to_string(n) + ".png"));
    EXPECT_EQ(out.Row(kBackdrop.y)[kBackdrop.x * 4 + 3], 0) << "frame " << n;
  }
}

// The history: a pick of the backdrop's colour with Shift keys that colour
// (the module marks a disc round it on the wheel) and is one step; a
// slider's drag (its changes carry one gesture number), the effect's or the
// finishing's, is one step, changes without a number are a step each, and
// so is each shape added or removed. GET /api/finishing gives the shapes'
// points.
TEST(Serve, EachPickDragAndShapeIsOneUndoStep) {
  Keyer k;
  const httplib::Result picked = Ok(k.Post("/api/pick?x=" + std::to_string(kBackdrop.x) +
                                           "&y=" + std::to_string(kBackdrop.y) + "&shift=1"));
  EXPECT_EQ(Alpha(k.Get("/api/view"), kBackdrop), 0);
  std::string wheel;  // the wheel's pixels at the end of the softness drag
  for (int v = 5; v <= 50; v += 5)
    wheel = k.Post("/api/number?name=softness&value=" + std::to_string(v) + "&gesture=7")
                ->body.substr(0, 260 * 260 * 4);
  EXPECT_NE(wheel, picked->body.substr(0, 260 * 260 * 4));
  // Another parameter: another drag.
  k.Post("/api/number?name=spill&value=20&gesture=7");
  k.Post("/api/number?name=spill&value=30");
  for (int v = 10; v <= 50; v += 10)
    k.Post("/api/number?name=despill&value=" + std::to_string(v) + "&gesture=4");
  Ok(k.Post("/api/shape", R"({"keep": true, "points": [[1, 2], [30.5, 2], [9, 40]]})"));
  EXPECT_TRUE(Holds(k.Get("/api/finishing")->body,
                    R"("shapes":[{"keep":true,"points":[[1.0,2.0],[30.5,2.0],)"));
  ASSERT_EQ(k.Post("/api/shape/remove?index=0")->status, 200);
  // Eight undos (the last two with nothing left to undo), then two redos: softness, spill,
  // despill, the number of shapes, the mask, whether there is more to undo and to redo.
  const char* const steps[] = {
      "50.0 30.0 50.0 1.0 true true true", "50.0 30.0 50.0 0.0 true true true",
      "50.0 30.0 0.0 0.0 true true true",  "50.0 20.0 0.0 0.0 true true true",
      "50.0 0.0 0.0 0.0 true true true",   "0.0 0.0 0.0 0.0 true true true",
      "0.0 0.0 0.0 0.0 false false true",  "0.0 0.0 0.0 0.0 false false true",
      "0.0 0.0 0.0 0.0 true true true",    "50.0 0.0 0.0 0.0 true true true"};
  const std::string members =
      "softness spill finishing.despill finishing.shapes mask canUndo canRedo";
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(State(k.Post(i < 8 ? "/api/undo" : "/api/redo"), members), steps[i]) << i;
}

// With every finishing step on, the view at scale 1 (the whole frame, and
// parts of it as zoomed views ask) holds the pixels that Export and `mattix
// render` of the saved project make. The view's own scale is 2 here (at
// most 240 wide): a pixel of it is the rounded mean of a 2 x 2 block.
TEST(Serve, AtFullResolutionThePageShowsWhatRenderMakesWithFinishing) {
  Keyer k(kSample, true, "out.png", 240);
  k.Lasso();
  const std::string input = Rgba(media::ReadPng(kSample));
  constexpr POINT kBelow{240, 316};  // the subject, below the garbage shape
  EXPECT_EQ(Alpha(k.Get("/api/view?scale=1"), kBelow), 255);
  for (const std::string number :
       {"despill&value=60", "despillEdge&value=5", "unmix&value=80", "refine&value=2",
        "clipBlack&value=10", "clipWhite&value=90", "closeHoles&value=70", "shrinkGrow&value=-1.5",
        "feather&value=1.2"})
    ASSERT_EQ(k.Post("/api/number?name=" + number)->status, 200) << number;
  ASSERT_EQ(k.Post("/api/screen?channel=green")->status, 200);
  // A garbage shape short of the frame's edges; a keep shape over the
  // backdrop at the top left, outside the garbage shape.
  for (const char* shape :
       {R"({"keep": false, "points": [[20, 10], [470, 15], [460, 310], [30, 300]]})",
        R"({"keep": true, "points": [[2, 2], [40.5, 2], [40.5, 40.5], [2, 40]]})"})
    ASSERT_EQ(k.Post("/api/shape", shape)->status, 200) << shape;

  const httplib::Result view = Ok(k.Get("/api/view?scale=1"));
  ASSERT_EQ(view->get_header_value("X-Region"), "0 0 480 320");
  const std::size_t keptAt = std::size_t(kBackdrop.y * 480 + kBackdrop.x) * 4;
  EXPECT_EQ(view->body.substr(keptAt, 4), input.substr(keptAt, 4));
  EXPECT_EQ(std::pair(Alpha(view, kBelow), Alpha(view, kSubject)), std::pair(0, 255));
  // Parts: inside, at the frame's edges, across the shapes' edges.
  for (const auto& [x, y, w, h] :
       {std::tuple{150, 100, 121, 90}, {0, 0, 37, 320}, {400, 250, 80, 70}, {15, 5, 30, 12}}) {
    const httplib::Result part =
        Ok(k.Get("/api/view?x=" + std::to_string(x) + "&y=" + std::to_string(y) +
                 "&w=" + std::to_string(w) + "&h=" + std::to_string(h) + "&scale=1"));
    std::string rows;  // the same pixels of the whole view
    for (int row = y; row < y + h; ++row)
      rows += view->body.substr(std::size_t(row * 480 + x) * 4, std::size_t(w) * 4);
    EXPECT_TRUE(part->body == rows) << "part " << x << "," << y;
  }

  // Exported twice: the second replaces the output the first wrote.
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(k.Post("/api/export")->status, 200);
    EXPECT_TRUE(Holds(k.ExportStatus(), "\"done\":1.0,\"total\":1.0,\"message\":\"exported"));
  }
  EXPECT_TRUE(view->body == Rgba(media::ReadPng(k.dir / "out.png")));
  EXPECT_TRUE(view->body == Rgba(test::RenderPicture(kSample, k.dir / "key.json", {})));

  const httplib::Result half = k.Get("/api/frame");
  EXPECT_EQ(half->get_header_value("X-Scale") + " " + half->get_header_value("X-Width"), "2 240");
  for (std::size_t c = 0; c < 4; ++c) {  // pixels (0, 0), (1, 0), (0, 1) and (1, 1)
    const auto at = [&](std::size_t i) { return int(std::uint8_t(input[i * 4 + c])); };
    EXPECT_EQ(int(std::uint8_t(half->body[c])), (at(0) + at(1) + at(480) + at(481) + 2) / 4) << c;
  }
}

// A sequence's frame is chosen by its index (none beyond the last), and the
// Auto key button does what `mattix key auto --frame N` does on the frame
// shown (here the second frame, a blue screen: the sample with green and
// blue swapped), as one step.
TEST(Serve, AutoKeyIsWhatKeyAutoWritesForTheFrameShown) {
  TempDir frames;
  frames.Write("f_1.png", host::ReadFileBytes(kSample));
  media::BgraImage blue = media::ReadPng(kSample);
  for (std::size_t i = 0; i < blue.pixels.size(); i += 4)
    std::swap(blue.pixels[i], blue.pixels[i + 1]);
  frames.Write("f_2.png", media::EncodePng(blue, "f_2.png"));
  Keyer k(frames / "f_%d.png");
  EXPECT_EQ(Ok(k.Post("/api/frame?index=1"))->body, "{\"frameIndex\":1.0}");
  EXPECT_EQ(State(k.Get("/api/controls"), "frameCount frameIndex"), "2.0 1.0");
  const httplib::Result pixels = k.Get("/api/frame");
  EXPECT_EQ(pixels->get_header_value("X-Frame"), "1");
  EXPECT_EQ(pixels->body, Rgba(blue));
  for (const char* bad : {"/api/frame?index=2", "/api/frame?index=-1", "/api/frame?index=x"})
    EXPECT_EQ(k.Post(bad)->status, 400) << bad;
  const httplib::Result r = Ok(k.Post("/api/auto"));
  EXPECT_TRUE(Holds(r->get_header_value("X-Message"),
                    "auto key of frame 2: blue screen keyed by its share"));
  EXPECT_EQ(State(r, "canUndo"), "true");
  ASSERT_EQ(k.Post("/api/save")->status, 200);

  const std::string cli = frames / "cli.json";
  test::RunMattixOk("key auto --project " + cli + " --frame 2 " + frames / "f_%d.png");
  const project::ProjectSettings page = project::ReadProject(k.dir / "key.json");
  EXPECT_EQ(page.finishing.screen, project::ScreenChannel::kBlue);
  EXPECT_TRUE(page == project::ReadProject(cli));
  EXPECT_EQ(State(k.Post("/api/undo"), "mask"), "false");
}

// A frame of a video is reached by seeking (40 small frames of H.264 with
// B-frames, a keyframe every 16): the frame shown is the one that decoding
// from the start gives, whether reached by a seek (more than a second
// ahead, or back) or by reading on.
TEST(Serve, AVideoFrameIsReachedBySeekingExactly) {
  if (!media::FindOnPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
  TempDir dir;
  const std::string video = dir / "clip.mp4";
  ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25:duration=1.6 -c:v libx264 " +
                           std::string("-g 16 -bf 2 -pix_fmt yuv420p -y ") + video));
  const std::vector<media::BgraImage> frames = test::ReadFrames(video);
  ASSERT_EQ(frames.size(), 40u);
  Keyer k(video);
  EXPECT_EQ(State(k.Get("/api/controls"), "frameCount"), "40.0");
  // Past a keyframe, one back, read on to the last, near the start.
  for (const long index : {33L, 32L, 39L, 2L}) {
    ASSERT_EQ(k.Post("/api/frame?index=" + std::to_string(index))->status, 200) << index;
    EXPECT_TRUE(k.Get("/api/frame")->body == Rgba(frames[std::size_t(index)])) << index;
  }
}

// Without the session's token or with a wrong one, only the page's files
// answer (403 for every /api/ route, whatever its method); with it,
// everything; every answer forbids framing. Foreign names and origins and
// malformed requests are refused, saying why.
TEST(Serve, RefusesRequestsWithoutTheTokenForeignOrMalformedAndNoAnswerMayBeFramed) {
  Keyer k;
  const std::string wrong = std::string(kToken.size() - 1, '0') + "1";
  for (const std::string route : {"GET /", "GET /keyer.js", "GET /api/controls", "GET /api/view",
                                  "POST /api/undo", "POST /api/save"})
    for (const std::string* token : {static_cast<const std::string*>(nullptr), &wrong, &kToken}) {
      SCOPED_TRACE(route + " token " + (token ? *token : "absent"));
      httplib::Client client("127.0.0.1", k.port);
      httplib::Headers headers;
      if (token) headers.emplace("X-Token", *token);
      const std::string path = route.substr(route.find('/'));
      const httplib::Result r = route.starts_with("GET")
                                    ? client.Get(path, headers)
                                    : client.Post(path, headers, "", "text/plain");
      ASSERT_TRUE(r);
      EXPECT_EQ(r->status == 403, token != &kToken && path.starts_with("/api/"))
          << r->status << " " << r->body;
      EXPECT_EQ(r->get_header_value("X-Frame-Options"), "DENY");
      EXPECT_TRUE(Holds(r->get_header_value("Content-Security-Policy"), "frame-ancestors 'none'"));
    }
  const std::string self = "127.0.0.1:" + std::to_string(k.port);
  struct Case {
    const char* path;
    httplib::Headers headers;
    std::size_t body;  // POST bytes; 0: a GET
    int status;
    const char* message;  // part of the answer's text
  } const cases[] = {
      // The page's files (asked without the token): only under this
      // keyer's names.
      {"/", {{"Host", "evil.example:" + std::to_string(k.port)}}, 0, 403, "Host"},
      {"/", {{"Origin", "http://" + self + ".evil.example"}}, 0, 403, "Origin"},
      {"/", {{"Host", "localhost:" + std::to_string(k.port)}}, 0, 200, ""},
      // With the token, any name (another machine's browser), from the
      // page's own origin only.
      {"/api/controls", {{"Host", "keyer.lan:" + std::to_string(k.port)}}, 0, 200, ""},
      {"/api/controls", {{"Origin", "http://evil.example"}}, 0, 403, "Origin"},
      {"/api/controls", {{"Origin", "http://" + self}}, 0, 200, ""},
      {"/api/pointer?control=knob&kind=down&x=1&y=1", {}, 1, 400, "\"control\""},
      {"/api/pointer?control=wheel&kind=down&x=1x&y=1", {}, 1, 400, "\"x\" is not"},
      {"/api/pointer?control=wheel&kind=down&x=1", {}, 1, 400, "missing parameter \"y\""},
      {"/api/pointer?control=wheel&kind=down&x=99999&y=1", {}, 1, 400, "outside"},
      {"/api/number?name=softness&value=150", {}, 1, 400, "0 to 100"},
      {"/api/pick?x=480&y=0", {}, 1, 400, "outside the frame"},
      {"/api/view?x=0&y=0&w=0&h=5", {}, 0, 400, "empty"},
      {"/api/view?x=500&y=0&w=10&h=5", {}, 0, 400, "outside the frame"},
      {"/api/number?name=feather&value=9", {}, 1, 400, "feather must be 0 to 8"},
      {"/api/number?name=clipBlack&value=100", {}, 1, 400, "below clipWhite"},
      {"/api/number?name=hue&value=1", {}, 1, 400, "\"name\""},
      {"/api/screen?channel=red", {}, 1, 400, "\"channel\""},
      {"/api/shape", {}, 1, 400, "shape"},
      {"/api/shape/remove?index=0", {}, 1, 400, "no such shape"},
      {"/api/view?scale=0", {}, 0, 400, "scale"},
      {"/api/undo", {}, CHttpServer::kMaxBody + 1, 413, "too large"},
      {"/api/nothing", {}, 0, 404, "no such"},
      {"/api/export", {}, 1, 400, "--output"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    httplib::Client withoutToken("127.0.0.1", k.port);
    httplib::Client& client = c.path == std::string("/") ? withoutToken : k.client;
    const httplib::Result r =
        c.body ? client.Post(c.path, c.headers, std::string(c.body, 'x'), "text/plain")
               : client.Get(c.path, c.headers);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status);
    EXPECT_TRUE(Holds(r->body, c.message));
  }
  // Still serving, nothing changed.
  EXPECT_EQ(State(Ok(k.Get("/api/controls")), "canUndo"), "false");
}

// The server's own framing, over a raw connection: the status of each
// answer, in order, for bytes sent at once (two requests pipelined; a
// request line, a head or a body past its limit; a body on a GET; chunked
// bodies; Content-Lengths that disagree).
TEST(Serve, RequestsAreFramedWithinTheirLimits) {
  Keyer k;
  const std::string head = "Host: 127.0.0.1:" + std::to_string(k.port) + "\r\nX-Token: " + kToken;
  const auto get = [&](const std::string& extra) {
    return "GET /api/export HTTP/1.1\r\n" + head + "\r\n" + extra + "\r\n";
  };
  const std::pair<std::string, std::string> cases[] = {
      {get("") + get("Connection: close\r\n"), "200 200"},
      {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", "414"},
      {"GET /" + std::string(9000, 'a'), "414"},  // refused before the line ends
      {get("X-Big: " + std::string(17000, 'b') + "\r\n"), "431"},
      {get("Content-Length: 3\r\n") + "abc", "400"},
      {get("Transfer-Encoding: chunked\r\n"), "411"},
      {get("Content-Length: 1\r\nContent-Length: 2\r\n"), "400"},
      {"POST /api/undo HTTP/1.1\r\n" + head + "\r\nContent-Length: 70000\r\n\r\n", "413"}};
  for (const auto& [request, statuses] : cases) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(std::uint16_t(k.port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server), 0);
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    std::string answers;
    char chunk[4096];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
      answers.append(chunk, std::size_t(n));
    ::close(fd);
    std::string got;
    for (std::size_t at = 0; (at = answers.find("HTTP/1.1 ", at)) != std::string::npos; at += 12)
      got += (got.empty() ? "" : " ") + answers.substr(at + 9, 3);
    EXPECT_EQ(got, statuses) << request.substr(0, 60);
  }
}

// Streams of the page's actions: no failure but refusals, views of a region
// as the whole view's pixels, and the history back to the start and forth.
TEST(KeyerSession, ActionStreamsHold) {
  test::ExpectSeedsHold("tests/host/serve/fuzz", test::CheckKeyerSession, 3);
}

}  // namespace
}  // namespace mattix::serve
