#pragma once
// A TCP port that lanes call (tcp_posix.cpp): listens on one address and
// hands over each client that calls as a Stream, with Nagle's delay off so
// that every byte goes out when it is written.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "sim/hosts/platform/line_io.h"

namespace vqsim::io {

class Listener {
 public:
  // Listens on `host` (a name or a numeric address) at `port` (0: a free
  // one the system picks). Throws std::system_error naming the address
  // (in use, not this machine's, not allowed, no such name).
  static Listener Open(const std::string& host, uint16_t port);
  ~Listener();
  Listener(Listener&&) noexcept;
  Listener& operator=(Listener&&) noexcept;

  // The address and port it listens on, numeric (the port a 0 became).
  const std::string& Address() const { return address_; }
  uint16_t Port() const { return port_; }
  // Whether only this machine can reach it.
  bool IsLoopback() const { return loopback_; }

  // Until a client calls or `event` is set.
  Wake WaitCall(const Event& event) const;
  struct Call {
    Stream stream;
    std::string peer;  // "127.0.0.1:53422"
  };
  // The client that called; none when it has gone again already.
  std::optional<Call> Accept();

  struct Handles;

 private:
  Listener(std::unique_ptr<Handles> handles, std::string address, uint16_t port, bool loopback);

  std::unique_ptr<Handles> handles_;
  std::string address_;
  uint16_t port_ = 0;
  bool loopback_ = true;
};

}  // namespace vqsim::io
