#pragma once
// CKeyerServer: the keyer's page and its HTTP interface over a
// CKeyerSession.
//
//   GET  /                 the page's shell (keyer.html; keyer.js and keyer.css
//                          beside it, all embedded into the program: PageFiles.h)
//   GET  /api/controls     the controls as they are now (see below)
//   POST /api/pointer?control=wheel|bar&kind=down|move|up&x=X&y=Y
//                    [&button=left|right][&shift=1][&alt=1]
//   POST /api/number?name=N&value=V[&gesture=G]   softness or spill (percent),
//                          or a matte finishing setting: despill,
//                          despillEdge, unmix, refine, clipBlack, clipWhite,
//                          closeHoles, shrinkGrow, feather (the project file's names
//                          and units); the changes of one
//                          gesture number are one undo step
//   POST /api/screen?channel=green|blue  the screen colour despill limits
//   POST /api/shape        a garbage or keep shape, the body as the project
//                          file holds one: {"keep": false, "points": [[x, y],
//                          ...]} (frame pixels)
//   POST /api/shape/remove?index=I       removes the shape at that index
//   GET  /api/finishing    the finishing as the project file holds it (JSON)
//   POST /api/auto         `mattix key auto` on the frame shown, one undo step;
//                          header X-Message says what it chose
//   POST /api/pick?x=X&y=Y[&shift=1]     a frame pixel's colour as the key
//   POST /api/undo, POST /api/redo
//   GET  /api/view[?x=X&y=Y&w=W&h=H][&scale=S]   a region of the frame (frame
//                          pixels; all of it without) keyed and finished, at
//                          scale S (frame pixels a pixel, 1 to the view's;
//                          the view's without): raw RGBA (straight alpha),
//                          rows top-down; headers X-Width, X-Height (the
//                          pixels sent), X-Region ("X Y W H", the region
//                          covered), X-Scale, X-Frame (its index); 204 when
//                          a newer request superseded it. At scale 1, the
//                          pixels `mattix render` makes
//   GET  /api/frame[?x=...]  the same, unkeyed
//   POST /api/frame?index=N  shows frame N of a sequence or video (from 0),
//                          reached by seeking: {"frameIndex": N}, or 204 when
//                          a newer change superseded it
//   GET  /api/cursor.png   the module's current cursor (404 while hidden)
//   GET  /api/scopes       the frame's vectorscope (the wheel mask's size,
//                          rows top-down) then its lightness histogram (256
//                          counts), unsigned 32-bit little-endian
//   POST /api/save         writes the project file named on the command line
//   POST /api/export       saves, then renders the whole input into the output
//                          named on the command line, in the background, with
//                          the settings of that moment
//   GET  /api/export       the export's progress: {"available", "running",
//                          "done", "total" (-1: unknown), "message"}
//
// The controls' answer (each pointer, number, screen, shape, auto, pick,
// undo and redo request gets it, so one request per user action) is the
// wheel's RGBA pixels followed by the bar's, with headers X-State (the
// parameters, the finishing, the history and the sizes the page lays out,
// as one line of JSON: see StateJson) and X-Cursor ("ID HOTX HOTY", or
// "none").
//
// Security: every /api/ request must carry the session's token (random,
// printed in the page's address as ?token=, sent by the page in the X-Token
// header), so that only who was given the address reads pictures or
// changes anything, also with --host from another machine. Without it only
// the page's files are served, and only under this keyer's own names (its
// address, or any of the machine's and its name when it listens on all;
// 127.0.0.1, localhost, [::1]; at its port), so that pages of other sites
// and names rebound to this machine get nothing; with it, an Origin header
// must be the page's own. Every answer forbids framing (against
// clickjacking) and sniffing, and sends no referrer. The connection limits
// (request size, deadlines, workers) are CHttpServer's; a malformed request
// gets 400 with a message.
#include "host/serve/KeyerSession.h"

#include <memory>
#include <set>
#include <string>

namespace mattix::serve {

class CHttpServer;

// mattix serve INPUT [--project P] [--output OUT [--force]] [--port N] [--host ADDR]
struct ServeOptions {
  std::string input;
  std::optional<std::string> project;
  std::optional<std::string> output;  // where Export renders
  bool force = false;
  int port = 8765;                 // 0: any free port
  std::string host = "127.0.0.1";  // the address listened on
};

class CKeyerServer {
 public:
  // token: the session's secret; random unless given (tests).
  explicit CKeyerServer(CKeyerSession& session, std::optional<std::string> token = std::nullopt);
  ~CKeyerServer();
  CKeyerServer(const CKeyerServer&) = delete;
  CKeyerServer& operator=(const CKeyerServer&) = delete;

  // Binds to host at port (0: a free one); returns the port. Throws
  // host::HostError with the reason.
  int Bind(const std::string& host, int port);
  const std::string& Token() const { return m_token; }
  // Serves until Stop (from another thread). Returns false on a failure.
  bool Listen();
  void Stop();

 private:
  // What a request may reach: nothing, the page's files, or everything.
  enum class Access { kRefused, kShell, kSession };
  void Routes();
  Access Check(const std::string& hostHeader, const std::string& origin,
               const std::string& token) const;

  CKeyerSession& m_session;
  std::string m_token;
  std::unique_ptr<CHttpServer> m_server;
  std::set<std::string> m_hosts;  // "ADDR:PORT" forms the Host header may take
};

// `mattix serve`: opens the session, prints the page's address and serves
// until interrupted. Returns the exit status; throws host::HostError.
int Serve(const ServeOptions& options);

}  // namespace mattix::serve
