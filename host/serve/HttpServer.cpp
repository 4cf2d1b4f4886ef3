#include "host/serve/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <string_view>

namespace mattix::serve {

namespace {

// httplib's own limit on the request line (CPPHTTPLIB_REQUEST_URI_MAX_LENGTH).
constexpr std::size_t kMaxRequestLine = 8192;
// What a refused client may still send, and for how long, before its
// connection closes: reading it first lets the refusal arrive rather than
// a reset.
constexpr std::size_t kDrainBytes = 1 << 20;
constexpr auto kDrainTime = std::chrono::seconds(1);

const char* Reason(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    default:
      return "Request Header Fields Too Large";
  }
}

const char* Message(int status) {
  switch (status) {
    case 400:
      return "malformed request: a bad Content-Length, or a body on a GET";
    case 408:
      return "the request did not arrive in time";
    case 411:
      return "a body needs a Content-Length (chunked bodies are not taken)";
    case 413:
      return "the request is too large";
    case 414:
      return "the request's address is too long";
    default:
      return "the request's headers are too large";
  }
}

bool EqualsLower(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void Address(socket_t fd, bool peer, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  auto* a = reinterpret_cast<sockaddr*>(&address);
  if ((peer ? ::getpeername(fd, a, &size) : ::getsockname(fd, a, &size)) != 0) return;
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
    port = ntohs(in->sin6_port);
  }
  ip = text;
}

}  // namespace

struct CHttpServer::Connection {
  explicit Connection(socket_t s) : fd(s) {}
  ~Connection() { ::close(fd); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  socket_t fd;
  std::string buffer;  // received, not yet handled
  Clock::time_point deadline;
  int served = 0;            // requests answered
  bool peerClosed = false;   // the client sent all it will send
  std::size_t draining = 0;  // refused: bytes still read and dropped before closing
};

namespace {

// The stream httplib reads a request from and writes its answer to: the
// request comes from the connection's buffer, never from the network (a
// read past it is the end of the stream); the answer goes to the socket,
// waiting at most kSendSeconds for each bit of progress.
class BufferedStream : public httplib::Stream {
 public:
  BufferedStream(std::string& buffer, socket_t fd, int sendSeconds)
      : m_buffer(buffer), m_fd(fd), m_sendMs(sendSeconds * 1000) {}
  ~BufferedStream() override { m_buffer.erase(0, m_read); }

  bool failed() const { return m_failed; }

  bool is_readable() const override { return m_read < m_buffer.size(); }
  bool is_writable() const override { return !m_failed; }
  ssize_t read(char* ptr, size_t size) override {
    const std::size_t n = std::min(size, m_buffer.size() - m_read);
    std::memcpy(ptr, m_buffer.data() + m_read, n);
    m_read += n;
    return ssize_t(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    std::size_t done = 0;
    while (done < size && !m_failed) {
      const ssize_t n = ::send(m_fd, ptr + done, size - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += std::size_t(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, m_sendMs) <= 0) m_failed = true;
      } else {
        m_failed = true;
      }
    }
    return m_failed ? -1 : ssize_t(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(m_fd, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(m_fd, false, ip, port);
  }
  socket_t socket() const override { return m_fd; }

 private:
  std::string& m_buffer;
  std::size_t m_read = 0;
  socket_t m_fd;
  int m_sendMs;
  bool m_failed = false;
};

}  // namespace

CHttpServer::CHttpServer(httplib::Headers headers) : m_headers(std::move(headers)) {
  set_default_headers(m_headers);
  set_payload_max_length(kMaxBody);
  set_keep_alive_max_count(kMaxRequests);
  set_keep_alive_timeout(kRequestSeconds);
  // httplib's own threads only hand accepted sockets over.
  new_task_queue = [] { return new httplib::ThreadPool(2); };
}

CHttpServer::~CHttpServer() {
  if (m_epoll >= 0) ::close(m_epoll);
  if (m_wake >= 0) ::close(m_wake);
}

int CHttpServer::Bind(const std::string& host, int port) {
  errno = 0;
  const int bound = port == 0 ? bind_to_any_port(host) : (bind_to_port(host, port) ? port : -1);
  if (bound <= 0) return -1;
  // httplib listens with a queue of 5; a page's burst of requests needs more.
  ::listen(svr_sock_, kListenQueue);
  return bound;
}

bool CHttpServer::Listen() {
  m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
  m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_epoll < 0 || m_wake < 0) return false;
  epoll_event e{};
  e.events = EPOLLIN;
  e.data.fd = m_wake;
  ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &e);
  m_poller = std::thread([this] { Poll(); });
  for (int i = 0; i < kWorkers; ++i) m_workers.emplace_back([this] { Work(); });

