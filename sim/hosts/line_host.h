#pragma once
// The contract of every line host: it carries one VirtualReader's bytes on
// one line (a pseudo-terminal, a serial device, a TCP port) from threads of
// its own, from its construction until its destruction, which stops them
// promptly, even in the middle of a delay, and closes the line. What
// happens on the line is told through the events it was given, on its own
// threads.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vqsim {

class LineHost {
 public:
  enum class Direction { kFromHost, kToHost };
  // Sees every byte string read from the lane and written to it.
  using TrafficLog = std::function<void(Direction, std::span<const uint8_t>)>;
  // One line for the log.
  using Note = std::function<void(const std::string&)>;
  // Called once when the line is gone for good (an unplugged adapter, a
  // read error); the host serves no more after it.
  using LineLost = std::function<void(const std::string& why)>;

  struct Events {
    TrafficLog traffic;
    Note clients;   // a client of a TCP port came, was refused, took over, left
    Note settings;  // what an RFC 2217 client set or asked for
    LineLost lost;
  };

  virtual ~LineHost() = default;

  // What a lane puts in VQHW_COM<n>: the pty's path, the device's, or the
  // URL with the port in use.
  virtual std::string PortName() const = 0;
};

}  // namespace vqsim
