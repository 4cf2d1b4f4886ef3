#include "host/effect/ControlHost.h"

#include "host/base/HostError.h"
#include "tarn/Effect.h"
#include "win/WinGdi.h"

#include <bit>
#include <string>
#include <utility>

namespace mattix::host {

namespace {

// Window pixels (BGRA bytes) are read as 0xAARRGGBB words: the machine's
// own order.
static_assert(std::endian::native == std::endian::little);

constexpr int kScreenMargin = 16;  // left edge, top edge and gap, in pixels

void SetKeys(Keys keys) {
  WinSetAsyncKeyState(VK_SHIFT, keys.shift ? TRUE : FALSE);
  WinSetAsyncKeyState(VK_MENU, keys.alt ? TRUE : FALSE);
}

}  // namespace

namespace {

// The host's panel behind a control: the controls' own grey (162, 162, 162),
// so the parts of the area a control does not paint (beside the wheel
// picture, above the bar's handles) match it.
void PaintPanel(HWND hwnd) {
  RECT client{};
  GetClientRect(hwnd, &client);
  const HDC dc = GetDC(hwnd);
  const HBRUSH brush = CreateSolidBrush(RGB(162, 162, 162));
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  ReleaseDC(hwnd, dc);
}

}  // namespace

CControlHost::CControlHost(CKeyingEffect& effect) : m_effect(effect) {
  int top = kScreenMargin;
  for (const PIM::RefPtr<CParameter>& parameter : effect.Instance().Parameters()->Parameters()) {
    const std::int32_t index = parameter->Index();
    const Tarn::TRect<long> rect = effect.Instance().ControlRect(index);
    if (rect.Width() <= 0 || rect.Height() <= 0 || m_windows.count(index) != 0) continue;
    const HWND hwnd = WinCreateWindow(kScreenMargin, top, rect.Width(), rect.Height());
    if (hwnd == nullptr) {
      for (const auto& [created, window] : m_windows) WinDestroyWindow(window);
      throw HostError("cannot create a " + std::to_string(rect.Width()) + " x " +
                      std::to_string(rect.Height()) + " window for the control of parameter \"" +
                      parameter->Name() + "\"");
    }
    PaintPanel(hwnd);
    m_windows[index] = hwnd;
    top += rect.Height() + kScreenMargin;
  }
}

CControlHost::~CControlHost() {
  for (const auto& [index, hwnd] : m_windows) WinDestroyWindow(hwnd);
}

std::vector<std::string> CControlHost::Controls() const {
  std::vector<std::string> names;
  for (const auto& [index, hwnd] : m_windows)
    names.push_back(m_effect.Instance().Parameter(index)->Name());
  return names;
}

std::int32_t CControlHost::Index(const std::string& name) const {
  return m_effect.Parameter(name).Index();
}

HWND CControlHost::Window(std::int32_t index) const {
  const auto found = m_windows.find(index);
  return found != m_windows.end() ? found->second : nullptr;
}

template <class Call>
EventResult CControlHost::Send(EventDescription description, Call call) {
  const HWND hwnd = static_cast<HWND>(description.window);
  const HDC hdc = hwnd != nullptr ? GetDC(hwnd) : nullptr;
  description.deviceContext = hdc;
  description.parameters = PIM::RefPtr<CParameterSet>::Retain(m_effect.Instance().Parameters());
  PIM::RefPtr<CEvent> event = Make<CEvent>(std::move(description));
  EventResult result;
  result.status = call(event.Get());
  if (hdc != nullptr) ReleaseDC(hwnd, hdc);
  result.handled = event->Handled();
  result.changes = event->Changes();
  return result;
}

EventResult CControlHost::Draw(const std::string& name, std::int32_t kind) {
  const PIM::RefPtr<Tarn::IFXCustomDrawEvent> effect =
      m_effect.Instance().Query<Tarn::IFXCustomDrawEvent>();
  if (!effect) throw HostError(m_effect.ModulePath() + ": the effect draws no controls");
  EventDescription description;
  description.kind = kind;
  description.parameterIndex = Index(name);
  description.window = Window(description.parameterIndex);
  return Send(std::move(description), [&](CEvent* event) { return effect->DrawControl(event); });
}

EventResult CControlHost::Press(const std::string& name, POINT point, Button button, Keys keys) {
  m_held = button;
  return Forward(name, point, keys, Pointer::kDown, button);
}

EventResult CControlHost::Move(const std::string& name, POINT point, Keys keys) {
  return Forward(name, point, keys, Pointer::kMove, m_held);
}

EventResult CControlHost::Release(const std::string& name, POINT point, Keys keys) {
  m_held.reset();  // the button is up when the release is reported
  return Forward(name, point, keys, Pointer::kUp, std::nullopt);
}

EventResult CControlHost::Forward(const std::string& name, POINT point, Keys keys, Pointer pointer,
                                  std::optional<Button> button) {
  const PIM::RefPtr<Tarn::IFXCustomUserEvent> effect =
      m_effect.Instance().Query<Tarn::IFXCustomUserEvent>();
  if (!effect) throw HostError(m_effect.ModulePath() + ": the effect takes no user events");
  const std::int32_t index = Index(name);
  const HWND hwnd = Window(index);
  POINT screen = point;
  if (hwnd != nullptr && ClientToScreen(hwnd, &screen)) SetCursorPos(screen.x, screen.y);
  SetKeys(keys);
  EventDescription description;
  description.parameterIndex = index;
  description.window = hwnd;
  description.mouse =
      MouseState{point.x, point.y, button == Button::kLeft, button == Button::kRight};
  return Send(std::move(description), [&](CEvent* event) {
    switch (pointer) {
      case Pointer::kDown:
        return effect->OnMouseDown(event);
      case Pointer::kUp:
        return effect->OnMouseUp(event);
      case Pointer::kMove:
        break;
    }
    return effect->OnMouseMove(event);
  });
}

EventResult CControlHost::ChangeNumber(const std::string& name, double value, Keys keys,
                                       bool quiet) {
  m_effect.SetNumber(name, value);
  return Announce(Index(name), keys, quiet);
}

EventResult CControlHost::ChangeData(const std::string& name,
                                     const std::vector<std::uint8_t>& bytes, bool quiet) {
  m_effect.SetData(name, bytes);
  return Announce(Index(name), Keys{}, quiet);
}

EventResult CControlHost::PickKeyColour(double red, double green, double blue, Keys keys) {
  const std::pair<const char*, double> values[] = {{CKeyingEffect::kKeyRed, red},
                                                   {CKeyingEffect::kKeyGreen, green},
                                                   {CKeyingEffect::kKeyBlue, blue}};
  const char* changed = nullptr;
  for (const auto& [name, value] : values) {
    if (changed == nullptr && m_effect.Number(name) != value) changed = name;
    m_effect.SetNumber(name, value);
  }
  return Announce(Index(changed != nullptr ? changed : CKeyingEffect::kKeyRed), keys, false);
}

EventResult CControlHost::Announce(std::int32_t index, Keys keys, bool quiet) {
  const PIM::RefPtr<Tarn::IFXParameterChangeEvent> effect =
      m_effect.Instance().Query<Tarn::IFXParameterChangeEvent>();
  if (!effect) throw HostError(m_effect.ModulePath() + ": the effect takes no parameter changes");
  SetKeys(keys);
  EventDescription description;
  description.parameterIndex = index;
  description.window =
      Window(index) != nullptr ? Window(index) : Window(Index(CKeyingEffect::kChromaMask));
  return Send(std::move(description),
              [&](CEvent* event) { return effect->OnParameterChanged(event, nullptr, quiet); });
}

ControlPixels CControlHost::Pixels(const std::string& name) const {
  ControlPixels image;
  RECT client{};
  const HWND hwnd = Window(Index(name));
  if (hwnd == nullptr || !GetClientRect(hwnd, &client)) return image;
  image.width = client.right - client.left;
  image.height = client.bottom - client.top;
  image.pixels.assign(
      static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height), 0);
  if (!WinReadWindowPixels(hwnd, image.pixels.data(), long(image.width) * 4)) return {};
  return image;
}

std::optional<CursorImage> CControlHost::Cursor() {
  CursorImage cursor;
  cursor.pixels.assign(32 * 32, 0);
  if (!WinGetCursorImage(cursor.pixels.data(), &cursor.hotSpot)) return std::nullopt;
  return cursor;
}

}  // namespace mattix::host
