#include "host/serve/KeyerSession.h"

#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/effect/KeyingEffect.h"
#include "host/matte/UnmixKey.h"
#include "host/matte/UnmixedKeySettings.h"
#include "host/media/FrameReader.h"
#include "host/media/JobPool.h"
#include "host/render/RenderJob.h"
#include "host/serve/ViewRenderer.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>
#include <tuple>

namespace mattix::serve {

namespace internal {

// Runs tasks one at a time on a thread of its own, in the order given.
class ControlThread {
 public:
  ControlThread() : m_thread([this] { Loop(); }) {}
  ~ControlThread() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
  }

  // Runs f there and returns its result (or throws what it threw).
  template <class F>
  auto Run(F f) -> decltype(f()) {
    std::packaged_task<decltype(f())()> task(std::move(f));
    auto result = task.get_future();
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_tasks.push_back([&task] { task(); });  // the caller waits below: task outlives the call
    }
    m_wake.notify_one();
    return result.get();
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
      if (m_tasks.empty()) return;  // stopping, nothing left
      std::function<void()> task = std::move(m_tasks.front());
      m_tasks.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_tasks;
  bool m_stop = false;
  std::thread m_thread;  // last: started once the rest exists
};

}  // namespace internal

namespace {

using Effect = host::CKeyingEffect;
constexpr std::size_t kHistoryLimit = 200;
// Frames a frame change may read ahead in the open reader rather than seek
// (a second of video).
constexpr long kReadAhead = 25;

}  // namespace

struct CKeyerSession::Controls {
  std::unique_ptr<host::CKeyingEffect> effect;
  std::unique_ptr<host::CControlHost> host;    // destroyed before the effect
  std::optional<std::pair<bool, POINT>> held;  // control (wheel?) and point of a held button
  std::optional<project::ProjectSettings> dragStart;
  std::vector<project::ProjectSettings> undo, redo;
  project::ProjectSettings saved;  // as the project file holds them
  // The slider drag under way: its parameter and number, the settings
  // before it, and whether its history step is recorded yet.
  struct Gesture {
    std::string name;
    long id;
    project::ProjectSettings before;
    bool recorded;
  };
  std::optional<Gesture> gesture;
  // The matte finishing: the host's, beside the effect's parameters.
  project::MatteFinishing finishing;
};

CKeyerSession::CKeyerSession(const std::string& input, const std::optional<std::string>& project,
                             const std::optional<std::string>& output, bool force, int maxViewWidth,
                             int threads)
    : m_projectPath(project),
      m_output(output),
      m_force(force),
      m_input(input),
      m_maxViewWidth(maxViewWidth),
      m_threads(threads > 0 ? threads : media::DefaultJobCount()),
      m_thread(std::make_unique<internal::ControlThread>()) {
  project::ProjectSettings settings;
  host::InputFiles inputs;
  std::unique_ptr<media::FrameReader> reader = media::FrameReader::Open(input);
  for (const std::string& file : reader->files()) inputs.Add(file);
  if (project) {
    // Refused now rather than at the first save.
    if (inputs.Contains(*project))
      throw host::HostError(*project + ": is the input, not a project");
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(*project).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, error))
      throw host::HostError(*project + ": the folder " + folder.string() + " does not exist");
    if (std::filesystem::is_directory(*project, error))
      throw host::HostError(*project + ": is a folder, not a project file");
    if (std::filesystem::exists(*project, error)) settings = project::ReadProject(*project);
  }
  if (output) {
    if (!project)
      throw host::HostError("--output needs --project: an export renders the saved project");
    render::RenderOptions options;
    options.input = input;
    options.output = *output;
    render::CheckRenderOptions(options, reader->frameCount());
    host::CheckOutputAllowed(*output, force, inputs);
    m_export.available = true;
  }
  std::optional<media::InputFrame> first = reader->Next();
  if (!first) throw host::HostError(input + ": no frame");
  m_frameCount = reader->frameCount();
  m_frame = MakeViewFrame(0, reader->Load(*first), maxViewWidth, m_threads);

  const std::shared_ptr<host::CHostModule> module = Effect::LoadModule();
  m_renderer = std::make_unique<CViewRenderer>(module, m_threads);
  m_thread->Run([&] {
    try {
      m_controls = std::make_unique<Controls>();
      m_controls->effect = std::make_unique<Effect>(module, settings);
      m_controls->finishing = settings.finishing;
      m_controls->host = std::make_unique<host::CControlHost>(*m_controls->effect);
      for (const std::string& name : m_controls->host->Controls()) m_controls->host->Draw(name);
      m_controls->saved = ReadSettings();
    } catch (...) {
      m_controls.reset();  // on this thread, as they were made; no destructor runs after a throw
      throw;
    }
  });
}

