#pragma once
// What the Windows files of the line plumbing share: the handles behind an
// Event and a Stream, and Winsock started once. Included by *_win32.cpp
// files alone.

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>
#include <system_error>

#include "sim/hosts/platform/line_io.h"

namespace vqsim::io {

// A manual-reset event object.
struct Event::Handles {
  HANDLE event = nullptr;
};

// A connected socket with the event it sets on input, room and hang-up; or
// a serial device opened for overlapped I/O, with its pending wait for a
// received byte (WaitCommEvent) and the events of its reads and writes.
struct Stream::Handles {
  Handles() = default;
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles();

  SOCKET socket = INVALID_SOCKET;
  WSAEVENT socketEvent = WSA_INVALID_EVENT;

  HANDLE device = INVALID_HANDLE_VALUE;
  OVERLAPPED inputWait{};
  DWORD inputMask = 0;
  bool inputPending = false;
  OVERLAPPED read{};
  OVERLAPPED write{};
};

[[noreturn]] inline void ThrowSystemError(DWORD code, const std::string& what) {
  throw std::system_error(static_cast<int>(code), std::system_category(), what);
}

// Winsock for the process, started on first use and never stopped (threads
// of the program may use sockets until it ends). Throws std::system_error.
void StartWinsock();

// A connected socket as a Stream: non-blocking, Nagle's delay off.
Stream SocketStream(SOCKET socket);  // throws std::system_error

// A serial device opened with FILE_FLAG_OVERLAPPED and set up, as a Stream.
Stream DeviceStream(HANDLE device);  // throws std::system_error

// Milliseconds to wait for `deadline`, rounded up (a wait never ends early
// on this count); INFINITE for none.
DWORD WaitMilliseconds(Deadline deadline);

}  // namespace vqsim::io
