#include "host/serve/KeyerServer.h"

#include "host/base/HostError.h"
#include "host/base/Json.h"
#include "host/media/PngFile.h"
#include "host/serve/PageFiles.h"
#include "wheel/BarScale.h"
#include "wheel/WheelGeometry.h"

#include <httplib.h>

#include <sys/socket.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>

namespace mattix::serve {

namespace {

constexpr std::size_t kMaxBody = 1024;

std::string Param(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) throw BadRequest(std::string("missing parameter \"") + name + "\"");
  return req.get_param_value(name);
}

int IntParam(const httplib::Request& req, const char* name) {
  const std::string text = Param(req, name);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty())
    throw BadRequest(std::string("parameter \"") + name + "\" is not a whole number");
  return value;
}

double NumberParam(const httplib::Request& req, const char* name) {
  const std::string text = Param(req, name);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
      !std::isfinite(value))
    throw BadRequest(std::string("parameter \"") + name + "\" is not a number");
  return value;
}

// "0"/"1" flags; absent is false.
bool FlagParam(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return false;
  const std::string text = req.get_param_value(name);
  if (text != "0" && text != "1")
    throw BadRequest(std::string("parameter \"") + name + "\" must be 0 or 1");
  return text == "1";
}

std::string Choice(const httplib::Request& req, const char* name,
                   std::initializer_list<const char*> choices) {
  const std::string text = Param(req, name);
  for (const char* c : choices)
    if (text == c) return text;
  throw BadRequest(std::string("parameter \"") + name + "\" has an unknown value");
}

void AppendRgba(std::string& out, const host::ControlPixels& p) {
  for (const std::uint32_t c : p.pixels) {
    const char rgba[4] = {char((c >> 16) & 255), char((c >> 8) & 255), char(c & 255), char(255)};
    out.append(rgba, 4);
  }
}

// FNV-1a over bytes, continuing from h.
std::uint32_t Fnv(const void* data, std::size_t size, std::uint32_t h = 2166136261u) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 16777619u;
  return h;
}

// The state's "version" tells the page when to render the view again: a
// hash of every parameter value.
std::uint32_t SettingsHash(const project::ProjectSettings& s) {
  const double numbers[] = {s.softness,     s.spillSuppression, s.keyRed,
                            s.keyGreen,     s.keyBlue,          s.lightness[0],
                            s.lightness[1], s.lightness[2],     s.lightness[3]};
  return Fnv(s.chromaMask.data(), s.chromaMask.size(), Fnv(numbers, sizeof numbers));
}

host::JsonValue Numbers(std::initializer_list<double> values) {
  host::JsonValue array = host::JsonValue::Array();
  for (const double v : values) array.Append(host::JsonValue::Number(v));
  return array;
}

// The parameters, the history and the sizes the page lays out: the
// controls', the wheel mask's place on the wheel (the vectorscope's), the
// bar's scale from 0 to 100 % lightness (the histogram's) and the frame's.
std::string StateJson(const ControlsView& v, const CKeyerSession& session) {
  using host::JsonValue;
  const project::ProjectSettings& s = v.settings;
  const std::shared_ptr<const CKeyerSession::ViewFrame> frame = session.Frame();
  const int barLeft = wheel::kBarMargin, barRight = barLeft + wheel::BarSpan(v.bar.width);
  return JsonValue::Object(
             {
                 {"version", JsonValue::Number(SettingsHash(s))},
                 {"softness", JsonValue::Number(s.softness)},
                 {"spill", JsonValue::Number(s.spillSuppression)},
                 {"key", Numbers({s.keyRed, s.keyGreen, s.keyBlue})},
                 {"lightness",
                  Numbers({s.lightness[0], s.lightness[1], s.lightness[2], s.lightness[3]})},
                 {"mask", JsonValue::Bool(s.HasMask())},
                 {"canUndo", JsonValue::Bool(v.canUndo)},
                 {"canRedo", JsonValue::Bool(v.canRedo)},
                 {"wheel", Numbers({double(v.wheel.width), double(v.wheel.height)})},
                 {"scope", Numbers({0, 0, wheel::kWidth, wheel::kHeight})},
                 {"bar", Numbers({double(v.bar.width), double(v.bar.height)})},
                 {"barScale", Numbers({double(barLeft), double(barRight)})},
                 {"frame", Numbers({double(frame->image.width), double(frame->image.height)})},
                 {"frameIndex", JsonValue::Number(double(frame->index))},
                 {"frameCount", JsonValue::Number(double(session.FrameCount()))},
             })
      .WriteCompact();
}