CKeyerSession::~CKeyerSession() {
  if (m_exportThread.joinable()) m_exportThread.join();
  m_thread->Run([this] { m_controls.reset(); });
}

project::ProjectSettings CKeyerSession::ReadSettings() const {
  project::ProjectSettings settings = m_controls->effect->Settings();
  settings.finishing = m_controls->finishing;
  return settings;
}

// A change of the host's own (quiet: key colours are set, not picked) of
// each parameter that differs, then both controls redrawn. Each change makes
// the effect redraw its controls, so an undo that changes one parameter
// pays for one redraw, not seven.
void CKeyerSession::Restore(const project::ProjectSettings& s) {
  host::CControlHost& host = *m_controls->host;
  const project::ProjectSettings now = ReadSettings();
  const std::tuple<const char*, double, double> numbers[] = {
      {Effect::kSoftness, s.softness, now.softness},
      {Effect::kSpillSuppression, s.spillSuppression, now.spillSuppression},
      {Effect::kKeyRed, s.keyRed, now.keyRed},
      {Effect::kKeyGreen, s.keyGreen, now.keyGreen},
      {Effect::kKeyBlue, s.keyBlue, now.keyBlue}};
  for (const auto& [name, value, was] : numbers)
    if (value != was) host.ChangeNumber(name, value, {}, true);
  if (s.lightness != now.lightness) {
    std::vector<std::uint8_t> lightness(sizeof s.lightness);
    std::memcpy(lightness.data(), s.lightness.data(), lightness.size());
    host.ChangeData(Effect::kLightness, lightness, true);
  }
  if (s.chromaMask != now.chromaMask) host.ChangeData(Effect::kChromaMask, s.chromaMask, true);
  m_controls->finishing = s.finishing;
  for (const std::string& name : host.Controls()) host.Draw(name);
}

void CKeyerSession::Record(const project::ProjectSettings& before) {
  m_controls->gesture.reset();  // another action ends a slider's drag
  if (before == ReadSettings()) return;
  PushUndo(before);
}

void CKeyerSession::PushUndo(const project::ProjectSettings& before) {
  m_controls->undo.push_back(before);
  if (m_controls->undo.size() > kHistoryLimit) m_controls->undo.erase(m_controls->undo.begin());
  m_controls->redo.clear();
}

ControlsView CKeyerSession::View() const {
  ControlsView view;
  view.wheel = m_controls->host->Pixels(Effect::kChromaMask);
  view.bar = m_controls->host->Pixels(Effect::kLightness);
  view.cursor = host::CControlHost::Cursor();
  view.settings = ReadSettings();
  view.canUndo = !m_controls->undo.empty();
  view.canRedo = !m_controls->redo.empty();
  view.saved = view.settings == m_controls->saved;
  return view;
}

ControlsView CKeyerSession::Pointer(const PointerEvent& e) {
  return m_thread->Run([&] {
    const char* const control = e.wheel ? Effect::kChromaMask : Effect::kLightness;
    const host::ControlPixels size = m_controls->host->Pixels(control);
    if (e.point.x < -1000 || e.point.y < -1000 || e.point.x > size.width + 1000 ||
        e.point.y > size.height + 1000)
      throw BadRequest("the point lies far outside the control");
    host::CControlHost& host = *m_controls->host;
    std::optional<std::pair<bool, POINT>>& held = m_controls->held;
    if (e.kind == PointerKind::kDown) {
      EndDrag();  // the drag's release never came
      m_controls->dragStart = ReadSettings();
      host.Press(control, e.point, e.button, e.keys);
      held = std::make_pair(e.wheel, e.point);
    } else if (e.kind == PointerKind::kMove) {
      // A drag stays with the control it began on.
      const bool wheel = held ? held->first : e.wheel;
      const std::array<double, 4> lightness = m_controls->effect->Settings().lightness;
      host.Move(wheel ? Effect::kChromaMask : Effect::kLightness, e.point, e.keys);
      if (!wheel) KeepLightness(lightness);
      if (held) held->second = e.point;
    } else {
      Release(held ? held->first : e.wheel, e.point, e.keys);
    }
    return View();
  });
}

