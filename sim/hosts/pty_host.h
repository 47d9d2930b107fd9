#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim/reader/reader_model.h"
#include "sim/hosts/serial_line.h"

namespace vqsim {

// Serves a VirtualReader on a fresh pseudo-terminal pair from its own thread.
// The host opens the slave side with SlavePath(), like a serial port. The
// host may open, close and reopen it as often as it likes: this object keeps
// one slave descriptor open for its whole life, so the master never sees a
// hang-up. A pty has no wire, so this host keeps the line's time itself when
// the reader's profile has one: a command counts as arrived after its bytes'
// time on the line, and answer bytes go out one byte time apart. The thread
// sleeps in ppoll() while idle; while it waits out a card's time or a late
// answer it still takes in what the host writes, stamped with its arrival.
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
  // Host bytes with the time their last one is in, on the wire's clock.
  struct Arrival {
    std::vector<uint8_t> bytes;
    std::chrono::steady_clock::time_point at;
  };

  void Serve();
  void ReadFromHost();
  bool WaitUntil(std::optional<std::chrono::steady_clock::time_point> deadline);
  bool Deliver(const AnswerChunk& chunk);

  VirtualReader& reader_;
  TrafficLog log_;
  PtyPair pty_;  // its slave is held open, never read
  StopSignal stop_;
  std::deque<Arrival> inbox_;  // the serving thread's own
  std::chrono::steady_clock::time_point lineInFreeAt_{};
  std::thread thread_;
};

}  // namespace vqsim
