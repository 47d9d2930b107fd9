#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cstring>

#include "sim/hosts/platform/posix_io.h"
#include "sim/hosts/platform/tcp.h"

namespace vqsim::io {

struct Listener::Handles {
  UniqueFd fd;
};

namespace {

// "127.0.0.1" and its port, or "::1".
std::string Numeric(const sockaddr_storage& address, uint16_t& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    port = ntohs(v6.sin6_port);
  } else {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  }
  return text;
}

bool IsLoopbackAddress(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    return IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr) ||
           (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr) && v6.sin6_addr.s6_addr[12] == 127);
  }
  return (ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr) >> 24) == 127;
}

}  // namespace

Listener::Listener(std::unique_ptr<Handles> handles, std::string address, uint16_t port, bool loopback)
    : handles_(std::move(handles)), address_(std::move(address)), port_(port), loopback_(loopback) {}
Listener::~Listener() = default;
Listener::Listener(Listener&&) noexcept = default;
Listener& Listener::operator=(Listener&&) noexcept = default;

Listener Listener::Open(const std::string& host, uint16_t port) {
  const std::string named = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                            std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); error != 0) {
    throw std::system_error(EADDRNOTAVAIL, std::generic_category(), named + ": " + ::gai_strerror(error));
  }
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
  auto handles = std::make_unique<Handles>();
  handles->fd = UniqueFd(::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!handles->fd) ThrowErrno(named);
  // A port left in TIME_WAIT by an earlier run can be taken again; a port
  // another program listens on cannot.
  const int yes = 1;
  ::setsockopt(handles->fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(handles->fd.get(), found->ai_addr, found->ai_addrlen) != 0) ThrowErrno(named);
  if (::listen(handles->fd.get(), 8) != 0) ThrowErrno(named);
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  if (::getsockname(handles->fd.get(), reinterpret_cast<sockaddr*>(&bound), &size) != 0) ThrowErrno(named);
  uint16_t boundPort = 0;
  std::string address = Numeric(bound, boundPort);
  return Listener(std::move(handles), std::move(address), boundPort, IsLoopbackAddress(bound));
}

Wake Listener::WaitCall(const Event& event) const {
  while (true) {
    std::array<pollfd, 2> fds{{{event.Native().read.get(), POLLIN, 0}, {handles_->fd.get(), POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[0].revents != 0) return Wake::kEvent;
    return Wake::kReady;
  }
}

std::optional<Listener::Call> Listener::Accept() {
  sockaddr_storage peer{};
  socklen_t size = sizeof peer;
  UniqueFd fd(::accept4(handles_->fd.get(), reinterpret_cast<sockaddr*>(&peer), &size,
                        SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (!fd) return std::nullopt;
  const int yes = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  uint16_t port = 0;
  const std::string address = Numeric(peer, port);
  const std::string name = (address.find(':') != std::string::npos ? "[" + address + "]" : address) + ":" +
                           std::to_string(port);
  return Call{StreamOf(std::move(fd), true), name};
}

}  // namespace vqsim::io