  const bool ok = listen_after_bind();

  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_workAvailable.notify_all();
  Wake();
  m_poller.join();
  for (std::thread& t : m_workers) t.join();
  m_workers.clear();
  m_ready.clear();
  m_incoming.clear();
  return ok;
}

bool CHttpServer::process_and_close_socket(socket_t sock) {
  auto c = std::make_unique<Connection>(sock);
  ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
  // Answers go out at once rather than wait for the client's
  // acknowledgement of the headers (Nagle's algorithm).
  int yes = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  c->deadline = Clock::now() + std::chrono::seconds(kRequestSeconds);
  Wait(std::move(c));
  return true;
}

void CHttpServer::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void CHttpServer::Wait(std::unique_ptr<Connection> c) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) return;  // closed
    m_incoming.push_back(std::move(c));
  }
  Wake();
}

void CHttpServer::Ready(std::unique_ptr<Connection> c) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) return;
    m_ready.push_back(std::move(c));
  }
  m_workAvailable.notify_one();
}

int CHttpServer::Examine(const std::string& buffer) {
  const std::size_t lineEnd = buffer.find("\r\n");
  if (lineEnd == std::string::npos) return buffer.size() > kMaxRequestLine ? 414 : 0;
  if (lineEnd > kMaxRequestLine) return 414;
  const std::size_t headEnd = buffer.find("\r\n\r\n");
  if (headEnd == std::string::npos) return buffer.size() >= kMaxHead ? 431 : 0;
  if (headEnd + 4 > kMaxHead) return 431;

  const std::string_view head(buffer.data(), headEnd + 2);
  const std::string_view method = head.substr(0, head.find(' '));
  std::size_t length = 0;
  bool lengthSeen = false;
  for (std::size_t at = lineEnd + 2; at < head.size();) {
    const std::size_t end = head.find("\r\n", at);
    const std::string_view line = head.substr(at, end - at);
    at = end + 2;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, colon), value = Trim(line.substr(colon + 1));
    if (EqualsLower(name, "transfer-encoding")) return 411;
    if (!EqualsLower(name, "content-length")) continue;
    std::size_t n = 0;
    const auto [ptr, error] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (error == std::errc::result_out_of_range) return 413;
    if (error != std::errc() || ptr != value.data() + value.size() || value.empty() ||
        (lengthSeen && n != length))
      return 400;
    length = n;
    lengthSeen = true;
  }
  if (length > kMaxBody) return 413;
  if (length > 0 && (method == "GET" || method == "HEAD")) return 400;
  return buffer.size() >= headEnd + 4 + length ? 1 : 0;
}

void CHttpServer::Refuse(Connection& c, int status) {
  std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
  for (const auto& [name, value] : m_headers) answer += name + ": " + value + "\r\n";
  const std::string body = std::string(Message(status)) + "\n";
  answer += "Content-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body;
  // Small enough for the socket's buffer: one try, no waiting.
  [[maybe_unused]] const ssize_t n =
      ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  ::shutdown(c.fd, SHUT_WR);
  c.buffer.clear();
  c.buffer.shrink_to_fit();
  c.draining = kDrainBytes;
  c.deadline = Clock::now() + kDrainTime;
}

