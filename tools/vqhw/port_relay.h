#pragma once
// Stands between the library and a real reader to show the line: the
// library opens the slave of a fresh pseudo-terminal as its port, and this
// relay passes every byte on to the real device and every byte of the
// device back, showing both directions to an observer on the way.

#include <functional>
#include <span>
#include <string>
#include <thread>

#include "sim/hosts/platform/line_io.h"
#include "sim/hosts/platform/pty.h"
#include "vqhw/frame_trace.h"

namespace vqtool {

class PortRelay {
 public:
  using Observer = std::function<void(LineDirection, std::span<const uint8_t>)>;

  // Opens the real device and locks it as the library does; throws
  // std::system_error when it cannot (another program holding it, too).
  PortRelay(const std::string& devicePath, Observer observer);
  ~PortRelay();
  PortRelay(const PortRelay&) = delete;
  PortRelay& operator=(const PortRelay&) = delete;

  const std::string& SlavePath() const { return pty_.SlavePath(); }

 private:
  void Relay();
  // Moves what `from` has to `to`; false when `from` is gone or a stop came.
  bool Pass(vqsim::io::Stream& from, vqsim::io::Stream& to, LineDirection direction);

  Observer observer_;
  vqsim::io::Stream device_;
  vqsim::io::Pty pty_;
  vqsim::io::Event stop_;
  std::thread thread_;
};

}  // namespace vqtool
