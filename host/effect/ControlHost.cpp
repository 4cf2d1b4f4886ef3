#include "host/effect/ControlHost.h"

#include "host/base/HostError.h"
#include "tarn/Effect.h"
#include "win/WinGdi.h"

#include <bit>
#include <cstring>
#include <string>

namespace mattix::host {

namespace {

// Window pixels (BGRA bytes) are read as 0xAARRGGBB words, and "Lightness"
// holds little-endian doubles: both the machine's own order.
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

CControlHost::CControlHost(CEffectInstance& instance) : m_instance(instance) {
  int top = kScreenMargin;
  for (const PIM::RefPtr<CParameter>& parameter : instance.Parameters()->Parameters()) {
    const std::int32_t index = parameter->Index();
    const Tarn::TRect<long> rect = instance.ControlRect(index);
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

std::vector<std::int32_t> CControlHost::Controls() const {
  std::vector<std::int32_t> indexes;
  for (const auto& [index, hwnd] : m_windows) indexes.push_back(index);
  return indexes;
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
  description.parameters = PIM::RefPtr<CParameterSet>::Retain(m_instance.Parameters());
  PIM::RefPtr<CEvent> event = Make<CEvent>(std::move(description), m_onChange);
  EventResult result;
  result.status = call(event.Get());
  if (hdc != nullptr) ReleaseDC(hwnd, hdc);
  result.handled = event->Handled();
  result.changes = event->Changes();
  return result;
}

EventResult CControlHost::Draw(std::int32_t index, std::int32_t kind) {
  const PIM::RefPtr<Tarn::IFXCustomDrawEvent> effect = m_instance.Query<Tarn::IFXCustomDrawEvent>();
  if (!effect) throw HostError("the effect draws no controls");
  EventDescription description;
  description.kind = kind;
  description.parameterIndex = index;
  description.window = Window(index);
  return Send(std::move(description), [&](CEvent* event) { return effect->DrawControl(event); });
}

EventResult CControlHost::Press(std::int32_t index, POINT point, Button button, Keys keys) {
  m_held = button;
  return Forward(index, point, keys, Pointer::kDown, button);
}

EventResult CControlHost::Move(std::int32_t index, POINT point, Keys keys) {
  return Forward(index, point, keys, Pointer::kMove, m_held);
}

EventResult CControlHost::Release(std::int32_t index, POINT point, Keys keys) {
  m_held.reset();  // the button is up when the release is reported
  return Forward(index, point, keys, Pointer::kUp, std::nullopt);
}

EventResult CControlHost::Forward(std::int32_t index, POINT point, Keys keys, Pointer pointer,
                                  std::optional<Button> button) {
  const PIM::RefPtr<Tarn::IFXCustomUserEvent> effect = m_instance.Query<Tarn::IFXCustomUserEvent>();
  if (!effect) throw HostError("the effect takes no user events");
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

EventResult CControlHost::ChangeNumber(std::int32_t index, double value, Keys keys, bool quiet) {
  if (const PIM::Status status = m_instance.SetNumber(index, value); status != PIM::kOk) {
    return EventResult{status, std::nullopt, {}};
  }
  return Announce(index, keys, quiet);
}

EventResult CControlHost::ChangeData(std::int32_t index, const std::vector<std::uint8_t>& bytes,
                                     bool quiet) {
  if (const PIM::Status status =
          m_instance.SetData(index, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
      status != PIM::kOk) {
    return EventResult{status, std::nullopt, {}};
  }
  return Announce(index, Keys{}, quiet);
}

EventResult CControlHost::PickKeyColour(double red, double green, double blue, Keys keys) {
  constexpr std::int32_t kKeyRed = 2;  // then "Key Green" and "Key Blue"
  const double values[3] = {red, green, blue};
  std::int32_t changed = -1;
  for (std::int32_t i = 0; i < 3; ++i) {
    if (m_instance.Number(kKeyRed + i) != values[i] && changed < 0) changed = kKeyRed + i;
    if (const PIM::Status status = m_instance.SetNumber(kKeyRed + i, values[i]);
        status != PIM::kOk) {
      return EventResult{status, std::nullopt, {}};
    }
  }
  return Announce(changed >= 0 ? changed : kKeyRed, keys, false);
}

EventResult CControlHost::Announce(std::int32_t index, Keys keys, bool quiet) {
  const PIM::RefPtr<Tarn::IFXParameterChangeEvent> effect =
      m_instance.Query<Tarn::IFXParameterChangeEvent>();
  if (!effect) throw HostError("the effect takes no parameter changes");
  SetKeys(keys);
  EventDescription description;
  description.parameterIndex = index;
  description.window = Window(index) != nullptr ? Window(index) : Window(kWheelParameter);
  return Send(std::move(description),
              [&](CEvent* event) { return effect->OnParameterChanged(event, nullptr, quiet); });
}

ControlPixels CControlHost::Pixels(std::int32_t index) const {
  ControlPixels image;
  RECT client{};
  const HWND hwnd = Window(index);
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

std::array<double, 4> CControlHost::LightnessValues() const {
  constexpr std::int32_t kLightness = 5;
  std::array<double, 4> values{};
  const std::vector<std::uint8_t> bytes = Value(kLightness);
  if (bytes.size() >= sizeof values) std::memcpy(values.data(), bytes.data(), sizeof values);
  return values;
}

}  // namespace mattix::host
