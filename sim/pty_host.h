#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <thread>

#include "sim/reader_model.h"
#include "sim/serial_line.h"

namespace vqsim {

// Serves a VirtualReader on a fresh pseudo-terminal pair from its own thread.
// The host opens the slave side with SlavePath(), like a serial port. The
// host may open, close and reopen it as often as it likes: this object keeps
// one slave descriptor open for its whole life, so the master never sees a
// hang-up. The thread sleeps in poll() while idle; late answers and pauses
// between chunks block it, and host bytes arriving meanwhile wait in the
// kernel.
class PtyHost {
 public:
  enum class Direction { kFromHost, kToHost };
  // Sees every byte string read from the host and written to it (on the host thread).
  using TrafficLog = std::function<void(Direction, std::span<const uint8_t>)>;

  // Throws std::system_error when no pseudo-terminal can be set up.
  explicit PtyHost(VirtualReader& reader, TrafficLog log = {});
  ~PtyHost();  // stops the thread promptly, even in the middle of a delay, and closes the pty
  PtyHost(const PtyHost&) = delete;
  PtyHost& operator=(const PtyHost&) = delete;

  const std::string& SlavePath() const;  // put this into VQHW_COM<n>

 private:
  void Serve();
  bool Deliver(const AnswerChunk& chunk);

  VirtualReader& reader_;
  TrafficLog log_;
  PtyPair pty_;  // its slave is held open, never read
  StopSignal stop_;
  std::thread thread_;
};

}  // namespace vqsim
