#pragma once
// The platform's serial port, one small interface with one backend per
// platform (serial_port_posix.cpp, serial_port_win32.cpp). The receive
// worker, the frame hand-over and the locking live above it, in
// SerialChannel, and are written once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/reader_status.h"

namespace vqhw {

struct LineSettings {
  int32_t baud = 115200;
  char parity = 'N';
  int32_t dataBits = 8;
  int32_t stopBits = 1;
};

// "baud=115200 parity=N data=8 stop=1"; returns false if it does not fit.
bool FormatSettingsText(const LineSettings& settings, char* text, size_t size);

// The device name of port `portNumber` (1 = the first port). On Windows
// \\.\COM<n>; elsewhere the path in the environment variable VQHW_COM<n>
// when it is set, else /dev/ttyS<n-1>. False when the name does not fit.
bool FormatPortName(int32_t portNumber, char* name, size_t size);

class SerialPort {
 public:
  SerialPort();
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the device exclusively and applies the line settings (no flow
  // control, no port time-outs). Returns 0, or kCannotOpen, kTimeoutsNotSet,
  // kSettingsUnreadable, kSettingsRejected with nothing left held.
  ReaderStatus Open(const char* deviceName, const LineSettings& settings);

  // Applies new line settings to the open port: 0, kSettingsUnreadable or
  // kSettingsRejected.
  ReaderStatus Apply(const LineSettings& settings);

  // Writes all bytes within `bound`: 0, kCannotSend (fewer bytes moved, or
  // the port keeps failing) or kTimeout.
  ReaderStatus Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds bound);

  // Aborts pending transfers and discards both queues of the port.
  void Purge();

  // Blocks until input is there and reads what is available, at most
  // `capacity` bytes. Returns the number of bytes read, or 0 once
  // StopWaiting() was called. A port that failed or went away makes it
  // wait quietly (never spin) until input comes back or it is stopped.
  size_t WaitAndRead(uint8_t* buffer, size_t capacity);

  // Wakes a WaitAndRead for good; called before the worker is joined.
  void StopWaiting();

  void Close();
  bool IsOpen() const;

  // In a child made by fork() (POSIX): lets go of the descriptors inherited
  // with the parent's open port without touching the port or its worker.
  void Abandon();

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

}  // namespace vqhw
