#pragma once
// CKeyerServer: the keyer's page and its HTTP interface over a
// CKeyerSession, for one user on this machine.
//
//   GET  /                 the page (keyer.html; keyer.js and keyer.css beside it,
//                          all embedded into the program: PageFiles.h)
//   GET  /api/controls     the controls as they are now (see below)
//   POST /api/pointer?control=wheel|bar&kind=down|move|up&x=X&y=Y
//                    [&button=left|right][&shift=1][&alt=1]
//   POST /api/number?name=softness|spill&value=V      percent
//   POST /api/pick?x=X&y=Y[&shift=1]                  a view pixel's colour as the key
//   POST /api/undo, POST /api/redo
//   GET  /api/view         the keyed frame: raw RGBA (straight alpha), rows
//                          top-down, X-Width/X-Height headers; 204 when a newer
//                          request superseded it
//   GET  /api/frame        the frame unkeyed, likewise (X-Frame: its index)
//   POST /api/frame?index=N  shows frame N of a sequence or video (from 0)
//   GET  /api/cursor.png   the module's current cursor (404 while hidden)
//   GET  /api/scopes       the frame's vectorscope (241 x 209 counts at the wheel
//                          positions, rows top-down) then its lightness
//                          histogram (256 counts), unsigned 32-bit little-endian
//   POST /api/save         writes the project file named on the command line
//   POST /api/export       saves, then renders the whole input into the output
//                          named on the command line, in the background
//   GET  /api/export       the export's progress: {"available", "running",
//                          "done", "total" (-1: unknown), "message"}
//
// The controls' answer (each pointer, number, pick, undo and redo request
// gets it, so one request per user action) is the wheel's RGBA pixels
// followed by the bar's, with headers X-State (the parameters, the history
// and the sizes the page lays out, as one line of JSON: see StateJson) and
// X-Cursor ("ID HOTX HOTY", or "none").
//
// Security: requests whose Host header is not the server's own address (or
// 127.0.0.1/localhost at its port) and requests with an Origin header that is
// not one of those are refused with 403, so that pages of other sites and
// DNS rebinding cannot drive it. Bodies are limited to 1 KiB; a malformed
// request gets 400 with a message.
#include "host/serve/KeyerSession.h"

#include <memory>
#include <set>
#include <string>

namespace httplib {
class Server;
}

namespace mattix::serve {

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
  explicit CKeyerServer(CKeyerSession& session);
  ~CKeyerServer();
  CKeyerServer(const CKeyerServer&) = delete;
  CKeyerServer& operator=(const CKeyerServer&) = delete;

  // Binds to host at port (0: a free one); returns the port. Throws host::HostError.
  int Bind(const std::string& host, int port);
  // Serves until Stop (from another thread). Returns false on a failure.
  bool Listen();
  void Stop();

 private:
  void Routes();
  bool Allowed(const std::string& hostHeader, const std::string& origin) const;

  CKeyerSession& m_session;
  std::unique_ptr<httplib::Server> m_server;
  std::set<std::string> m_hosts;  // "ADDR:PORT" forms the Host header may take
};

// `mattix serve`: opens the session, prints the page's address and serves
// until interrupted. Returns the exit status; throws host::HostError.
int Serve(const ServeOptions& options);

}  // namespace mattix::serve
