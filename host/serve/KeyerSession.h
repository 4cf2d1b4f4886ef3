#pragma once
// CKeyerSession: the state of the keyer in a browser. It owns the effect
// module, one instance whose custom controls are on screen (driven by the
// user's pointer events, the sliders and colour picks), the matte finishing
// beside it (sliders and shapes drawn on the picture), the renderer of the
// view (an instance a processor), the frame shown, and the history of
// changes for undo: one step a gesture.
//
// Thread safety: every call may come from any thread. The controls are used
// from one thread only, as the module requires: the session's own controls
// thread runs every call that touches them, one at a time. Renders run on
// the caller's thread and the renderer's, on a snapshot of the settings
// taken on the controls thread; a render asked for while another waited is
// the only one of them that runs (the newest request wins).
#include "host/effect/ControlHost.h"
#include "host/media/FrameReader.h"
#include "host/media/Image.h"
#include "host/project/Project.h"
#include "host/serve/BadRequest.h"
#include "host/serve/ViewFrame.h"

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

// The controls after an action: both windows' pixels, the cursor the module
// set last (none while hidden), the parameter values and the history.
struct ControlsView {
  host::ControlPixels wheel;
  host::ControlPixels bar;
  std::optional<host::CursorImage> cursor;
  project::ProjectSettings settings;
  bool canUndo = false;
  bool canRedo = false;
  bool saved = true;    // the settings are those of the project file
  std::string message;  // what the action did, when it says (Auto key)
};

class CViewRenderer;

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
  // frame of input (its view: scaled down by a whole factor to at most
  // maxViewWidth pixels wide), and the project when the file exists. output,
  // when given, is where Export renders (it needs the project; force lets it
  // replace a file that exists at the start). Renders are split into
  // `threads` bands (0: one a processor). Throws host::HostError.
  CKeyerSession(const std::string& input, const std::optional<std::string>& project,
                const std::optional<std::string>& output = std::nullopt, bool force = false,
                int maxViewWidth = 960, int threads = 0);
  ~CKeyerSession();
  CKeyerSession(const CKeyerSession&) = delete;
  CKeyerSession& operator=(const CKeyerSession&) = delete;

  // A pointer event over a control. A press while a button is still held
  // (the page that began the drag went away) first releases it where the
  // pointer was last.
  ControlsView Pointer(const PointerEvent& event);
  // A number: "Softness" or "Spill Suppression" (host::CKeyingEffect's
  // names, percent), or a matte finishing setting by its name in the
  // project file ("despill", "despillEdge", "unmix", "refine", "clipBlack",
  // "clipWhite", "closeHoles", "shrinkGrow", "feather";
  // project/MatteFinishing.h gives units and ranges). Changes with the same
  // gesture number (a slider's drag) are one step of the history. A value
  // out of range (or a clip black not below clip white) is refused with
  // BadRequest.
  ControlsView SetNumber(const std::string& name, double value,
                         std::optional<long> gesture = std::nullopt);
  // The screen colour despill limits.
  ControlsView SetScreen(project::ScreenChannel screen);
  // Adds a garbage shape (keep: false) or a keep shape, in frame pixels;
  // removes the shape at index (in the order added). BadRequest for a
  // shape the project file cannot hold (3 to 4096 points, at most 64
  // shapes) or no such index.
  ControlsView AddShape(const project::MatteShape& shape);
  ControlsView RemoveShape(std::size_t index);
  // Does what `mattix key auto --frame N` does on the frame shown: the
  // unmixed key of its colours, with the settings and finishing that suit
  // it (matte/UnmixedKeySettings.h), as one step; the message says what it
  // chose. BadRequest when the frame has no green or blue screen.
  ControlsView Auto();
  // The user picks the colour of frame pixel (x, y) as the key; with Shift
  // the wheel marks a disc around it.
  ControlsView Pick(int x, int y, bool shift);
  ControlsView Undo();
  ControlsView Redo();
  ControlsView Current();

  // A region of the frame shown at a scale (ViewFrame.h: frame pixels a
  // pixel, the view's without one), keyed and finished with the current
  // settings or not: the region actually covered (the one asked for,
  // within the frame and widened to whole pixels of the scale) and its
  // pixels. At scale 1 they are the pixels `mattix render` makes.
  struct ViewPart {
    long frameIndex = 0;
    Region region;
    int scale = 1;  // frame pixels per pixel of image
    media::BgraImage image;
  };
  // Keyed; nullopt when a newer render was asked for while this one waited.
  // Without a region, the whole frame.
  std::optional<ViewPart> RenderView(std::optional<Region> region = std::nullopt,
                                     std::optional<int> scale = std::nullopt);
  ViewPart Original(std::optional<Region> region = std::nullopt,
                    std::optional<int> scale = std::nullopt) const;
  // The frame shown, unchanging once made: a frame change makes a new one.
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
  // Sets the finishing to f, checked (BadRequest), as one step.
  ControlsView ChangeFinishing(const project::MatteFinishing& f);
  ControlsView Step(bool back);
  void Record(const project::ProjectSettings& before);
  void PushUndo(const project::ProjectSettings& before);
  void KeepLightness(const std::array<double, 4>& before);
  void Release(bool wheel, POINT point, host::Keys keys);
  void EndDrag();
  // The settings an action starts from, a held drag ended first (its own step).
  project::ProjectSettings SettingsBeforeChange();
  ControlsView View() const;

  std::optional<std::string> m_projectPath;
  std::optional<std::string> m_output;
  bool m_force = false;  // also set once an export wrote the output
  mutable std::mutex m_exportMutex;
  ExportStatus m_export;
  std::thread m_exportThread;
  std::string m_input;
  int m_maxViewWidth;
  int m_threads;
  long m_frameCount = 1;
  mutable std::mutex m_frameMutex;  // guards m_frame (the pointer, not the frame)
  std::shared_ptr<const ViewFrame> m_frame;
  std::unique_ptr<internal::ControlThread> m_thread;

  // Owned and used by the controls thread only (created and destroyed
  // there).
  struct Controls;
  std::unique_ptr<Controls> m_controls;

  // Renders, one at a time, and the newest request's number.
  std::mutex m_renderMutex;
  std::unique_ptr<CViewRenderer> m_renderer;
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
