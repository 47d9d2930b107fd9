#include "network/tcp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vqtest {

namespace {

void Fail(const std::string& what) { throw std::runtime_error(what + ": " + std::to_string(errno)); }

int Listen(TcpPeer::Family family, uint16_t port, uint16_t& bound) {
  const bool v6 = family == TcpPeer::Family::kIpv6;
  const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage address{};
  socklen_t size;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(port);
    a->sin6_addr = in6addr_loopback;
    size = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    a->sin_port = htons(port);
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size = sizeof *a;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 4) != 0) Fail("bind");
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  bound = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                   : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  return fd;
}

}  // namespace

PeerConnection::~PeerConnection() { Close(); }

std::vector<uint8_t> PeerConnection::Receive(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Open() && std::chrono::steady_clock::now() < deadline) {
    pollfd in{fd_, POLLIN, 0};
    if (::poll(&in, 1, 20) <= 0) continue;
    uint8_t buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      open_ = false;
      break;
    }
    return {buffer, buffer + n};
  }
  return {};
}

void PeerConnection::Send(std::span<const uint8_t> bytes) {
  if (Open() && !bytes.empty()) ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void PeerConnection::SendByteByByte(std::span<const uint8_t> bytes, std::chrono::microseconds pause) {
  for (uint8_t b : bytes) {
    Send({&b, 1});
    std::this_thread::sleep_for(pause);
  }
}

void PeerConnection::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  open_ = false;
}

TcpPeer::TcpPeer(Script script, uint16_t port, Family family, bool nagle)
    : script_(std::move(script)), family_(family), nagle_(nagle), port_(port), listener_(Listen(family, port, port_)) {
  thread_ = std::thread([this] { Serve(); });
}

TcpPeer::~TcpPeer() {
  stopping_ = true;
  thread_.join();
  ::close(listener_);
}

std::string TcpPeer::Url(const std::string& scheme) const {
  return scheme + (family_ == Family::kIpv6 ? "://[::1]:" : "://127.0.0.1:") + std::to_string(port_);
}

void TcpPeer::Serve() {
  while (!stopping_) {
    pollfd in{listener_, POLLIN, 0};
    if (::poll(&in, 1, 20) <= 0) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int noDelay = nagle_ ? 0 : 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    ++connections_;
    PeerConnection connection(fd, stopping_);
    script_(connection);
  }
}

uint16_t ClosedPort() {
  uint16_t port = 0;
  ::close(Listen(TcpPeer::Family::kIpv4, 0, port));
  return port;
}

}  // namespace vqtest
