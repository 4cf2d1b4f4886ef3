#include "host/serve/KeyerSession.h"

#include "host/base/HostError.h"
#include "host/base/OutputFile.h"
#include "host/effect/KeyingEffect.h"
#include "host/media/FrameReader.h"
#include "host/render/RenderJob.h"
#include "stdfx/HSL.h"
#include "wheel/WheelGeometry.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

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

// The whole factor that brings a frame width down to at most maxWidth.
int ShrinkFactor(int width, int maxWidth) { return std::max(1, (width + maxWidth - 1) / maxWidth); }

// The frame shrunk by a whole factor (the mean of each factor x factor
// block, rounded to nearest) so that it is at most maxWidth wide.
media::BgraImage Shrink(const media::BgraImage& frame, int maxWidth) {
  const int factor = ShrinkFactor(frame.width, maxWidth);
  if (factor <= 1) return frame;
  media::BgraImage view(frame.width / factor, frame.height / factor);
  const unsigned area = unsigned(factor * factor);
  for (int y = 0; y < view.height; ++y)
    for (int x = 0; x < view.width; ++x)
      for (int c = 0; c < 4; ++c) {
        unsigned sum = 0;
        for (int dy = 0; dy < factor; ++dy)
          for (int dx = 0; dx < factor; ++dx)
            sum += frame.Row(y * factor + dy)[std::size_t(x * factor + dx) * 4 + std::size_t(c)];
        view.Row(y)[std::size_t(x) * 4 + std::size_t(c)] = std::uint8_t((sum + area / 2) / area);
      }
  return view;
}

// The scopes of a frame: each pixel's hue and saturation at its wheel
// position (colours without hue at the grey position), its lightness at
// trunc(l * 255 + 0.5), as the keying engine reads them.
void CountColours(const media::BgraImage& frame, std::vector<std::uint32_t>& wheelCounts,
                  std::vector<std::uint32_t>& lightnessCounts) {
  wheelCounts.assign(std::size_t(wheel::kWidth) * wheel::kHeight, 0);
  lightnessCounts.assign(256, 0);
  for (int y = 0; y < frame.height; ++y) {
    const std::uint8_t* row = frame.Row(y);
    for (int x = 0; x < frame.width; ++x, row += 4) {
      float h = 0, l = 0, s = 0;
      stdfx::CHSL::RGBtoHLS(h, l, s, row[2], row[1], row[0]);
      wheel::Position p{wheel::kGreyRow, wheel::kGreyColumn};
      if (h >= 0.0f) p = wheel::PositionOf(h, s);
      // Buffer rows count from the bottom; the scope's from the top.
      ++wheelCounts[std::size_t(wheel::kHeight - 1 - p.row) * wheel::kWidth +
                    std::size_t(p.column)];
      ++lightnessCounts[std::size_t(std::min(255.0f, l * 255.0f + 0.5f))];
    }
  }
}

// The view frame of a frame of the input: shrunk, with its scopes.
std::shared_ptr<CKeyerSession::ViewFrame> MakeViewFrame(long index, const media::BgraImage& frame,
                                                        int maxViewWidth) {
  auto view = std::make_shared<CKeyerSession::ViewFrame>();
  view->index = index;
  view->width = frame.width;
  view->height = frame.height;
  view->scale = ShrinkFactor(frame.width, maxViewWidth);
  view->image = Shrink(frame, maxViewWidth);
  CountColours(view->image, view->vectorscope, view->histogram);
  return view;
}

// The part of the view image that covers region (frame pixels), widened
// to whole view pixels and kept within the frame.
CKeyerSession::ViewPart Crop(const CKeyerSession::ViewFrame& frame, std::optional<Region> region) {
  const int scale = frame.scale;
  const Region r = region.value_or(Region{0, 0, frame.width, frame.height});
  if (r.width <= 0 || r.height <= 0) throw BadRequest("the region is empty");
  const auto clampTo = [](long v, int limit) { return int(std::clamp<long>(v, 0, limit)); };
  const int left = clampTo(long(r.x) / scale - (r.x < 0 && r.x % scale ? 1 : 0), frame.image.width);
  const int top = clampTo(long(r.y) / scale - (r.y < 0 && r.y % scale ? 1 : 0), frame.image.height);
  const int right = clampTo((long(r.x) + r.width + scale - 1) / scale, frame.image.width);
  const int bottom = clampTo((long(r.y) + r.height + scale - 1) / scale, frame.image.height);
  if (right <= left || bottom <= top) throw BadRequest("the region lies outside the frame");
  CKeyerSession::ViewPart part;
  part.frameIndex = frame.index;
  part.scale = scale;
  part.region = Region{left * scale, top * scale, (right - left) * scale, (bottom - top) * scale};
  part.image = media::BgraImage(right - left, bottom - top);
  for (int y = top; y < bottom; ++y)
    std::memcpy(part.image.Row(y - top), frame.image.Row(y) + std::size_t(left) * 4,
                std::size_t(right - left) * 4);
  return part;
}

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
};

struct CKeyerSession::Renderer {
  std::mutex mutex;
  std::unique_ptr<host::CKeyingEffect> effect;
};

