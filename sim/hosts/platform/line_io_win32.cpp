// The line plumbing on Windows: an Event is an event object, a Stream a
// non-blocking socket (its readiness asked of select(), its network event
// waited on) or a serial device in overlapped mode (its input queue asked
// of ClearCommError, an EV_RXCHAR wait pending while there is none).

#include "sim/hosts/platform/win32_io.h"

#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace vqsim::io {

namespace {

constexpr DWORD kLongestWaitMs = 60'000;  // a wait without deadline is taken in pieces

bool IsSet(const Event& event) { return WaitForSingleObject(event.Native().event, 0) == WAIT_OBJECT_0; }

// Whether select() finds the socket readable (data, a hang-up, an error)
// or, with `room`, writable.
bool SocketReady(SOCKET socket, bool room) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval now{0, 0};
  const int count = select(0, room ? nullptr : &ready, room ? &ready : nullptr, &failed, &now);
  return count != 0;  // an error too: the next read or write finds it
}

HANDLE NewEvent() {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) ThrowSystemError(GetLastError(), "CreateEvent");
  return event;
}

// The handle to wait on until `stream` has input, or null when it has some
// (or an error the next read will find) now.
HANDLE InputWaitHandle(Stream::Handles& stream) {
  if (stream.socket != INVALID_SOCKET) {
    WSANETWORKEVENTS seen{};
    WSAEnumNetworkEvents(stream.socket, stream.socketEvent, &seen);  // resets the event before the check
    return SocketReady(stream.socket, false) ? nullptr : stream.socketEvent;
  }
  while (true) {
    if (stream.inputPending) {
      DWORD unused = 0;
      if (!GetOverlappedResult(stream.device, &stream.inputWait, &unused, FALSE) &&
          GetLastError() == ERROR_IO_INCOMPLETE) {
        // Still waiting; the queue may have filled before the wait began.
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(stream.device, &errors, &status) || status.cbInQue > 0) return nullptr;
        return stream.inputWait.hEvent;
      }
      stream.inputPending = false;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(stream.device, &errors, &status) || status.cbInQue > 0) return nullptr;
    ResetEvent(stream.inputWait.hEvent);
    if (WaitCommEvent(stream.device, &stream.inputMask, &stream.inputWait)) continue;  // a byte came meanwhile
    if (GetLastError() != ERROR_IO_PENDING) return nullptr;
    stream.inputPending = true;
  }
}

// Until one of `handles` after the event is signalled (kReady, `which` its
// index among them), the deadline or the event.
Wake WaitHandles(std::span<const HANDLE> handles, Deadline deadline, const Event& event, size_t& which) {
  std::array<HANDLE, 3> all{event.Native().event};
  std::ranges::copy(handles, all.begin() + 1);
  while (true) {
    const DWORD count = static_cast<DWORD>(handles.size() + 1);
    const DWORD result = WaitForMultipleObjects(count, all.data(), FALSE, WaitMilliseconds(deadline));
    if (result == WAIT_OBJECT_0) return Wake::kEvent;
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
      which = result - WAIT_OBJECT_0 - 1;
      return Wake::kReady;
    }
    if (result != WAIT_TIMEOUT) return Wake::kEvent;
    // A system wait may end a tick before its time: the deadline decides.
    if (deadline && Clock::now() >= *deadline) return Wake::kDeadline;
  }
}

}  // namespace

DWORD WaitMilliseconds(Deadline deadline) {
  if (!deadline) return kLongestWaitMs;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return static_cast<DWORD>(std::clamp<int64_t>(left, 0, kLongestWaitMs));
}

void StartWinsock() {
  static const int failed = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (failed != 0) ThrowSystemError(static_cast<DWORD>(failed), "WSAStartup");
}

