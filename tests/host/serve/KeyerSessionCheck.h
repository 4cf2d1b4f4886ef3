#pragma once
// The keyer's session driven by a stream of the page's actions, one body
// for the libFuzzer target (KeyerSessionFuzz.cpp) and serve_test (the seeds
// in tests/host/serve/fuzz). The input is read as actions: pointer events
// anywhere on or far off either control, numbers in and out of range (NaN
// and infinities too), the screen, shapes of any size and place, picks,
// undo, redo, auto key and views of any region and scale. Refusals
// (BadRequest, HostError) are answers; any other failure is a fault. Then:
//   - a view of a region equals the same pixels of the whole frame's view;
//   - once the drag that may be open is released, undoing every step gives
//     back the settings and the controls' pixels of the start, and redoing
//     as many the settings of the end.
#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/effect/KeyingEffect.h"
#include "host/media/PngFile.h"
#include "host/serve/KeyerSession.h"
#include "tests/plugin/FuzzInput.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>

namespace mattix::test {

// A 72 x 40 green screen with a skin-coloured disc and a grey bar, written
// once a process into a folder removed at its end; its view is a third of
// it (three pixels a view pixel).
inline const std::string& SessionFrame() {
  static const struct Picture {
    Picture() {
      if (::mkdtemp(folder.data()) == nullptr) return;
      constexpr std::uint8_t screen[4] = {60, 190, 50, 255}, skin[4] = {90, 140, 210, 255},
                             grey[4] = {128, 128, 128, 255};
      media::BgraImage frame(72, 40);
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 72; ++x) {
          const bool disc = (x - 30) * (x - 30) + (y - 20) * (y - 20) < 150;
          std::copy_n(disc ? skin : x >= 52 && x < 60 ? grey : screen, 4, frame.Row(y) + x * 4);
        }
      path = folder + "/frame.png";
      host::WriteFileAtomically(path, media::EncodePng(frame, "frame.png"), true);
    }
    ~Picture() {
      std::error_code error;
      std::filesystem::remove_all(path.empty() ? std::string() : folder, error);
    }
    std::string folder = "/tmp/mattix-session-fuzz-XXXXXX", path;
  } picture;
  return picture.path;
}

// A coordinate: mostly within `extent` and a margin round it, at times any.
inline int SessionCoordinate(FuzzInput& in, int extent) {
  if (in.Byte() >= 248) return in.I32();
  return int(in.U16() % unsigned(extent + 64)) - 32;
}

// The first setting that differs between a and b ("" when none does).
inline std::string SettingDifference(const project::ProjectSettings& a,
                                     const project::ProjectSettings& b) {
  if (a.softness != b.softness) return "softness";
  if (a.spillSuppression != b.spillSuppression) return "spill suppression";
  if (std::tie(a.keyRed, a.keyGreen, a.keyBlue) != std::tie(b.keyRed, b.keyGreen, b.keyBlue))
    return "key colour";
  if (a.lightness != b.lightness) return "lightness";
  if (a.chromaMask != b.chromaMask) return "chroma mask";
  return a.finishing == b.finishing ? "" : "finishing";
}

