#pragma once
// The port under the channel: one small interface with one backend per kind
// of port, chosen by the port's name (ports/port_schemes.cpp). A device name
// opens the platform's serial port; a URL opens a network connection to a
// serial device server. The receive worker, the frame hand-over and the
// locking live above it, in SerialChannel, and are written once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/reader_status.h"
#include "serial/line_settings.h"

namespace vqhw {

class Port {
 public:
  virtual ~Port() = default;  // closes the port

  // Applies new line settings to the open port: 0, kSettingsUnreadable or
  // kSettingsRejected.
  virtual ReaderStatus Apply(const LineSettings& settings) = 0;

  // Writes all bytes within `bound`: 0, kCannotSend (fewer bytes moved, or
  // the port keeps failing) or kTimeout.
  virtual ReaderStatus Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds bound) = 0;

  // Why the channel purges: before every frame it sends, or after an
  // attempt that failed, when a late answer may still be on its way.
  enum class PurgeOccasion { kBeforeFrame, kAfterFailure };
  // Aborts pending transfers and discards what the port holds both ways.
  virtual void Purge(PurgeOccasion occasion) = 0;

  // Blocks until input is there and reads what is available, at most
  // `capacity` bytes. Returns the number of bytes read, or 0 once
  // StopWaiting() was called. A port that failed or went away makes it
  // wait quietly (never spin) until input comes back or it is stopped.
  virtual size_t WaitAndRead(uint8_t* buffer, size_t capacity) = 0;

  // Wakes a WaitAndRead for good; called before the worker is joined.
  virtual void StopWaiting() = 0;

  // In a child made by fork() (POSIX): lets go of the handles inherited
  // with the parent's open port without touching the port or its worker.
  virtual void Abandon() = 0;
};

// Opens the port named `name` exclusively with `settings` (no flow control,
// no port time-outs): a URL (`socket://HOST:PORT`, `rfc2217://HOST:PORT`)
// or a device. 0, or kCannotOpen, kTimeoutsNotSet, kSettingsUnreadable,
// kSettingsRejected with nothing left held.
ReaderStatus OpenPort(const char* name, const LineSettings& settings, std::unique_ptr<Port>& port);

// The name of port `portNumber` (1 = the first port): the value of the
// environment variable VQHW_COM<n> when it is set, else the platform's own
// name of that port (\\.\COM<n> on Windows, /dev/ttyS<n-1> elsewhere).
// False when the name does not fit.
bool FormatPortName(int32_t portNumber, char* name, size_t size);

}  // namespace vqhw