Stream SocketStream(SOCKET socket) {
  auto handles = std::make_unique<Stream::Handles>();
  handles->socket = socket;
  handles->socketEvent = WSACreateEvent();
  if (handles->socketEvent == WSA_INVALID_EVENT) ThrowSystemError(WSAGetLastError(), "WSACreateEvent");
  // Makes the socket non-blocking too.
  if (WSAEventSelect(socket, handles->socketEvent, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
    ThrowSystemError(WSAGetLastError(), "WSAEventSelect");
  }
  const BOOL on = TRUE;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return Stream(std::move(handles));
}

Stream DeviceStream(HANDLE device) {
  auto handles = std::make_unique<Stream::Handles>();
  handles->device = device;
  handles->inputWait.hEvent = NewEvent();
  handles->read.hEvent = NewEvent();
  handles->write.hEvent = NewEvent();
  return Stream(std::move(handles));
}

Stream::Handles::~Handles() {
  if (socket != INVALID_SOCKET) closesocket(socket);
  if (socketEvent != WSA_INVALID_EVENT) WSACloseEvent(socketEvent);
  if (device != INVALID_HANDLE_VALUE) {
    SetCommMask(device, 0);  // completes the pending wait
    CancelIo(device);
    if (inputPending) {
      DWORD unused = 0;
      GetOverlappedResult(device, &inputWait, &unused, TRUE);
    }
    CloseHandle(device);
  }
  for (HANDLE event : {inputWait.hEvent, read.hEvent, write.hEvent}) {
    if (event != nullptr) CloseHandle(event);
  }
}

Event::Event() : handles_(std::make_unique<Handles>()) { handles_->event = NewEvent(); }

Event::~Event() { CloseHandle(handles_->event); }

void Event::Set() { SetEvent(handles_->event); }
void Event::Reset() { ResetEvent(handles_->event); }

bool Event::WaitUntil(Deadline deadline) const {
  size_t unused = 0;
  return WaitHandles({}, deadline, *this, unused) == Wake::kEvent;
}

Stream::Stream(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
Stream::~Stream() = default;
Stream::Stream(Stream&&) noexcept = default;
Stream& Stream::operator=(Stream&&) noexcept = default;

Wake Stream::WaitInput(Deadline deadline, const Event& event) const {
  while (true) {
    if (IsSet(event)) return Wake::kEvent;
    const HANDLE handle = InputWaitHandle(*handles_);
    if (handle == nullptr) return Wake::kReady;
    size_t unused = 0;
    const Wake wake = WaitHandles(std::span(&handle, 1), deadline, event, unused);
    if (wake != Wake::kReady) return wake;
  }
}

Wake Stream::WaitRoom(Deadline deadline, const Event& event) const {
  // A device's write waits for itself (Write); a socket has room or says when.
  while (handles_->socket != INVALID_SOCKET) {
    if (IsSet(event)) return Wake::kEvent;
    WSANETWORKEVENTS seen{};
    WSAEnumNetworkEvents(handles_->socket, handles_->socketEvent, &seen);
    if (SocketReady(handles_->socket, true)) return Wake::kReady;
    size_t unused = 0;
    const Wake wake = WaitHandles(std::span(&handles_->socketEvent, 1), deadline, event, unused);
    if (wake != Wake::kReady) return wake;
  }
  return IsSet(event) ? Wake::kEvent : Wake::kReady;
}

std::optional<size_t> Stream::Read(std::span<uint8_t> buffer) {
  const int most = static_cast<int>(std::min<size_t>(buffer.size(), 1 << 20));
  if (handles_->socket != INVALID_SOCKET) {
    const int count = recv(handles_->socket, reinterpret_cast<char*>(buffer.data()), most, 0);
    if (count > 0) return static_cast<size_t>(count);
    if (count == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    return std::nullopt;
  }
  // The device's read time-outs make a read return at once with what is there.
  DWORD count = 0;
  ResetEvent(handles_->read.hEvent);
  if (!ReadFile(handles_->device, buffer.data(), static_cast<DWORD>(most), &count, &handles_->read)) {
    if (GetLastError() != ERROR_IO_PENDING ||
        !GetOverlappedResult(handles_->device, &handles_->read, &count, TRUE)) {
      return std::nullopt;
    }
  }
  return static_cast<size_t>(count);
}

std::optional<size_t> Stream::Write(std::span<const uint8_t> bytes) {
  const int most = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20));
  if (handles_->socket != INVALID_SOCKET) {
    const int count = send(handles_->socket, reinterpret_cast<const char*>(bytes.data()), most, 0);
    if (count >= 0) return static_cast<size_t>(count);
    if (WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    return std::nullopt;
  }
  // Without flow control the wire takes the bytes at its speed: the write
  // is waited for, a byte time each; one that never ends is a broken line.
  constexpr DWORD kWriteBoundMs = 2000;
  DWORD count = 0;
  ResetEvent(handles_->write.hEvent);
  if (!WriteFile(handles_->device, bytes.data(), static_cast<DWORD>(most), &count, &handles_->write)) {
    if (GetLastError() != ERROR_IO_PENDING) return std::nullopt;
    if (WaitForSingleObject(handles_->write.hEvent, kWriteBoundMs) != WAIT_OBJECT_0) {
      CancelIo(handles_->device);
      GetOverlappedResult(handles_->device, &handles_->write, &count, TRUE);
      return std::nullopt;
    }
    if (!GetOverlappedResult(handles_->device, &handles_->write, &count, FALSE)) return std::nullopt;
  }
  return static_cast<size_t>(count);
}

// The system's timer tick is 15.6 ms unless a program asks for 1 ms; the
// line's deadlines are kept whatever the grain (LineServer sends what is due).
void WakeOnTime() {
  static std::once_flag asked;
  std::call_once(asked, [] { timeBeginPeriod(1); });
}

}  // namespace vqsim::io
