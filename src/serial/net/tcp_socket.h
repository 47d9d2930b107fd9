#pragma once
// One TCP connection and a waker, the platform's sockets behind them (BSD
// sockets in tcp_socket_posix.cpp, Winsock in tcp_socket_win32.cpp). The
// network port above is written once against this.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/reader_status.h"

namespace vqhw::net {

using Clock = std::chrono::steady_clock;

// Wakes a thread that waits in TcpSocket::Receive or Waker::Wait. A wake-up
// stays pending until Clear(), so one given before the wait is not lost.
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  bool Ready() const;  // false when the system gave no handle
  void Wake();
  void Clear();
  // Waits until woken; never spins.
  void Wait();
  // In a child made by fork() (POSIX): lets go of the handles without using them.
  void Abandon();

 private:
  friend class TcpSocket;
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

class TcpSocket {
 public:
  TcpSocket();
  ~TcpSocket();  // closes the connection
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Connects to each address of host:port in turn, each without blocking,
  // all by `deadline`; Nagle's delay off. 0, or kCannotOpen with the
  // system's reason in the trace.
  ReaderStatus Connect(const char* host, const char* port, Clock::time_point deadline);

  // Sends every byte by `deadline`: 0, kTimeout, or kCannotSend when the
  // connection is broken.
  ReaderStatus Send(const uint8_t* bytes, size_t count, Clock::time_point deadline);

  enum class Received { kData, kClosed, kWoken, kTimeout };
  // Waits for bytes, for `waker` (none: null), or until `deadline`
  // (Clock::time_point::max() waits for good) and reads what is there, at
  // most `capacity` bytes into `buffer`. kClosed when the peer closed or the
  // connection broke.
  Received Receive(uint8_t* buffer, size_t capacity, size_t& count, Waker* waker,
                   Clock::time_point deadline);

  // Ends the connection both ways: a Receive waiting on it returns.
  void Shutdown();
  // In a child made by fork() (POSIX): closes this copy of the handle
  // without shutting down the parent's connection.
  void Abandon();

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

}  // namespace vqhw::net