// The pointer released over a control at point: the drag that was on, if
// any, ends and its step is recorded.
void CKeyerSession::Release(bool wheel, POINT point, host::Keys keys) {
  const std::array<double, 4> lightness = m_controls->effect->Settings().lightness;
  m_controls->host->Release(wheel ? Effect::kChromaMask : Effect::kLightness, point, keys);
  if (!wheel) KeepLightness(lightness);
  m_controls->held.reset();
  if (m_controls->dragStart) Record(*m_controls->dragStart);
  m_controls->dragStart.reset();
}

// Ends the drag that is on, if any, where its pointer was last.
void CKeyerSession::EndDrag() {
  if (const auto held = m_controls->held) Release(held->first, held->second, {});
}

// Every action that changes the settings (an undo too) ends a held drag
// first, so that the drag is a step of its own before the action's:
// released later, it would record the settings from before the action as a
// step after it.
project::ProjectSettings CKeyerSession::SettingsBeforeChange() {
  EndDrag();
  return ReadSettings();
}

// The bar passes its four values through percent and back at each event
// of a drag, and the truncation there lowers some values by one unit of
// its scale (1/65535) each time: handles that nobody moves drift down. A
// fall of at most one unit in one event (a pointer moves a handle by a
// pixel, hundreds of units) is taken back, written so that the bar's
// truncation gives back the unit it had.
void CKeyerSession::KeepLightness(const std::array<double, 4>& before) {
  constexpr double kUnit = 100.0 / 65535.0;  // percent
  std::array<double, 4> now = m_controls->effect->Settings().lightness;
  bool drifted = false;
  for (std::size_t i = 0; i < now.size(); ++i) {
    const double fall = before[i] - now[i];
    if (fall > 0 && fall < 1.5 * kUnit) {
      now[i] = (std::round(before[i] / kUnit) + 0.5) * kUnit;
      drifted = true;
    }
  }
  if (!drifted) return;
  std::vector<std::uint8_t> bytes(sizeof now);
  std::memcpy(bytes.data(), now.data(), bytes.size());
  m_controls->host->ChangeData(Effect::kLightness, bytes, true);
  m_controls->host->Draw(Effect::kLightness);
}

namespace {

// The finishing setting of that name in the project file, or null.
double* FinishingNumber(project::MatteFinishing& f, const std::string& name) {
  if (name == "despill") return &f.despill;
  if (name == "despillEdge") return &f.despillEdge;
  if (name == "unmix") return &f.unmix;
  if (name == "refine") return &f.refine;
  if (name == "clipBlack") return &f.clipBlack;
  if (name == "clipWhite") return &f.clipWhite;
  if (name == "closeHoles") return &f.closeHoles;
  if (name == "shrinkGrow") return &f.shrinkGrow;
  if (name == "feather") return &f.feather;
  return nullptr;
}

// Throws BadRequest with the project file's message when f does not hold.
void CheckFinishing(const project::MatteFinishing& f) {
  try {
    project::ValidateFinishing(f, "");
  } catch (const host::HostError& e) {
    throw BadRequest(e.what());
  }
}

}  // namespace

ControlsView CKeyerSession::SetNumber(const std::string& name, double value,
                                      std::optional<long> gesture) {
  project::MatteFinishing probe;
  const bool finishing = FinishingNumber(probe, name) != nullptr;
  if (!finishing && name != Effect::kSoftness && name != Effect::kSpillSuppression)
    throw BadRequest("no number \"" + name + "\"");
  if (!finishing && !(value >= 0.0 && value <= 100.0))
    throw BadRequest("softness and spill are numbers from 0 to 100");
  return m_thread->Run([&] {
    const project::ProjectSettings before = SettingsBeforeChange();
    if (finishing) {
      project::MatteFinishing f = m_controls->finishing;
      *FinishingNumber(f, name) = value;
      CheckFinishing(f);
      m_controls->finishing = f;
    } else {
      m_controls->host->ChangeNumber(name, value);
    }
    if (!gesture) {
      Record(before);
      return View();
    }
    // The drag's first change opens its step; the step is recorded once
    // the settings differ from those before the drag.
    std::optional<Controls::Gesture>& g = m_controls->gesture;
    if (!g || g->name != name || g->id != *gesture)
      g = Controls::Gesture{name, *gesture, before, false};
    if (!g->recorded && !(g->before == ReadSettings())) {
      PushUndo(g->before);
      g->recorded = true;
    }
    return View();
  });
}

