// The TCP listener on Winsock: a non-blocking socket whose FD_ACCEPT event
// is waited on together with the stop event.

#include <array>
#include <cstdlib>

#include "sim/hosts/platform/tcp.h"
#include "sim/hosts/platform/win32_io.h"

namespace vqsim::io {

struct Listener::Handles {
  Handles() = default;
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles() {
    if (socket != INVALID_SOCKET) closesocket(socket);
    if (called != WSA_INVALID_EVENT) WSACloseEvent(called);
  }
  SOCKET socket = INVALID_SOCKET;
  WSAEVENT called = WSA_INVALID_EVENT;
};

namespace {

// "127.0.0.1" and its port, or "::1".
std::string Numeric(const sockaddr_storage& address, uint16_t& port) {
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host, service,
              sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
  port = static_cast<uint16_t>(std::atoi(service));
  return host;
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
  StartWinsock();
  const std::string named = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                            std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); error != 0) {
    ThrowSystemError(static_cast<DWORD>(error), named);
  }
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
  auto handles = std::make_unique<Handles>();
  handles->socket = WSASocketW(found->ai_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (handles->socket == INVALID_SOCKET) ThrowSystemError(WSAGetLastError(), named);
  // Windows lets SO_REUSEADDR take a port another program listens on, so
  // the port is held alone instead, and another program's is refused.
  const BOOL on = TRUE;
  setsockopt(handles->socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  if (bind(handles->socket, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 ||
      listen(handles->socket, 8) != 0) {
    ThrowSystemError(WSAGetLastError(), named);
  }
  handles->called = WSACreateEvent();
  if (handles->called == WSA_INVALID_EVENT || WSAEventSelect(handles->socket, handles->called, FD_ACCEPT) != 0) {
    ThrowSystemError(WSAGetLastError(), named);
  }
  sockaddr_storage bound{};
  int size = sizeof bound;
  if (getsockname(handles->socket, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
    ThrowSystemError(WSAGetLastError(), named);
  }
  uint16_t boundPort = 0;
  std::string address = Numeric(bound, boundPort);
  return Listener(std::move(handles), std::move(address), boundPort, IsLoopbackAddress(bound));
}

Wake Listener::WaitCall(const Event& event) const {
  while (true) {
    WSANETWORKEVENTS seen{};
    WSAEnumNetworkEvents(handles_->socket, handles_->called, &seen);
    fd_set calling;
    FD_ZERO(&calling);
    FD_SET(handles_->socket, &calling);
    timeval now{0, 0};
    if (WaitForSingleObject(event.Native().event, 0) == WAIT_OBJECT_0) return Wake::kEvent;
    if (select(0, &calling, nullptr, nullptr, &now) != 0) return Wake::kReady;
    const std::array<HANDLE, 2> handles{event.Native().event, handles_->called};
    const DWORD result = WaitForMultipleObjects(2, handles.data(), FALSE, INFINITE);
    if (result != WAIT_OBJECT_0 + 1) return Wake::kEvent;
  }
}

std::optional<Listener::Call> Listener::Accept() {
  sockaddr_storage peer{};
  int size = sizeof peer;
  const SOCKET socket = accept(handles_->socket, reinterpret_cast<sockaddr*>(&peer), &size);
  if (socket == INVALID_SOCKET) return std::nullopt;
  // An accepted socket takes the listener's event selection: SocketStream gives it its own.
  WSAEventSelect(socket, nullptr, 0);
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
  uint16_t port = 0;
  const std::string address = Numeric(peer, port);
  const std::string name = (address.find(':') != std::string::npos ? "[" + address + "]" : address) + ":" +
                           std::to_string(port);
  try {
    return Call{SocketStream(socket), name};
  } catch (const std::system_error&) {
    return std::nullopt;  // SocketStream's handles closed the socket
  }
}

}  // namespace vqsim::io
