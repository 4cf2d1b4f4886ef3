#pragma once
// CHttpServer: cpp-httplib's server with limits that hold under abuse, for
// a page that must keep answering while slow or flooding clients connect.
//
// httplib (0.11, Debian's build) gives every connection a worker thread
// from the moment it is accepted until it closes, reads a request line or a
// header of any length into memory, and has no deadline for a whole
// request: eight clients that send a byte every few seconds hold all its
// workers. Here a connection holds no worker while its request arrives: a
// poller thread reads it into the connection's buffer, and a worker runs
// httplib's request handling only once the whole request (head and body) is
// there, reading from that buffer and never from the network. The limits:
//
//   request line                             8 KiB (414 above it)
//   request head (request line and headers)  16 KiB (431 above it)
//   body                                     kMaxBody bytes with a
//                                            Content-Length (413 above it);
//                                            none on GET and HEAD, no chunked
//                                            bodies (400, 411)
//   whole request                            kRequestSeconds from the
//                                            connection's start or its last
//                                            answer (408, or closed when idle)
//   requests on one connection               kMaxRequests, then it closes
//   connections waiting for a request        kMaxConnections: the oldest is
//                                            closed to make room
//   workers                                  kWorkers; listen queue 128
//   sending an answer                        kSendSeconds without progress
//
// Refusals made before a request reaches httplib are answered here, with
// the headers of every answer (set_default_headers) and "Connection: close".
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mattix::serve {

class CHttpServer : public httplib::Server {
 public:
  static constexpr std::size_t kMaxHead = 16 * 1024;
  static constexpr std::size_t kMaxBody = 64 * 1024;  // a shape drawn on the picture
  static constexpr int kRequestSeconds = 5;
  static constexpr int kSendSeconds = 5;
  static constexpr int kMaxRequests = 100;
  static constexpr std::size_t kMaxConnections = 256;
  static constexpr int kWorkers = 8;
  static constexpr int kListenQueue = 128;

  // Headers sent with every answer, also with the refusals made here.
  explicit CHttpServer(httplib::Headers headers);
  ~CHttpServer() override;
  CHttpServer(const CHttpServer&) = delete;
  CHttpServer& operator=(const CHttpServer&) = delete;

  // Binds as httplib does, then lengthens the listen queue. Returns the
  // port (port 0: a free one), or -1 with errno set.
  int Bind(const std::string& host, int port);
  // Serves until Stop; then closes every connection and ends the threads.
  // Returns false when the server could not run.
  bool Listen();

 private:
  struct Connection;
  using Clock = std::chrono::steady_clock;

  // Called by httplib on one of its threads for each accepted socket: the
  // socket goes to the poller, which owns it from then on.
  bool process_and_close_socket(socket_t sock) override;

  void Poll();
  void Work();
  // On the poller: reads what arrived; the connection is then handed to
  // a worker, kept waiting, or closed. False when it was closed.
  bool Receive(Connection& c);
  // What the buffer holds: 0 not yet a whole request, 1 a whole request,
  // or an HTTP status that refuses it.
  static int Examine(const std::string& buffer);
  void Refuse(Connection& c, int status);
  // Hands a connection back to the poller (from a worker) or to a worker.
  void Wait(std::unique_ptr<Connection> c);
  void Ready(std::unique_ptr<Connection> c);
  void Wake();

  const httplib::Headers m_headers;
  int m_epoll = -1;
  int m_wake = -1;  // an eventfd that wakes the poller

  std::mutex m_mutex;
  std::condition_variable m_workAvailable;
  std::vector<std::unique_ptr<Connection>> m_incoming;  // to the poller
  std::deque<std::unique_ptr<Connection>> m_ready;      // to the workers
  bool m_stopping = false;

  std::thread m_poller;
  std::vector<std::thread> m_workers;
};

}  // namespace mattix::serve