// A cursor's identity: a hash of its pixels and hot spot.
std::uint32_t CursorId(const host::CursorImage& c) {
  const long hot[] = {c.hotSpot.x, c.hotSpot.y};
  return Fnv(hot, sizeof hot, Fnv(c.pixels.data(), c.pixels.size() * 4));
}

void SendControls(httplib::Response& res, const ControlsView& v, const CKeyerSession& session) {
  std::string body;
  body.reserve((v.wheel.pixels.size() + v.bar.pixels.size()) * 4);
  AppendRgba(body, v.wheel);
  AppendRgba(body, v.bar);
  res.set_header("X-State", StateJson(v, session));
  res.set_header("X-Cursor", v.cursor ? std::to_string(CursorId(*v.cursor)) + " " +
                                            std::to_string(v.cursor->hotSpot.x) + " " +
                                            std::to_string(v.cursor->hotSpot.y)
                                      : std::string("none"));
  res.set_header("Cache-Control", "no-store");
  res.set_content(body, "application/octet-stream");
}

void SendImage(httplib::Response& res, const media::BgraImage& image) {
  std::string body(image.pixels.size(), '\0');
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    body[i] = char(image.pixels[i + 2]);
    body[i + 1] = char(image.pixels[i + 1]);
    body[i + 2] = char(image.pixels[i]);
    body[i + 3] = char(image.pixels[i + 3]);
  }
  res.set_header("X-Width", std::to_string(image.width));
  res.set_header("X-Height", std::to_string(image.height));
  res.set_header("Cache-Control", "no-store");
  res.set_content(body, "application/octet-stream");
}

// A refusal with its message. The message also goes in a header, from which
// the error handler (which runs on every status from 400 and replaces the
// body) restores it.
void Refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  std::string line = message;  // a header holds one line of printable text
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  res.set_header("X-Error", line);
  res.set_content(message + "\n", "text/plain");
}

// The message of a refusal that httplib itself makes.
std::string DefaultMessage(int status) {
  switch (status) {
    case 404:
      return "no such page or interface";
    case 405:
      return "method not allowed here";
    case 413:
      return "the request is too large";
    case 414:
      return "the request's address is too long";
    default:
      return "malformed request (HTTP status " + std::to_string(status) + ")";
  }
}

// One of the page's files, or 404.
void SendPageFile(httplib::Response& res, const std::string& name) {
  for (const PageFile& file : PageFiles()) {
    if (name != file.name) continue;
    const std::string_view extension = name.substr(name.rfind('.'));
    const char* type = extension == ".html" ? "text/html; charset=utf-8"
                       : extension == ".js" ? "text/javascript; charset=utf-8"
                                            : "text/css; charset=utf-8";
    if (extension == ".html")
      res.set_header("Content-Security-Policy", "default-src 'self'; img-src 'self' data:");
    res.set_content(std::string(file.Text()), type);
    return;
  }
  Refuse(res, 404, "no such page or interface");
}

// Runs a handler; its errors become answers with a message.
httplib::Server::Handler Guard(std::function<void(const httplib::Request&, httplib::Response&)> f) {
  return [f = std::move(f)](const httplib::Request& req, httplib::Response& res) {
    try {
      f(req, res);
    } catch (const BadRequest& e) {
      Refuse(res, 400, e.what());
    } catch (const std::exception& e) {
      Refuse(res, 500, e.what());
    }
  };
}

}  // namespace

CKeyerServer::CKeyerServer(CKeyerSession& session)
    : m_session(session), m_server(std::make_unique<httplib::Server>()) {
  Routes();
}

CKeyerServer::~CKeyerServer() = default;

