#pragma once
// CKeyerSession: the state of the keyer in a browser. It owns the effect
// module, one instance whose custom controls are on screen (driven by the
// user's pointer events, the sliders and colour picks) and a second instance
// that renders the view, the input's frame at view size, and the history of
// changes for undo.
//
// Thread safety: every call may come from any thread. The controls are used
// from one thread only, as the module requires: the session's own controls
// thread runs every call that touches them, one at a time. Renders run on
// the caller's thread with the render instance, on a snapshot of the
// parameters taken on the controls thread; a render asked for while another
// waited is the only one of them that runs (the newest request wins).
#include "host/effect/ControlHost.h"
#include "host/media/FrameReader.h"
#include "host/media/Image.h"
#include "host/project/Project.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace mattix::serve {

namespace internal {
class ControlThread;
}

// A request that names no control, an out-of-range value or point: the
// message says which; the server answers 400.
class BadRequest : public std::invalid_argument {
 public:
  explicit BadRequest(const std::string& message) : std::invalid_argument(message) {}
};

// The controls after an action: both windows' pixels, the cursor the module
// set last (none while hidden), the parameter values and the history.
struct ControlsView {
  host::ControlPixels wheel;
  host::ControlPixels bar;
  std::optional<host::CursorImage> cursor;
  project::ProjectSettings settings;
  bool canUndo = false;
  bool canRedo = false;
  bool saved = true;  // the settings are those of the project file
};

// A part of the frame in its own pixels: x, y, width, height.
struct Region {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

enum class PointerKind { kDown, kMove, kUp };

struct PointerEvent {
  bool wheel = true;  // else the lightness bar
  PointerKind kind = PointerKind::kMove;
  POINT point{0, 0};  // client coordinates of the control
  host::Button button = host::Button::kLeft;
  host::Keys keys;
};

class CKeyerSession {
 public:
  // Loads the effect module (as `mattix render` finds it), reads the first
  // frame of input, scaled down by a whole factor to at most maxViewWidth
  // pixels wide, and the project when the file exists. output, when given,
  // is where Export renders (it needs the project; force lets it replace a
  // file that exists at the start). Throws host::HostError.
  CKeyerSession(const std::string& input, const std::optional<std::string>& project,
                const std::optional<std::string>& output = std::nullopt, bool force = false,
                int maxViewWidth = 960);
  ~CKeyerSession();
  CKeyerSession(const CKeyerSession&) = delete;
  CKeyerSession& operator=(const CKeyerSession&) = delete;

  // A pointer event over a control. A press while a button is still held
  // (the page that began the drag went away) first releases it where the
  // pointer was last.
  ControlsView Pointer(const PointerEvent& event);
  // "Softness" or "Spill Suppression" (host::CKeyingEffect's names), in
  // percent. Changes with the same gesture number (a slider's drag) are one
  // step of the history.
  ControlsView SetNumber(const std::string& name, double value,
                         std::optional<long> gesture = std::nullopt);
  // The user picks the colour of frame pixel (x, y) (as the view shows it)
  // as the key; with Shift the wheel marks a disc around it.
  ControlsView Pick(int x, int y, bool shift);
  ControlsView Undo();
  ControlsView Redo();
  ControlsView Current();

  // A region of the frame shown, keyed with the current parameters or not,
  // at the view's scale: the region actually covered (the one asked for,
  // within the frame and widened to whole view pixels) and its pixels.
  // Keying is per pixel, so a region's pixels are those of the whole view.
  struct ViewPart {
    long frameIndex = 0;
    Region region;
    int scale = 1;  // frame pixels per pixel of image
    media::BgraImage image;
  };
  // Keyed; nullopt when a newer render was asked for while this one waited.
  // Without a region, the whole frame.
  std::optional<ViewPart> RenderView(std::optional<Region> region = std::nullopt);
  ViewPart Original(std::optional<Region> region = std::nullopt) const;
  // The frame shown, unchanging once made: a frame change makes a new one.
  struct ViewFrame {
    long index = 0;  // in the input, from 0
    int scale = 1;   // frame pixels per view pixel (a whole factor)
    int width = 0;   // the frame's size in its own pixels
    int height = 0;
    media::BgraImage image;  // at view size (width / scale), unkeyed
    // Its colours counted at the wheel positions the keying engine looks
    // them up at (241 x 209, rows top-down as displayed), and its lightness
    // histogram (256 bins, the engine's lightness index).
    std::vector<std::uint32_t> vectorscope;
    std::vector<std::uint32_t> histogram;
  };
  std::shared_ptr<const ViewFrame> Frame() const;
  // Frames in the input; -1 when a video does not say.
  long FrameCount() const { return m_frameCount; }
  // Shows frame index of the input, reached by seeking (a video is decoded
  // from shortly before it). Returns false when a newer frame change was
  // asked for meanwhile (that one wins; this one is dropped). Throws
  // BadRequest when there is no such frame, host::HostError when it cannot
  // be read.
  bool SelectFrame(long index);

  // Saves the project, then renders the whole input into the output as
  // `mattix render --project` does, on a thread of its own, with the
  // settings of this moment whatever changes after it. Throws BadRequest
  // when no output was named or an export is running.
  void StartExport();
  struct ExportStatus {
    bool available = false;  // an output was named
    bool running = false;
    long done = 0;
    long total = -1;      // frames; -1 while unknown
    std::string message;  // the last export's outcome
  };
  ExportStatus Export() const;

  // Writes the project file (atomically) with the current parameters and
  // returns its path. Throws host::HostError when no project file was named.
  std::string Save();

 private:
  // Writes these settings; returns the path.
  std::string Save(const project::ProjectSettings& settings);

  // On the controls thread:
  project::ProjectSettings ReadSettings() const;
  void Restore(const project::ProjectSettings& settings);
  ControlsView Step(bool back);
  void Record(const project::ProjectSettings& before);
  void PushUndo(const project::ProjectSettings& before);
  void KeepLightness(const std::array<double, 4>& before);
  ControlsView View() const;

  std::optional<std::string> m_projectPath;
  std::optional<std::string> m_output;
  bool m_force = false;  // also set once an export wrote the output
  mutable std::mutex m_exportMutex;
  ExportStatus m_export;
  std::thread m_exportThread;
  std::string m_input;
  int m_maxViewWidth;
  long m_frameCount = 1;
  mutable std::mutex m_frameMutex;  // guards m_frame (the pointer, not the frame)
  std::shared_ptr<const ViewFrame> m_frame;
  std::unique_ptr<internal::ControlThread> m_thread;

  // Owned and used by the controls thread only (created and destroyed
  // there).
  struct Controls;
  std::unique_ptr<Controls> m_controls;

  // Renders: the instance and the newest request's number.
  struct Renderer;
  std::unique_ptr<Renderer> m_renderer;
  std::atomic<std::uint64_t> m_renderRequests{0};
  // Frame changes: one reads at a time; the newest request's number; the
  // reader of the last one, the index it gives next, its first number.
  std::mutex m_seekMutex;
  std::atomic<std::uint64_t> m_seekRequests{0};
  std::unique_ptr<media::FrameReader> m_reader;
  long m_readerNext = 0;
  long m_firstNumber = 1;
};

}  // namespace mattix::serve