bool CHttpServer::Receive(Connection& c) {
  char chunk[16384];
  for (;;) {
    std::size_t room = sizeof chunk;
    if (!c.draining) room = std::min(room, kMaxHead + kMaxBody - c.buffer.size());
    if (room == 0) break;
    const ssize_t n = ::recv(c.fd, chunk, room, 0);
    if (n > 0) {
      if (c.draining) {
        c.draining -= std::min(c.draining, std::size_t(n));
        if (!c.draining) return false;
      } else {
        c.buffer.append(chunk, std::size_t(n));
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    c.peerClosed = true;  // the end, or an error
    break;
  }
  if (c.draining) return !c.peerClosed;
  const int status = Examine(c.buffer);
  if (status == 0 && c.peerClosed) return false;
  if (status > 1) {
    Refuse(c, status);
    return !c.peerClosed;
  }
  return true;
}

void CHttpServer::Poll() {
  std::map<socket_t, std::unique_ptr<Connection>> waiting;
  const auto close = [&](socket_t fd) {
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    waiting.erase(fd);
  };
  // A connection whose buffer holds a whole request goes to a worker.
  const auto handOver = [&](socket_t fd) {
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    std::unique_ptr<Connection> c = std::move(waiting[fd]);
    waiting.erase(fd);
    Ready(std::move(c));
  };
  for (;;) {
    std::vector<std::unique_ptr<Connection>> incoming;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stopping) break;
      incoming.swap(m_incoming);
    }
    for (std::unique_ptr<Connection>& c : incoming) {
      if (waiting.size() >= kMaxConnections) {
        // The one waiting longest makes room.
        auto oldest = std::min_element(waiting.begin(), waiting.end(), [](auto& a, auto& b) {
          return a.second->deadline < b.second->deadline;
        });
        close(oldest->first);
      }
      const socket_t fd = c->fd;
      const int status = Examine(c->buffer);  // a pipelined request may be whole already
      if (status > 1) Refuse(*c, status);
      waiting[fd] = std::move(c);
      if (status == 1) {
        Ready(std::move(waiting[fd]));
        waiting.erase(fd);
        continue;
      }
      epoll_event e{};
      e.events = EPOLLIN | EPOLLRDHUP;
      e.data.fd = fd;
      ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &e);
    }

    Clock::time_point next = Clock::now() + std::chrono::seconds(1);
    for (const auto& [fd, c] : waiting) next = std::min(next, c->deadline);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
    epoll_event events[64];
    const int count = ::epoll_wait(m_epoll, events, 64, int(std::max<long>(0, ms.count()) + 1));
    for (int i = 0; i < count; ++i) {
      const socket_t fd = events[i].data.fd;
      if (fd == m_wake) {
        std::uint64_t value;
        [[maybe_unused]] const ssize_t n = ::read(m_wake, &value, sizeof value);
        continue;
      }
      const auto found = waiting.find(fd);
      if (found == waiting.end()) continue;
      Connection& c = *found->second;
      if (!Receive(c))
        close(fd);
      else if (!c.draining && Examine(c.buffer) == 1)
        handOver(fd);
    }

    const Clock::time_point now = Clock::now();
    std::vector<socket_t> late;
    for (const auto& [fd, c] : waiting)
      if (c->deadline <= now) late.push_back(fd);
    for (const socket_t fd : late) {
      Connection& c = *waiting[fd];
      if (!c.draining && !c.buffer.empty()) {
        Refuse(c, 408);  // a request begun and not finished
        continue;
      }
      close(fd);  // idle, or refused and drained long enough
    }
  }
  for (const auto& [fd, c] : waiting) ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
}

void CHttpServer::Work() {
  for (;;) {
    std::unique_ptr<Connection> c;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_workAvailable.wait(lock, [this] { return m_stopping || !m_ready.empty(); });
      if (m_stopping) return;
      c = std::move(m_ready.front());
      m_ready.pop_front();
    }
    ++c->served;
    const bool last = c->served >= kMaxRequests || c->peerClosed;
    bool closed = false, failed = false;
    bool ok = false;
    {
      BufferedStream stream(c->buffer, c->fd, kSendSeconds);
      ok = process_request(stream, last, closed, nullptr);
      failed = stream.failed();
    }
    if (!ok || failed || closed || last) continue;  // closed here
    c->deadline = Clock::now() + std::chrono::seconds(kRequestSeconds);
    Wait(std::move(c));
  }
}

}  // namespace mattix::serve
