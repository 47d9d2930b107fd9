// BSD sockets behind TcpSocket and Waker: non-blocking sockets, poll(), and
// a pipe as the waker.

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "serial/net/tcp_socket.h"
#include "util/trace.h"

namespace vqhw::net {

namespace {

// A connection whose sent bytes the peer's system has not taken for this
// long is broken (a cable pulled, a device server gone without a word).
constexpr unsigned kUnacknowledgedLimitMs = 5000;
// Idle connections are probed so that a dead peer is noticed between commands.
constexpr int kKeepAliveIdleS = 10;
constexpr int kKeepAliveIntervalS = 2;
constexpr int kKeepAliveProbes = 3;

// Milliseconds left until `deadline` for poll(): -1 for no deadline.
int PollTimeout(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<int64_t>(left, 0, 60'000));
}

void TraceOsError(const char* operation, const std::string& subject) {
  trace::OsError(operation, subject.c_str(), static_cast<unsigned long>(errno));
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void TuneConnection(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleS, sizeof kKeepAliveIdleS);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalS, sizeof kKeepAliveIntervalS);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedLimitMs, sizeof kUnacknowledgedLimitMs);
}

// One address, without blocking past `deadline`: the connected socket or -1.
int ConnectTo(const addrinfo& address, Clock::time_point deadline, const std::string& subject) {
  int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                    address.ai_protocol);
  if (fd < 0) {
    TraceOsError("socket for", subject);
    return -1;
  }
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      TraceOsError("connect to", subject);
      CloseIfOpen(fd);
      return -1;
    }
    pollfd out{fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&out, 1, PollTimeout(deadline));
    } while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t size = sizeof error;
    if (ready == 0) {
      errno = ETIMEDOUT;
      TraceOsError("connect to", subject);
      CloseIfOpen(fd);
      return -1;
    }
    if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
      if (error != 0) errno = error;
      TraceOsError("connect to", subject);
      CloseIfOpen(fd);
      return -1;
    }
  }
  TuneConnection(fd);
  return fd;
}

}  // namespace

// --- Waker --------------------------------------------------------------------

struct Waker::Handles {
  int read = -1;
  int write = -1;
};

Waker::Waker() : handles_(std::make_unique<Handles>()) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    handles_->read = ends[0];
    handles_->write = ends[1];
  }
}

Waker::~Waker() {
  CloseIfOpen(handles_->read);
  CloseIfOpen(handles_->write);
}

bool Waker::Ready() const { return handles_->read >= 0; }

void Waker::Wake() {
  const uint8_t byte = 1;
  [[maybe_unused]] ssize_t ignored = ::write(handles_->write, &byte, 1);  // a full pipe is awake already
}

void Waker::Clear() {
  uint8_t bytes[64];
  while (::read(handles_->read, bytes, sizeof bytes) > 0) {
  }
}

void Waker::Wait() {
  pollfd in{handles_->read, POLLIN, 0};
  while (::poll(&in, 1, -1) < 0 && errno == EINTR) {
  }
}

void Waker::Abandon() {
  CloseIfOpen(handles_->read);
  CloseIfOpen(handles_->write);
}

// --- TcpSocket -----------------------------------------------------------------

struct TcpSocket::Handles {
  int fd = -1;
};

TcpSocket::TcpSocket() : handles_(std::make_unique<Handles>()) {}

TcpSocket::~TcpSocket() { CloseIfOpen(handles_->fd); }

ReaderStatus TcpSocket::Connect(const char* host, const char* port, Clock::time_point deadline) {
  const std::string subject = std::string(host) + " port " + port;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  if (int failed = ::getaddrinfo(host, port, &hints, &addresses); failed != 0) {
    trace::Note(("os error: getaddrinfo " + subject + ": " + ::gai_strerror(failed)).c_str());
    return status::kCannotOpen;
  }
  for (const addrinfo* a = addresses; a != nullptr && handles_->fd < 0; a = a->ai_next) {
    if (Clock::now() >= deadline) break;
    handles_->fd = ConnectTo(*a, deadline, subject);
  }
  ::freeaddrinfo(addresses);
  return handles_->fd >= 0 ? status::kOk : status::kCannotOpen;
}

ReaderStatus TcpSocket::Send(const uint8_t* bytes, size_t count, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < count) {
    const ssize_t n = ::send(handles_->fd, bytes + sent, count - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      TraceOsError("send to", "the connection");
      return status::kCannotSend;
    }
    const int timeout = PollTimeout(deadline);
    if (timeout == 0) {
      trace::Note("time-out: the connection took no more bytes in time");
      return status::kTimeout;
    }
    pollfd out{handles_->fd, POLLOUT, 0};
    ::poll(&out, 1, timeout);
  }
  return status::kOk;
}

TcpSocket::Received TcpSocket::Receive(uint8_t* buffer, size_t capacity, size_t& count, Waker* waker,
                                       Clock::time_point deadline) {
  count = 0;
  for (;;) {
    pollfd fds[2] = {{waker != nullptr ? waker->handles_->read : -1, POLLIN, 0}, {handles_->fd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, PollTimeout(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      TraceOsError("poll of", "the connection");
      return Received::kClosed;
    }
    if (fds[0].revents != 0) return Received::kWoken;
    if (ready == 0) return Received::kTimeout;
    const ssize_t n = ::recv(handles_->fd, buffer, capacity, MSG_DONTWAIT);
    // Acknowledged at once, every time (the system falls back to delaying
    // acknowledgements): a server that holds its small writes until the last
    // is acknowledged (Nagle) would otherwise wait up to 40 ms for the
    // second part of an answer.
    const int on = 1;
    ::setsockopt(handles_->fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    if (n > 0) {
      count = static_cast<size_t>(n);
      return Received::kData;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) TraceOsError("receive from", "the connection");
    return Received::kClosed;
  }
}

void TcpSocket::Shutdown() {
  if (handles_->fd >= 0) ::shutdown(handles_->fd, SHUT_RDWR);
}

void TcpSocket::Abandon() { CloseIfOpen(handles_->fd); }

}  // namespace vqhw::net