bool CKeyerServer::Allowed(const std::string& hostHeader, const std::string& origin) const {
  if (m_hosts.count(hostHeader) == 0) return false;
  if (origin.empty()) return true;
  constexpr std::string_view scheme = "http://";
  return origin.compare(0, scheme.size(), scheme) == 0 &&
         m_hosts.count(origin.substr(scheme.size())) != 0;
}

void CKeyerServer::Routes() {
  httplib::Server& s = *m_server;
  s.set_payload_max_length(kMaxBody);
  // SO_REUSEADDR alone: a restart may take the port back at once, but a
  // second server cannot share it (httplib's default, SO_REUSEPORT, would let
  // two keyers answer on one port in turn).
  s.set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (Allowed(req.get_header_value("Host"), req.get_header_value("Origin")))
      return httplib::Server::HandlerResponse::Unhandled;
    Refuse(res, 403,
           "refused: the request's Host or Origin is not this keyer's address (only pages it "
           "serves may drive it)");
    return httplib::Server::HandlerResponse::Handled;
  });
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    const std::string message = res.get_header_value("X-Error");
    res.set_content((message.empty() ? DefaultMessage(res.status) : message) + "\n", "text/plain");
  });

  // The page: its shell at / and its files by name.
  s.Get("/",
        [](const httplib::Request&, httplib::Response& res) { SendPageFile(res, "keyer.html"); });
  s.Get(R"(/([a-z]+\.(js|css)))", [](const httplib::Request& req, httplib::Response& res) {
    SendPageFile(res, req.matches[1].str());
  });
  s.Get("/api/controls", Guard([this](const httplib::Request&, httplib::Response& res) {
          SendControls(res, m_session.Current(), m_session);
        }));
  s.Post("/api/pointer", Guard([this](const httplib::Request& req, httplib::Response& res) {
           PointerEvent e;
           e.wheel = Choice(req, "control", {"wheel", "bar"}) == "wheel";
           const std::string kind = Choice(req, "kind", {"down", "move", "up"});
           e.kind = kind == "down"   ? PointerKind::kDown
                    : kind == "move" ? PointerKind::kMove
                                     : PointerKind::kUp;
           e.point = POINT{IntParam(req, "x"), IntParam(req, "y")};
           if (req.has_param("button"))
             e.button = Choice(req, "button", {"left", "right"}) == "left" ? host::Button::kLeft
                                                                           : host::Button::kRight;
           e.keys = host::Keys{FlagParam(req, "shift"), FlagParam(req, "alt")};
           SendControls(res, m_session.Pointer(e), m_session);
         }));
  s.Post("/api/number", Guard([this](const httplib::Request& req, httplib::Response& res) {
           const int index = Choice(req, "name", {"softness", "spill"}) == "softness" ? 0 : 1;
           SendControls(res, m_session.SetNumber(index, NumberParam(req, "value")), m_session);
         }));
  s.Post("/api/pick", Guard([this](const httplib::Request& req, httplib::Response& res) {
           SendControls(
               res, m_session.Pick(IntParam(req, "x"), IntParam(req, "y"), FlagParam(req, "shift")),
               m_session);
         }));
  s.Post("/api/undo", Guard([this](const httplib::Request&, httplib::Response& res) {
           SendControls(res, m_session.Undo(), m_session);
         }));
  s.Post("/api/redo", Guard([this](const httplib::Request&, httplib::Response& res) {
           SendControls(res, m_session.Redo(), m_session);
         }));
  s.Get("/api/view", Guard([this](const httplib::Request&, httplib::Response& res) {
          std::optional<media::BgraImage> keyed = m_session.RenderView();
          if (!keyed) {
            res.status = 204;  // superseded by a newer request
            return;
          }
          SendImage(res, *keyed);
        }));
  s.Get("/api/frame", Guard([this](const httplib::Request&, httplib::Response& res) {
          const std::shared_ptr<const CKeyerSession::ViewFrame> frame = m_session.Frame();
          res.set_header("X-Frame", std::to_string(frame->index));
          SendImage(res, frame->image);
        }));
  s.Post("/api/frame", Guard([this](const httplib::Request& req, httplib::Response& res) {
           m_session.SelectFrame(IntParam(req, "index"));
           SendControls(res, m_session.Current(), m_session);
         }));
  s.Get("/api/scopes", [this](const httplib::Request&, httplib::Response& res) {
    const std::shared_ptr<const CKeyerSession::ViewFrame> frame = m_session.Frame();
    const std::vector<std::uint32_t>& wheel = frame->vectorscope;
    const std::vector<std::uint32_t>& bins = frame->histogram;
    std::string body;
    for (const std::vector<std::uint32_t>* counts : {&wheel, &bins})
      for (const std::uint32_t c : *counts) {
        const char le[4] = {char(c & 255), char((c >> 8) & 255), char((c >> 16) & 255),
                            char(c >> 24)};
        body.append(le, 4);
      }
    res.set_content(body, "application/octet-stream");
  });
  s.Get("/api/cursor.png", Guard([this](const httplib::Request&, httplib::Response& res) {
          const std::optional<host::CursorImage> cursor = m_session.Current().cursor;
          if (!cursor) return Refuse(res, 404, "the cursor is hidden");
          media::BgraImage image(32, 32);
          std::memcpy(image.pixels.data(), cursor->pixels.data(), image.pixels.size());
          const std::vector<std::uint8_t> png = media::EncodePng(image, "cursor.png");
          res.set_content(std::string(png.begin(), png.end()), "image/png");
        }));
  s.Post("/api/export", Guard([this](const httplib::Request&, httplib::Response& res) {
           m_session.StartExport();
           res.set_content("exporting\n", "text/plain");
         }));
  s.Get("/api/export", [this](const httplib::Request&, httplib::Response& res) {
    const CKeyerSession::ExportStatus e = m_session.Export();
    using host::JsonValue;
    const JsonValue status = JsonValue::Object({{"available", JsonValue::Bool(e.available)},
                                                {"running", JsonValue::Bool(e.running)},
                                                {"done", JsonValue::Number(double(e.done))},
                                                {"total", JsonValue::Number(double(e.total))},
                                                {"message", JsonValue::String(e.message)}});
    res.set_header("Cache-Control", "no-store");
    res.set_content(status.WriteCompact(), "application/json");
  });
  s.Post("/api/save", Guard([this](const httplib::Request&, httplib::Response& res) {
           std::string path;
           try {
             path = m_session.Save();
           } catch (const host::HostError& e) {
             throw BadRequest(e.what());
           }
           res.set_content("saved " + path + "\n", "text/plain");
         }));
}