ControlsView CKeyerSession::ChangeFinishing(const project::MatteFinishing& f) {
  CheckFinishing(f);
  const project::ProjectSettings before = SettingsBeforeChange();
  m_controls->finishing = f;
  Record(before);
  return View();
}

ControlsView CKeyerSession::SetScreen(project::ScreenChannel screen) {
  return m_thread->Run([&] {
    project::MatteFinishing f = m_controls->finishing;
    f.screen = screen;
    return ChangeFinishing(f);
  });
}

ControlsView CKeyerSession::AddShape(const project::MatteShape& shape) {
  return m_thread->Run([&] {
    project::MatteFinishing f = m_controls->finishing;
    f.shapes.push_back(shape);
    return ChangeFinishing(f);
  });
}

ControlsView CKeyerSession::RemoveShape(std::size_t index) {
  return m_thread->Run([&] {
    project::MatteFinishing f = m_controls->finishing;
    if (index >= f.shapes.size())
      throw BadRequest("no such shape: " + std::to_string(index) + " of " +
                       std::to_string(f.shapes.size()) + " (counted from 0)");
    f.shapes.erase(f.shapes.begin() + std::ptrdiff_t(index));
    return ChangeFinishing(f);
  });
}

ControlsView CKeyerSession::Auto() {
  const std::shared_ptr<const ViewFrame> frame = Frame();
  const std::string shown = "frame " + std::to_string(frame->index + 1);
  const std::optional<matte::UnmixedKey> key = matte::UnmixKey(frame->full);
  if (!key)
    throw BadRequest("no backdrop found in " + shown + " (" + matte::NoBackdropReason() +
                     "): click the backdrop in the picture or draw a loop on the wheel");
  return m_thread->Run([&] {
    const project::ProjectSettings before = SettingsBeforeChange();
    project::ProjectSettings keyed = before;
    matte::ApplyUnmixedKey(*key, keyed, "the auto key");
    Restore(keyed);
    Record(before);
    ControlsView view = View();
    view.message = "auto key of " + shown + ": " + matte::DescribeUnmixedKey(*key, "");
    return view;
  });
}

ControlsView CKeyerSession::Pick(int x, int y, bool shift) {
  const std::shared_ptr<const ViewFrame> frame = Frame();
  if (x < 0 || y < 0 || x >= frame->width || y >= frame->height)
    throw BadRequest("the point (" + std::to_string(x) + ", " + std::to_string(y) +
                     ") lies outside the frame (" + std::to_string(frame->width) + " x " +
                     std::to_string(frame->height) + ")");
  const std::uint8_t* bgra = frame->full.Row(y) + std::size_t(x) * 4;
  return m_thread->Run([&] {
    const project::ProjectSettings before = SettingsBeforeChange();
    m_controls->host->PickKeyColour(bgra[2], bgra[1], bgra[0], {shift, false});
    Record(before);
    return View();
  });
}

ControlsView CKeyerSession::Undo() {
  return m_thread->Run([&] { return Step(true); });
}

ControlsView CKeyerSession::Redo() {
  return m_thread->Run([&] { return Step(false); });
}

// One step through the history: the settings on top of one stack are
// restored and the current ones go onto the other. Runs on the control
// thread.
ControlsView CKeyerSession::Step(bool back) {
  const project::ProjectSettings now = SettingsBeforeChange();
  m_controls->gesture.reset();
  auto& from = back ? m_controls->undo : m_controls->redo;
  auto& to = back ? m_controls->redo : m_controls->undo;
  if (!from.empty()) {
    to.push_back(now);
    Restore(from.back());
    from.pop_back();
  }
  return View();
}

ControlsView CKeyerSession::Current() {
  return m_thread->Run([&] { return View(); });
}

std::optional<CKeyerSession::ViewPart> CKeyerSession::RenderView(std::optional<Region> region,
                                                                 std::optional<int> scale) {
  const std::uint64_t request = ++m_renderRequests;
  std::lock_guard<std::mutex> lock(m_renderMutex);
  if (request != m_renderRequests.load()) return std::nullopt;  // a newer one waits
  const project::ProjectSettings settings = m_thread->Run([&] { return ReadSettings(); });
  const std::shared_ptr<const ViewFrame> frame = Frame();
  const PartPlace place = PlacePart(*frame, region, scale);
  return ViewPart{frame->index, place.FrameRegion(), place.scale,
                  m_renderer->Render(*frame, place, settings)};
}

