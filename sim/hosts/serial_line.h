#pragma once
// The plumbing of a serial line served from a thread: opening a real
// serial device as the reader's line, a fresh pseudo-terminal pair, and
// writes and pauses that give way to a stop request. Used by the pty host,
// vqhw-sim's serial-device link and the vqhw tool's line relay.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "sim/hosts/unique_fd.h"

namespace vqsim {

// Opens `path` as the reader's line: 115200 baud, 8 data bits, no parity,
// 1 stop bit, raw bytes, modem lines ignored, non-blocking, and exclusive
// while open. Throws std::system_error naming the path.
UniqueFd OpenSerialDevice(const std::string& path);

// A pseudo-terminal pair: the master (non-blocking) for the serving thread,
// the slave held open for the object's life so the master never sees a
// hang-up when the program on the slave closes and reopens it.
struct PtyPair {
  UniqueFd master;
  UniqueFd slave;
  std::string slavePath;
};
PtyPair OpenPtyPair();  // throws std::system_error

// One byte in a pipe asks the serving thread to stop.
class StopSignal {
 public:
  StopSignal();  // throws std::system_error
  void Raise();
  bool Raised() const;
  int Fd() const { return read_.get(); }

 private:
  UniqueFd read_;
  UniqueFd write_;
};

// poll() that retries when a signal interrupts it.
int PollRetrying(std::span<pollfd> fds, int timeoutMs);

// Writes every byte to the non-blocking `fd`, waiting for room; false when
// a stop was requested first. A write error drops the rest of the bytes, as
// a broken line would.
bool WriteAllUnlessStopped(int fd, std::span<const uint8_t> bytes, const StopSignal& stop);
// Waits out `pause`; false when a stop was requested.
bool PauseUnlessStopped(std::chrono::milliseconds pause, const StopSignal& stop);

}  // namespace vqsim