int CKeyerServer::Bind(const std::string& host, int port) {
  const int bound = port == 0 ? m_server->bind_to_any_port(host.c_str())
                              : (m_server->bind_to_port(host.c_str(), port) ? port : -1);
  if (bound <= 0)
    throw host::HostError("serve: cannot listen on " + host + " port " + std::to_string(port));
  const std::string suffix = ":" + std::to_string(bound);
  // An IPv6 address stands in brackets in a Host header.
  const std::string named = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  m_hosts = {named + suffix, "127.0.0.1" + suffix, "localhost" + suffix};
  return bound;
}

bool CKeyerServer::Listen() { return m_server->listen_after_bind(); }

void CKeyerServer::Stop() { m_server->stop(); }

int Serve(const ServeOptions& options) {
  CKeyerSession session(options.input, options.project, options.output, options.force);
  CKeyerServer server(session);
  const int port = server.Bind(options.host, options.port);
  if (options.host != "127.0.0.1")
    std::fprintf(stderr,
                 "mattix serve: warning: listening on %s, not on 127.0.0.1 only: other machines "
                 "may reach the keyer\n",
                 options.host.c_str());
  const std::string named =
      options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
  std::printf("mattix serve: keying %s at http://%s:%d/ (Ctrl+C stops)\n", options.input.c_str(),
              named.c_str(), port);
  std::fflush(stdout);
  if (!server.Listen())
    throw host::HostError("serve: cannot serve on " + named + " port " + std::to_string(port) +
                          " (is another server using it?)");
  return 0;
}

}  // namespace mattix::serve