CKeyerSession::ViewPart CKeyerSession::Original(std::optional<Region> region,
                                                std::optional<int> scale) const {
  const std::shared_ptr<const ViewFrame> frame = Frame();
  const PartPlace place = PlacePart(*frame, region, scale);
  return ViewPart{frame->index, place.FrameRegion(), place.scale, LevelPixels(*frame, place)};
}

std::shared_ptr<const ViewFrame> CKeyerSession::Frame() const {
  std::lock_guard<std::mutex> lock(m_frameMutex);
  return m_frame;
}

bool CKeyerSession::SelectFrame(long index) {
  if (index < 0 || (m_frameCount >= 0 && index >= m_frameCount))
    throw BadRequest(
        "no frame " + std::to_string(index) + " in " + m_input +
        (m_frameCount >= 0 ? " (frames 0 to " + std::to_string(m_frameCount - 1) + ")" : ""));
  const std::uint64_t request = ++m_seekRequests;
  std::lock_guard<std::mutex> lock(m_seekMutex);
  if (request != m_seekRequests.load()) return false;  // a newer one waits
  if (index == Frame()->index) return true;
  // A frame a little ahead of the last one read comes from the reader
  // still open (a video's next frames without a new seek). Otherwise a
  // video starts decoding shortly before the frame (StartAt), and a
  // sequence's frames before it are passed over without decoding.
  std::unique_ptr<media::FrameReader>& reader = m_reader;
  if (!reader || index < m_readerNext || index - m_readerNext > kReadAhead) {
    reader.reset();
    reader = media::FrameReader::Open(m_input);
    m_firstNumber = reader->numbers().empty() ? 1 : reader->numbers().front();
    reader->StartAt(m_firstNumber + index);
  }
  const long number = m_firstNumber + index;
  std::optional<media::InputFrame> frame;
  while ((frame = reader->Next()) && frame->number < number) {
  }
  m_readerNext = index + 1;
  if (!frame || frame->number != number) {
    reader.reset();
    throw BadRequest(m_input + ": frame " + std::to_string(index) +
                     " cannot be read (the input ends before it)");
  }
  std::shared_ptr<ViewFrame> view =
      MakeViewFrame(index, reader->Load(*frame), m_maxViewWidth, m_threads);
  std::lock_guard<std::mutex> frameLock(m_frameMutex);
  m_frame = std::move(view);
  return true;
}

void CKeyerSession::StartExport() {
  std::lock_guard<std::mutex> lock(m_exportMutex);
  if (!m_output) throw BadRequest("no output was named: start with --output FILE to export");
  if (m_export.running) throw BadRequest("an export is running");
  const project::ProjectSettings settings = m_thread->Run([&] { return ReadSettings(); });
  Save(settings);
  if (m_exportThread.joinable()) m_exportThread.join();
  m_export = ExportStatus{true, true, 0, -1, ""};
  render::RenderOptions options;
  options.input = m_input;
  options.output = *m_output;
  options.project = m_projectPath;  // named in messages; its settings are these
  options.settings = settings;
  options.force = m_force;
  m_exportThread = std::thread([this, options] {
    std::string message = "exported " + options.output;
    bool written = true;
    try {
      render::RenderWithProgress(options, [this](long done, long total) {
        std::lock_guard<std::mutex> progress(m_exportMutex);
        m_export.done = done;
        m_export.total = total;
      });
    } catch (const std::exception& e) {
      message = std::string("export failed: ") + e.what();
      written = false;
    }
    std::lock_guard<std::mutex> done(m_exportMutex);
    m_export.running = false;
    m_export.message = message;
    if (written) m_force = true;  // the output is now this session's own
  });
}

CKeyerSession::ExportStatus CKeyerSession::Export() const {
  std::lock_guard<std::mutex> lock(m_exportMutex);
  return m_export;
}

std::string CKeyerSession::Save() {
  return Save(m_thread->Run([&] { return ReadSettings(); }));
}

std::string CKeyerSession::Save(const project::ProjectSettings& settings) {
  if (!m_projectPath)
    throw host::HostError("no project file was named: start with --project FILE to save");
  const std::string text = project::ProjectToJson(settings);
  host::WriteFileAtomically(*m_projectPath, std::vector<std::uint8_t>(text.begin(), text.end()),
                            true);
  m_thread->Run([&] { m_controls->saved = settings; });
  return *m_projectPath;
}

}  // namespace mattix::serve
