#include "host/serve/KeyerServer.h"

#include "host/base/HostError.h"
#include "host/base/Json.h"
#include "host/base/RowBands.h"
#include "host/effect/KeyingEffect.h"
#include "host/media/JobPool.h"
#include "host/media/PngFile.h"
#include "host/serve/PageFiles.h"
#include "wheel/BarScale.h"
#include "wheel/WheelGeometry.h"

#include "host/serve/HttpServer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>

namespace mattix::serve {

namespace {

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

// The shapes' identity: a hash of their kinds and points.
std::uint32_t ShapesHash(const std::vector<project::MatteShape>& shapes) {
  std::uint32_t h = Fnv(nullptr, 0);
  for (const project::MatteShape& shape : shapes) {
    const char keep = shape.keep ? 1 : 0;
    h = Fnv(shape.points.data(), shape.points.size() * sizeof shape.points[0], Fnv(&keep, 1, h));
  }
  return h;
}

// The state's "version" tells the page when to render the view again: a
// hash of every setting.
std::uint32_t SettingsHash(const project::ProjectSettings& s) {
  const project::MatteFinishing& f = s.finishing;
  const double key[] = {s.softness,     s.spillSuppression, s.keyRed,
                        s.keyGreen,     s.keyBlue,          s.lightness[0],
                        s.lightness[1], s.lightness[2],     s.lightness[3]};
  const double blue = f.screen == project::ScreenChannel::kBlue ? 1.0 : 0.0;
  const double finishing[] = {f.despill,   f.despillEdge, f.unmix,      f.refine,  f.clipBlack,
                              f.clipWhite, f.closeHoles,  f.shrinkGrow, f.feather, blue};
  return Fnv(s.chromaMask.data(), s.chromaMask.size(),
             Fnv(key, sizeof key, Fnv(finishing, sizeof finishing, ShapesHash(f.shapes))));
}

host::JsonValue Numbers(std::initializer_list<double> values) {
  host::JsonValue array = host::JsonValue::Array();
  for (const double v : values) array.Append(host::JsonValue::Number(v));
  return array;
}

// The finishing's settings as the project file names them, its shapes
// counted ("shapes") and identified by a hash ("shapesVersion"): the page
// asks for the points (GET /api/finishing) when that changes.
host::JsonValue Finishing(const project::MatteFinishing& f) {
  using host::JsonValue;
  JsonValue o = JsonValue::Object();
  const JsonValue all = project::FinishingToJson(f);
  for (const JsonValue::Member& m : all.Members())
    if (m.first != "shapes") o.Add(m.first, m.second);
  o.Add("shapes", JsonValue::Number(double(f.shapes.size())));
  o.Add("shapesVersion", JsonValue::Number(ShapesHash(f.shapes)));
  return o;
}

// The parameters, the history and the sizes the page lays out: the
// controls', the wheel mask's place on the wheel (the vectorscope's), the
// bar's scale from 0 to 100 % lightness (the histogram's) and the frame's;
// and the ranges of the finishing's pixel sliders, the project file's.
std::string StateJson(const ControlsView& v, const CKeyerSession& session) {
  using host::JsonValue;
  const project::ProjectSettings& s = v.settings;
  const std::shared_ptr<const ViewFrame> frame = session.Frame();
  const int barLeft = wheel::kBarMargin, barRight = barLeft + wheel::BarSpan(v.bar.width);
  constexpr double kRadius = project::MatteFinishing::kMaxRadius;
  constexpr double kEdge = project::MatteFinishing::kMaxEdge;
  return JsonValue::Object({
                               {"version", JsonValue::Number(SettingsHash(s))},
                               {"softness", JsonValue::Number(s.softness)},
                               {"spill", JsonValue::Number(s.spillSuppression)},
                               {"key", Numbers({s.keyRed, s.keyGreen, s.keyBlue})},
                               {"lightness", Numbers({s.lightness[0], s.lightness[1],
                                                      s.lightness[2], s.lightness[3]})},
                               {"mask", JsonValue::Bool(s.HasMask())},
                               {"canUndo", JsonValue::Bool(v.canUndo)},
                               {"canRedo", JsonValue::Bool(v.canRedo)},
                               {"saved", JsonValue::Bool(v.saved)},
                               {"wheel", Numbers({double(v.wheel.width), double(v.wheel.height)})},
                               {"scope", Numbers({0, 0, wheel::kWidth, wheel::kHeight})},
                               {"bar", Numbers({double(v.bar.width), double(v.bar.height)})},
                               {"barScale", Numbers({double(barLeft), double(barRight)})},
                               {"frame", Numbers({double(frame->width), double(frame->height)})},
                               {"viewScale", JsonValue::Number(frame->scale)},
                               {"frameIndex", JsonValue::Number(double(frame->index))},
                               {"frameCount", JsonValue::Number(double(session.FrameCount()))},
                               {"finishing", Finishing(s.finishing)},
                               {"limits", JsonValue::Object({
                                              {"despillEdge", Numbers({0, kEdge})},
                                              {"refine", Numbers({0, kRadius})},
                                              {"shrinkGrow", Numbers({-kRadius, kRadius})},
                                              {"feather", Numbers({0, kRadius})},
                                          })},
                           })
      .WriteCompact();
}

// A cursor's identity: a hash of its pixels and hot spot.
std::uint32_t CursorId(const host::CursorImage& c) {
  const long hot[] = {c.hotSpot.x, c.hotSpot.y};
  return Fnv(hot, sizeof hot, Fnv(c.pixels.data(), c.pixels.size() * 4));
}

// A text as a header holds it: one line of printable characters.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = ' ';
  return text;
}

void SendControls(httplib::Response& res, const ControlsView& v, const CKeyerSession& session) {
  std::string body;
  body.reserve((v.wheel.pixels.size() + v.bar.pixels.size()) * 4);
  AppendRgba(body, v.wheel);
  AppendRgba(body, v.bar);
  res.set_header("X-State", StateJson(v, session));
  if (!v.message.empty()) res.set_header("X-Message", OneLine(v.message));
  res.set_header("X-Cursor", v.cursor ? std::to_string(CursorId(*v.cursor)) + " " +
                                            std::to_string(v.cursor->hotSpot.x) + " " +
                                            std::to_string(v.cursor->hotSpot.y)
                                      : std::string("none"));
  res.set_content(body, "application/octet-stream");
}

// A region named by x, y, w and h (frame pixels), or none when all four
// are absent.
std::optional<Region> RegionParam(const httplib::Request& req) {
  if (!req.has_param("x") && !req.has_param("y") && !req.has_param("w") && !req.has_param("h"))
    return std::nullopt;
  return Region{IntParam(req, "x"), IntParam(req, "y"), IntParam(req, "w"), IntParam(req, "h")};
}

// The scale asked for, or none.
std::optional<int> ScaleParam(const httplib::Request& req) {
  if (!req.has_param("scale")) return std::nullopt;
  return IntParam(req, "scale");
}

// A picture as raw RGBA: its pixels turned from BGRA in place, in bands
// one a processor, and sent from there (not copied into the answer).
void SendImage(httplib::Response& res, media::BgraImage image) {
  host::ForEachBand(image.height, media::DefaultJobCount(), [&](int, int first, int count) {
    std::uint8_t* row = image.Row(first);
    for (std::size_t i = 0; i < image.Stride() * std::size_t(count); i += 4)
      std::swap(row[i], row[i + 2]);
  });
  res.set_header("X-Width", std::to_string(image.width));
  res.set_header("X-Height", std::to_string(image.height));
  const auto pixels = std::make_shared<const std::vector<std::uint8_t>>(std::move(image.pixels));
  res.set_content_provider(
      pixels->size(), "application/octet-stream",
      [pixels](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        return sink.write(reinterpret_cast<const char*>(pixels->data() + offset), length);
      });
}

// A part of the view: its pixels, the frame, the region it covers and its
// scale.
void SendPart(httplib::Response& res, CKeyerSession::ViewPart part) {
  const Region& r = part.region;
  res.set_header("X-Frame", std::to_string(part.frameIndex));
  res.set_header("X-Region", std::to_string(r.x) + " " + std::to_string(r.y) + " " +
                                 std::to_string(r.width) + " " + std::to_string(r.height));
  res.set_header("X-Scale", std::to_string(part.scale));
  SendImage(res, std::move(part.image));
}

// 24 random bytes as hexadecimal. Throws host::HostError when the system
// has no randomness to give.
std::string NewToken() {
  unsigned char bytes[24];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw host::HostError("serve: no random numbers for the session's token");
    got += std::size_t(n);
  }
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char b : bytes) token += {digits[b >> 4], digits[b & 15]};
  return token;
}

