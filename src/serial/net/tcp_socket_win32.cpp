// Winsock behind TcpSocket and Waker: non-blocking sockets, select() for
// connecting and sending, and for receiving an event that the socket sets
// (WSAEventSelect) waited on together with the waker's event. Winsock is
// started on first use, never from the library's load hook.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "serial/net/tcp_socket.h"
#include "util/trace.h"

namespace vqhw::net {

namespace {

// A connection whose sent bytes the peer's system has not taken for this
// long is broken (a cable pulled, a device server gone without a word).
constexpr DWORD kUnacknowledgedLimitS = 5;
constexpr DWORD kTcpMaxRetransmissionTime = 5;  // TCP_MAXRT, which mingw-w64 does not name
// Idle connections are probed so that a dead peer is noticed between commands.
constexpr ULONG kKeepAliveIdleMs = 10000;
constexpr ULONG kKeepAliveIntervalMs = 2000;

void TraceSocketError(const char* operation, const std::string& subject, int code) {
  trace::OsError(operation, subject.c_str(), static_cast<unsigned long>(code));
}

// Started once for the process and never cleaned up: the library may be
// unloaded with a port open, where no cleanup may run, and loaded again.
// Winsock stays loaded for good too (pinned): unloaded with the library and
// loaded again, it hands out sockets that its own calls then refuse (seen
// under Wine).
bool WinsockStarted() {
  static const bool started = [] {
    HMODULE winsock = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "ws2_32.dll", &winsock);
    WSADATA data;
    const int failed = WSAStartup(MAKEWORD(2, 2), &data);
    if (failed != 0) TraceSocketError("WSAStartup", "for the network port", failed);
    return failed == 0;
  }();
  return started;
}

// Milliseconds left until `deadline`; INFINITE for no deadline.
DWORD WaitTimeout(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return INFINITE;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<DWORD>(std::clamp<int64_t>(left, 0, 60'000));
}

timeval SelectTimeout(Clock::time_point deadline) {
  const DWORD ms = WaitTimeout(deadline);
  return timeval{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
}

void TuneConnection(SOCKET s) {
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  setsockopt(s, IPPROTO_TCP, kTcpMaxRetransmissionTime, reinterpret_cast<const char*>(&kUnacknowledgedLimitS),
             sizeof kUnacknowledgedLimitS);
  tcp_keepalive keepAlive{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
  DWORD returned = 0;
  WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
  // Every segment acknowledged at once, where the system can (Windows 8 and
  // later): a server that holds small writes until the last is acknowledged
  // (Nagle) would otherwise wait for the delayed acknowledgement.
  TCP_ACK_FREQUENCY_PARAMETERS everySegment{1};
  WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0, &returned, nullptr,
           nullptr);
}

// One address, without blocking past `deadline`: the connected socket or
// INVALID_SOCKET.
SOCKET ConnectTo(const addrinfo& address, Clock::time_point deadline, const std::string& subject) {
  SOCKET s = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
  if (s == INVALID_SOCKET) {
    TraceSocketError("socket for", subject, WSAGetLastError());
    return INVALID_SOCKET;
  }
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval timeout = SelectTimeout(deadline);
      const int ready = select(0, nullptr, &writable, &failed, &timeout);
      int size = sizeof error;
      error = ready == 0 ? WSAETIMEDOUT : ready < 0 ? WSAGetLastError() : 0;
      if (ready > 0 && (FD_ISSET(s, &failed) || !FD_ISSET(s, &writable))) {
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        if (error == 0) error = WSAECONNREFUSED;
      }
    }
    if (error != 0) {
      TraceSocketError("connect to", subject, error);
      closesocket(s);
      return INVALID_SOCKET;
    }
  }
  TuneConnection(s);
  return s;
}

}  // namespace

// --- Waker --------------------------------------------------------------------

struct Waker::Handles {
  HANDLE event = nullptr;
};

Waker::Waker() : handles_(std::make_unique<Handles>()) {
  handles_->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

Waker::~Waker() {
  if (handles_->event != nullptr) CloseHandle(handles_->event);
}

bool Waker::Ready() const { return handles_->event != nullptr; }
void Waker::Wake() { SetEvent(handles_->event); }
void Waker::Clear() { ResetEvent(handles_->event); }
void Waker::Wait() { WaitForSingleObject(handles_->event, INFINITE); }
void Waker::Abandon() {}  // no fork() on Windows

// --- TcpSocket -----------------------------------------------------------------

struct TcpSocket::Handles {
  SOCKET socket = INVALID_SOCKET;
  WSAEVENT readable = WSA_INVALID_EVENT;  // set by the socket on input and on close
};

TcpSocket::TcpSocket() : handles_(std::make_unique<Handles>()) {}

TcpSocket::~TcpSocket() {
  if (handles_->socket != INVALID_SOCKET) closesocket(handles_->socket);
  if (handles_->readable != WSA_INVALID_EVENT) WSACloseEvent(handles_->readable);
}

ReaderStatus TcpSocket::Connect(const char* host, const char* port, Clock::time_point deadline) {
  if (!WinsockStarted()) return status::kCannotOpen;
  const std::string subject = std::string(host) + " port " + port;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* addresses = nullptr;
  if (int failed = getaddrinfo(host, port, &hints, &addresses); failed != 0) {
    TraceSocketError("getaddrinfo", subject, failed);
    return status::kCannotOpen;
  }
  for (const addrinfo* a = addresses; a != nullptr && handles_->socket == INVALID_SOCKET; a = a->ai_next) {
    if (Clock::now() >= deadline) break;
    handles_->socket = ConnectTo(*a, deadline, subject);
  }
  freeaddrinfo(addresses);
  if (handles_->socket == INVALID_SOCKET) return status::kCannotOpen;
  handles_->readable = WSACreateEvent();
  if (handles_->readable == WSA_INVALID_EVENT ||
      WSAEventSelect(handles_->socket, handles_->readable, FD_READ | FD_CLOSE) != 0) {
    TraceSocketError("WSAEventSelect for", subject, WSAGetLastError());
    return status::kCannotOpen;
  }
  return status::kOk;
}

ReaderStatus TcpSocket::Send(const uint8_t* bytes, size_t count, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < count) {
    const int n = send(handles_->socket, reinterpret_cast<const char*>(bytes + sent),
                       static_cast<int>(count - sent), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      TraceSocketError("send to", "the connection", error);
      return status::kCannotSend;
    }
    if (WaitTimeout(deadline) == 0) {
      trace::Note("time-out: the connection took no more bytes in time");
      return status::kTimeout;
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(handles_->socket, &writable);
    timeval timeout = SelectTimeout(deadline);
    select(0, nullptr, &writable, nullptr, &timeout);
  }
  return status::kOk;
}

TcpSocket::Received TcpSocket::Receive(uint8_t* buffer, size_t capacity, size_t& count, Waker* waker,
                                       Clock::time_point deadline) {
  count = 0;
  for (;;) {
    if (waker != nullptr && WaitForSingleObject(waker->handles_->event, 0) == WAIT_OBJECT_0) {
      return Received::kWoken;
    }
    const int n = recv(handles_->socket, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
    if (n > 0) {
      count = static_cast<size_t>(n);
      return Received::kData;
    }
    if (n == 0) return Received::kClosed;
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      TraceSocketError("receive from", "the connection", error);
      return Received::kClosed;
    }
    HANDLE events[2] = {handles_->readable, waker != nullptr ? waker->handles_->event : nullptr};
    const DWORD woken = WaitForMultipleObjects(waker != nullptr ? 2 : 1, events, FALSE, WaitTimeout(deadline));
    if (woken == WAIT_TIMEOUT) return Received::kTimeout;
    if (woken == WAIT_OBJECT_0 + 1) return Received::kWoken;
    if (woken != WAIT_OBJECT_0) return Received::kClosed;
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(handles_->socket, handles_->readable, &happened);  // resets the event
  }
}

void TcpSocket::Shutdown() {
  if (handles_->socket != INVALID_SOCKET) shutdown(handles_->socket, SD_BOTH);
}

void TcpSocket::Abandon() {}  // no fork() on Windows

}  // namespace vqhw::net