CKeyerSession::CKeyerSession(const std::string& input, const std::optional<std::string>& project,
                             const std::optional<std::string>& output, bool force, int maxViewWidth)
    : m_projectPath(project),
      m_output(output),
      m_force(force),
      m_input(input),
      m_maxViewWidth(maxViewWidth),
      m_thread(std::make_unique<internal::ControlThread>()),
      m_renderer(std::make_unique<Renderer>()) {
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
    render::CheckRenderOptions(options);
    host::CheckOutputAllowed(*output, force, inputs);
    m_export.available = true;
  }
  std::optional<media::InputFrame> first = reader->Next();
  if (!first) throw host::HostError(input + ": no frame");
  m_frameCount = reader->frameCount();
  m_frame = MakeViewFrame(0, reader->Load(*first), maxViewWidth);

  const std::shared_ptr<host::CHostModule> module = Effect::LoadModule();
  m_renderer->effect = std::make_unique<Effect>(module, settings);
  m_thread->Run([&] {
    m_controls = std::make_unique<Controls>();
    m_controls->effect = std::make_unique<Effect>(module, settings);
    m_controls->host = std::make_unique<host::CControlHost>(*m_controls->effect);
    for (const std::string& name : m_controls->host->Controls()) m_controls->host->Draw(name);
    m_controls->saved = ReadSettings();
  });
}

CKeyerSession::~CKeyerSession() {
  if (m_exportThread.joinable()) m_exportThread.join();
  m_thread->Run([this] { m_controls.reset(); });
}

project::ProjectSettings CKeyerSession::ReadSettings() const {
  return m_controls->effect->Settings();
}

// A change of the host's own (quiet: key colours are set, not picked), then
// both controls redrawn.
void CKeyerSession::Restore(const project::ProjectSettings& s) {
  host::CControlHost& host = *m_controls->host;
  host.ChangeNumber(Effect::kSoftness, s.softness, {}, true);
  host.ChangeNumber(Effect::kSpillSuppression, s.spillSuppression, {}, true);
  host.ChangeNumber(Effect::kKeyRed, s.keyRed, {}, true);
  host.ChangeNumber(Effect::kKeyGreen, s.keyGreen, {}, true);
  host.ChangeNumber(Effect::kKeyBlue, s.keyBlue, {}, true);
  std::vector<std::uint8_t> lightness(sizeof s.lightness);
  std::memcpy(lightness.data(), s.lightness.data(), lightness.size());
  host.ChangeData(Effect::kLightness, lightness, true);
  host.ChangeData(Effect::kChromaMask, s.chromaMask, true);
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
      if (held) {  // the drag's release never came
        host.Release(held->first ? Effect::kChromaMask : Effect::kLightness, held->second);
        held.reset();
        if (m_controls->dragStart) Record(*m_controls->dragStart);
      }
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
      const bool wheel = held ? held->first : e.wheel;
      const std::array<double, 4> lightness = m_controls->effect->Settings().lightness;
      host.Release(wheel ? Effect::kChromaMask : Effect::kLightness, e.point, e.keys);
      if (!wheel) KeepLightness(lightness);
      held.reset();
      if (m_controls->dragStart) Record(*m_controls->dragStart);
      m_controls->dragStart.reset();
    }
    return View();
  });
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

ControlsView CKeyerSession::SetNumber(const std::string& name, double value,
                                      std::optional<long> gesture) {
  if ((name != Effect::kSoftness && name != Effect::kSpillSuppression) ||
      !(value >= 0.0 && value <= 100.0))
    throw BadRequest("softness and spill are numbers from 0 to 100");
  return m_thread->Run([&] {
    const project::ProjectSettings before = ReadSettings();
    m_controls->host->ChangeNumber(name, value);
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

ControlsView CKeyerSession::Pick(int x, int y, bool shift) {
  const std::shared_ptr<const ViewFrame> frame = Frame();
  if (x < 0 || y < 0 || x >= frame->width || y >= frame->height)
    throw BadRequest("the point lies outside the frame");
  const int vx = std::min(x / frame->scale, frame->image.width - 1),
            vy = std::min(y / frame->scale, frame->image.height - 1);
  const std::uint8_t* bgra = frame->image.Row(vy) + std::size_t(vx) * 4;
  return m_thread->Run([&] {
    const project::ProjectSettings before = ReadSettings();
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
  m_controls->gesture.reset();
  auto& from = back ? m_controls->undo : m_controls->redo;
  auto& to = back ? m_controls->redo : m_controls->undo;
  if (!from.empty()) {
    to.push_back(ReadSettings());
    Restore(from.back());
    from.pop_back();
  }
  return View();
}

ControlsView CKeyerSession::Current() {
  return m_thread->Run([&] { return View(); });
}

std::optional<CKeyerSession::ViewPart> CKeyerSession::RenderView(std::optional<Region> region) {
  const std::uint64_t request = ++m_renderRequests;
  std::lock_guard<std::mutex> lock(m_renderer->mutex);
  if (request != m_renderRequests.load()) return std::nullopt;  // a newer one waits
  const project::ProjectSettings settings = m_thread->Run([&] { return ReadSettings(); });
  m_renderer->effect->Configure(settings);
  ViewPart part = Crop(*Frame(), region);
  part.image = m_renderer->effect->Key(part.image);
  return part;
}

CKeyerSession::ViewPart CKeyerSession::Original(std::optional<Region> region) const {
  return Crop(*Frame(), region);
}

std::shared_ptr<const CKeyerSession::ViewFrame> CKeyerSession::Frame() const {
  std::lock_guard<std::mutex> lock(m_frameMutex);
  return m_frame;
}

bool CKeyerSession::SelectFrame(long index) {
  if (index < 0 || (m_frameCount >= 0 && index >= m_frameCount)) throw BadRequest("no such frame");
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
    throw BadRequest("no such frame");
  }
  std::shared_ptr<ViewFrame> view = MakeViewFrame(index, reader->Load(*frame), m_maxViewWidth);
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