// Empty when the session behaved, else what went wrong.
inline std::string CheckKeyerSession(const std::uint8_t* data, std::size_t size) {
  using serve::CKeyerSession;
  // The module stays loaded between sessions: a fuzzer's coverage counters
  // in it must outlive each session's unloading.
  static const std::shared_ptr<host::CHostModule> keep = host::CKeyingEffect::LoadModule();
  FuzzInput in(data, size);
  CKeyerSession session(SessionFrame(), std::nullopt, std::nullopt, false, 24, 2);
  const serve::ControlsView start = session.Current();
  // The effect's two numbers by the names the module gives them, then
  // finishing's, then a name nothing has.
  const char* const numbers[] = {
      "Softness",  "Spill Suppression", "despill",    "despillEdge", "unmix",      "refine",
      "clipBlack", "clipWhite",         "shrinkGrow", "feather",     "closeHoles", "noSuchNumber"};
  // Fewer actions than the history keeps, so that every step can be undone;
  // few enough for a fuzzer to run a few inputs a second.
  for (int action = 0; action < 32 && in.Left() > 0; ++action) {
    const int kind = in.Byte() % 11;
    try {
      if (kind <= 2) {
        const bool wheel = kind != 2;
        const int flags = in.Byte();
        // x, then y: a braced list is evaluated in order.
        const POINT at{SessionCoordinate(in, 260), SessionCoordinate(in, wheel ? 260 : 44)};
        session.Pointer({wheel, serve::PointerKind((flags & 3) % 3), at,
                         flags & 4 ? host::Button::kRight : host::Button::kLeft,
                         host::Keys{(flags & 8) != 0, (flags & 16) != 0}});
      } else if (kind == 3) {
        const std::string name = numbers[in.Byte() % std::size(numbers)];
        const int form = in.Byte();
        const double value = form < 240 ? in.U16() / 256.0 - 20.0 : in.Raw<double>();
        session.SetNumber(name, value, form % 3 ? std::optional<long>(form % 4) : std::nullopt);
      } else if (kind == 4) {
        session.SetScreen(in.Byte() % 2 ? project::ScreenChannel::kBlue
                                        : project::ScreenChannel::kGreen);
      } else if (kind == 5) {
        project::MatteShape shape;
        shape.keep = in.Byte() % 2 != 0;
        for (int n = in.Byte() % 9; n > 0; --n) {  // bytes read in order, as any compiler
          const double x = SessionCoordinate(in, 72);
          const double fraction = in.Byte() / 256.0;
          shape.points.push_back({x + fraction, double(SessionCoordinate(in, 40))});
        }
        session.AddShape(shape);
      } else if (kind == 6) {
        session.RemoveShape(in.Byte() % 4);
      } else if (kind == 7) {
        const int x = SessionCoordinate(in, 72), y = SessionCoordinate(in, 40);
        session.Pick(x, y, in.Byte() % 2 != 0);
      } else if (kind == 8) {
        in.Byte() % 2 ? session.Undo() : session.Redo();
      } else if (kind == 9) {
        if (in.Byte() % 8 == 0) session.Auto();
      } else {
        const serve::Region region{SessionCoordinate(in, 72), SessionCoordinate(in, 40),
                                   SessionCoordinate(in, 72), SessionCoordinate(in, 40)};
        const int scale = 1 + in.Byte() % 4;
        const auto part = session.RenderView(region, scale);
        const auto whole = session.RenderView(std::nullopt, scale);
        if (!part || !whole) return "a view was dropped with no newer one asked for";
        const int s = part->scale, left = part->region.x / s, top = part->region.y / s;
        if (whole->scale != s) return "a region and the whole frame were shown at other scales";
        for (int y = 0; y < part->image.height; ++y)
          for (int x = 0; x < part->image.width * 4; ++x)
            if (part->image.Row(y)[x] != whole->image.Row(top + y)[left * 4 + x])
              return "the view of a region differs from the whole view at byte " +
                     std::to_string(x) + " of row " + std::to_string(y);
      }
    } catch (const serve::BadRequest&) {
    } catch (const host::HostError&) {
    } catch (const std::exception& e) {
      return std::string("action ") + std::to_string(kind) + " failed: " + e.what();
    }
  }
  // Any drag left open ends off the controls, and the pointer leaves both
  // (their readouts of the colour under it go).
  for (const bool wheel : {true, false})
    for (const serve::PointerKind kind : {serve::PointerKind::kUp, serve::PointerKind::kMove})
      session.Pointer({wheel, kind, POINT{-500, -500}, host::Button::kLeft, {}});
  const serve::ControlsView end = session.Current();
  serve::ControlsView back = end;
  int steps = 0;
  for (; back.canUndo; ++steps) {
    if (steps > 300) return "undo never ends";
    back = session.Undo();
  }
  if (!(back.settings == start.settings))
    return "undoing every step does not give the start's " +
           SettingDifference(back.settings, start.settings) + " back";
  if (back.wheel.pixels != start.wheel.pixels)
    return "the wheel drawn after undoing every step differs from the start's";
  if (back.bar.pixels != start.bar.pixels)
    return "the bar drawn after undoing every step differs from the start's";
  // As many steps forth again: the end, with the same steps left to redo.
  serve::ControlsView forth = back;
  for (int n = 0; n < steps; ++n) forth = session.Redo();
  if (!(forth.settings == end.settings) || forth.canRedo != end.canRedo)
    return "redoing the steps undone does not give the end's " +
           SettingDifference(forth.settings, end.settings) + " back";
  return "";
}

}  // namespace mattix::test
