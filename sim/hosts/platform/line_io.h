#pragma once
// What a line host needs of the operating system, in its own terms: an
// event that wakes a waiting thread (to stop it, or to hand it a new
// client), and a byte stream (a pseudo-terminal, a serial device, a TCP
// connection) read and written without blocking, with waits for input or
// for room that end at a deadline or when the event is set. Each platform
// implements it in one file (line_io_posix.cpp, line_io_win32.cpp); the hosts above it are
// written once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace vqsim::io {

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;  // none: no limit

// A manual-reset event. Set() may be called from any thread (on POSIX
// also from a signal handler); it stays set until Reset().
class Event {
 public:
  Event();  // throws std::system_error
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event is set before `deadline`.
  bool WaitUntil(Deadline deadline) const;

  struct Handles;
  const Handles& Native() const { return *handles_; }

 private:
  std::unique_ptr<Handles> handles_;
};

enum class Wake { kReady, kDeadline, kEvent };

// One end of a line. Moved, never copied; closed with the object.
class Stream {
 public:
  struct Handles;

  explicit Stream(std::unique_ptr<Handles> handles);
  ~Stream();
  Stream(Stream&&) noexcept;
  Stream& operator=(Stream&&) noexcept;

  // Until input is there, the deadline passes or `event` is set (checked first).
  Wake WaitInput(Deadline deadline, const Event& event) const;
  // The same for room to write.
  Wake WaitRoom(Deadline deadline, const Event& event) const;
  // What is there now, at most the buffer's size: 0 when nothing after
  // all, none when the far end is gone for good.
  std::optional<size_t> Read(std::span<uint8_t> buffer);
  // What fits now: 0 when no room, none when the line is broken.
  std::optional<size_t> Write(std::span<const uint8_t> bytes);

  const Handles& Native() const { return *handles_; }

 private:
  std::unique_ptr<Handles> handles_;
};

// Until `first` or `second` has input or `event` is set (a relay between
// two lines): kReady with `firstReady` saying which. POSIX alone (the relay
// of the tool stands in a pty, which Windows has not).
Wake WaitInputOnEither(const Stream& first, const Stream& second, const Event& event, bool& firstReady);

// Writes every byte, waiting for room: false when `event` was set first.
// A broken line drops the rest of the bytes, as a cut wire would.
bool WriteAll(Stream& stream, std::span<const uint8_t> bytes, const Event& event);

// Byte times are tens of microseconds: asks the system to wake the calling
// thread's timed waits that closely (Linux stretches them by 50 us).
void WakeOnTime();

}  // namespace vqsim::io