// Compares in a time that does not depend on where the texts differ.
bool SameSecret(const std::string& given, const std::string& secret) {
  if (given.size() != secret.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < given.size(); ++i)
    diff |= static_cast<unsigned char>(given[i] ^ secret[i]);
  return diff == 0;
}

// Headers of every answer: no page of another origin may frame this one
// (clickjacking), no content is sniffed, no address leaks as a referrer,
// the page loads only its own files, nothing is cached.
httplib::Headers SecurityHeaders() {
  return {{"Content-Security-Policy",
           "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; "
           "form-action 'none'"},
          {"X-Frame-Options", "DENY"},
          {"X-Content-Type-Options", "nosniff"},
          {"Referrer-Policy", "no-referrer"},
          {"Cross-Origin-Opener-Policy", "same-origin"},
          {"Cross-Origin-Resource-Policy", "same-origin"},
          {"Cache-Control", "no-store"}};
}

// A refusal with its message. The message also goes in a header, from which
// the error handler (which runs on every status from 400 and replaces the
// body) restores it.
void Refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_header("X-Error", OneLine(message));
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
    case 431:
      return "the request's headers are too large";
    default:
      return "malformed request (HTTP status " + std::to_string(status) + ")";
  }
}

// One of the page's files, or 404.
void SendPageFile(httplib::Response& res, const std::string& name) {
  for (const PageFile& file : PageFiles()) {
    if (name != file.name) continue;
    const std::string extension = name.substr(name.rfind('.'));
    const char* type = extension == ".html" ? "text/html; charset=utf-8"
                       : extension == ".js" ? "text/javascript; charset=utf-8"
                                            : "text/css; charset=utf-8";
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

CKeyerServer::CKeyerServer(CKeyerSession& session, std::optional<std::string> token)
    : m_session(session),
      m_token(token ? *token : NewToken()),
      m_server(std::make_unique<CHttpServer>(SecurityHeaders())) {
  Routes();
}

CKeyerServer::~CKeyerServer() = default;

CKeyerServer::Access CKeyerServer::Check(const std::string& hostHeader, const std::string& origin,
                                         const std::string& token) const {
  if (SameSecret(token, m_token))
    return origin.empty() || origin == "http://" + hostHeader ? Access::kSession : Access::kRefused;
  // Without the token: the page's shell only, to pages of this keyer's own
  // names (not to other sites, nor to names rebound to this machine).
  if (m_hosts.count(hostHeader) == 0) return Access::kRefused;
  constexpr std::string_view scheme = "http://";
  if (!origin.empty() && (origin.compare(0, scheme.size(), scheme) != 0 ||
                          m_hosts.count(origin.substr(scheme.size())) == 0))
    return Access::kRefused;
  return Access::kShell;
}

void CKeyerServer::Routes() {
  httplib::Server& s = *m_server;
  // SO_REUSEADDR alone: a restart may take the port back at once, but a
  // second server cannot share it (httplib's default, SO_REUSEPORT, would let
  // two keyers answer on one port in turn).
  s.set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // The page's files need no token (they hold no picture and change
  // nothing); every /api/ request needs it, in the X-Token header.
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const Access access = Check(req.get_header_value("Host"), req.get_header_value("Origin"),
                                req.get_header_value("X-Token"));
    const bool api = req.path.rfind("/api/", 0) == 0;
    if (access == Access::kSession || (access == Access::kShell && !api))
      return httplib::Server::HandlerResponse::Unhandled;
    Refuse(res, 403,
           access == Access::kRefused
               ? "refused: the request's Host or Origin is not this keyer's address (only pages "
                 "it serves may drive it)"
               : "refused: the session's token is missing or wrong (open the address that "
                 "mattix serve printed, with its ?token=)");
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
  s.Post(
      "/api/number", Guard([this](const httplib::Request& req, httplib::Response& res) {
        std::string name =
            Choice(req, "name",
                   {"softness", "spill", "despill", "despillEdge", "unmix", "refine", "clipBlack",
                    "clipWhite", "closeHoles", "shrinkGrow", "feather"});
        if (name == "softness") name = host::CKeyingEffect::kSoftness;
        if (name == "spill") name = host::CKeyingEffect::kSpillSuppression;
        const std::optional<long> gesture =
            req.has_param("gesture") ? std::optional<long>(IntParam(req, "gesture")) : std::nullopt;
        SendControls(res, m_session.SetNumber(name, NumberParam(req, "value"), gesture), m_session);
      }));
  s.Post("/api/screen", Guard([this](const httplib::Request& req, httplib::Response& res) {
           const bool blue = Choice(req, "channel", {"green", "blue"}) == "blue";
           SendControls(res,
                        m_session.SetScreen(blue ? project::ScreenChannel::kBlue
                                                 : project::ScreenChannel::kGreen),
                        m_session);
         }));
  s.Post("/api/shape", Guard([this](const httplib::Request& req, httplib::Response& res) {
           // The shape as the project file holds one, read by its reader.
           project::MatteFinishing shape;
           try {
             host::JsonValue finishing = host::JsonValue::Object();
             finishing.Add("shapes",
                           host::JsonValue::Array({host::JsonValue::Parse(req.body, "shape")}));
             shape = project::ReadFinishing(finishing, "shape");
           } catch (const host::HostError& e) {
             throw BadRequest(e.what());
           }
           SendControls(res, m_session.AddShape(shape.shapes.at(0)), m_session);
         }));
  s.Post("/api/shape/remove", Guard([this](const httplib::Request& req, httplib::Response& res) {
           const int index = IntParam(req, "index");
           if (index < 0) throw BadRequest("no such shape: " + std::to_string(index));
           SendControls(res, m_session.RemoveShape(std::size_t(index)), m_session);
         }));
  s.Get("/api/finishing", Guard([this](const httplib::Request&, httplib::Response& res) {
          res.set_content(
              project::FinishingToJson(m_session.Current().settings.finishing).WriteCompact(),
              "application/json");
        }));
  s.Post("/api/auto", Guard([this](const httplib::Request&, httplib::Response& res) {
           SendControls(res, m_session.Auto(), m_session);
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
  s.Get("/api/view", Guard([this](const httplib::Request& req, httplib::Response& res) {
          std::optional<CKeyerSession::ViewPart> keyed =
              m_session.RenderView(RegionParam(req), ScaleParam(req));
          if (!keyed) {
            res.status = 204;  // superseded by a newer request
            return;
          }
          SendPart(res, std::move(*keyed));
        }));
  s.Get("/api/frame", Guard([this](const httplib::Request& req, httplib::Response& res) {
          SendPart(res, m_session.Original(RegionParam(req), ScaleParam(req)));
        }));
  s.Post("/api/frame", Guard([this](const httplib::Request& req, httplib::Response& res) {
           if (!m_session.SelectFrame(IntParam(req, "index"))) {
             res.status = 204;  // a newer frame change won
             return;
           }
           const host::JsonValue frame = host::JsonValue::Object(
               {{"frameIndex", host::JsonValue::Number(double(m_session.Frame()->index))}});
           res.set_content(frame.WriteCompact(), "application/json");
         }));
  s.Get("/api/scopes", [this](const httplib::Request&, httplib::Response& res) {
    const std::shared_ptr<const ViewFrame> frame = m_session.Frame();
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

namespace {

// Loopback names: listening on them reaches this machine only.
bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// A host as it stands in an address (an IPv6 address in brackets).
std::string AddressHost(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace

int CKeyerServer::Bind(const std::string& host, int port) {
  const int bound = m_server->Bind(host, port);
  if (bound <= 0) {
    const int error = errno;
    std::string reason = error ? std::strerror(error) : "no such address on this machine";
    if (error == EADDRINUSE) reason += ": is another server using the port?";
    if (error == EACCES) reason += ": ports below 1024 need privileges";
    throw host::HostError("serve: cannot listen on " + host + " port " + std::to_string(port) +
                          " (" + reason + ")");
  }
  const std::string suffix = ":" + std::to_string(bound);
  m_hosts = {AddressHost(host) + suffix, "127.0.0.1" + suffix, "localhost" + suffix,
             "[::1]" + suffix};
  // On a wildcard address the keyer is reached by any of the machine's
  // addresses, or by its name.
  if (host == "0.0.0.0" || host == "::") {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) == 0 && name[0]) m_hosts.insert(name + suffix);
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) == 0) {
      for (const ifaddrs* i = interfaces; i; i = i->ifa_next) {
        if (!i->ifa_addr) continue;
        const int family = i->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        char text[INET6_ADDRSTRLEN] = "";
        const void* address =
            family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr)
                : &reinterpret_cast<sockaddr_in6*>(i->ifa_addr)->sin6_addr;
        if (::inet_ntop(family, address, text, sizeof text))
          m_hosts.insert(AddressHost(text) + suffix);
      }
      ::freeifaddrs(interfaces);
    }
  }
  return bound;
}

bool CKeyerServer::Listen() { return m_server->Listen(); }

void CKeyerServer::Stop() { m_server->stop(); }

int Serve(const ServeOptions& options) {
  // Every render allocates pictures of the same few sizes (the part, its
  // matte, the answer): once freed they stay in the heap for the next one
  // rather than being mapped afresh and faulted in page by page (up to 32
  // MiB, the most glibc allows; a UHD frame's are still mapped). One heap
  // for every thread: requests are served by whichever of the server's
  // threads is free, and a heap of each thread's own would be faulted in
  // afresh by each (an Auto key's buffers cost a fifth of its time so).
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
  ::mallopt(M_ARENA_MAX, 1);
  CKeyerSession session(options.input, options.project, options.output, options.force);
  CKeyerServer server(session);
  const int port = server.Bind(options.host, options.port);
  std::string shown = options.host;
  if (!IsLoopback(options.host)) {
    std::fprintf(stderr,
                 "mattix serve: warning: listening on %s, not on this machine only: other "
                 "machines may reach the keyer (its token keeps out whoever was not given the "
                 "address)\n",
                 options.host.c_str());
    // A wildcard address is reached by the machine's name.
    char name[256] = "";
    if ((options.host == "0.0.0.0" || options.host == "::") &&
        ::gethostname(name, sizeof name - 1) == 0 && name[0])
      shown = name;
  }
  std::printf("mattix serve: keying %s at http://%s:%d/?token=%s (Ctrl+C stops)\n",
              options.input.c_str(), AddressHost(shown).c_str(), port, server.Token().c_str());
  std::fflush(stdout);
  if (!server.Listen())
    throw host::HostError("serve: cannot serve on " + AddressHost(options.host) + " port " +
                          std::to_string(port));
  return 0;
}

}  // namespace mattix::serve
