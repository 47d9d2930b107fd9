#pragma once
// Serves a VirtualReader on a real serial device instead of a pty, so it
// can stand in for a reader on a null-modem cable to a lane PC. Same
// contract as PtyHost: its own thread, answers planned by the reader's
// FaultPlan, every byte string shown to the traffic log.

#include <functional>
#include <string>
#include <thread>

#include "sim/hosts/pty_host.h"
#include "sim/reader/reader_model.h"
#include "sim/hosts/serial_line.h"

namespace vqsim {

class SerialDeviceHost {
 public:
  using TrafficLog = PtyHost::TrafficLog;
  // Called once on the host thread when the device goes away (unplugged
  // adapter, read error); the host serves no more after it.
  using LineLost = std::function<void()>;

  // Throws std::system_error when the device cannot be opened and set up.
  SerialDeviceHost(VirtualReader& reader, const std::string& devicePath, TrafficLog log = {},
                   LineLost lost = {});
  ~SerialDeviceHost();  // stops the thread promptly and closes the device
  SerialDeviceHost(const SerialDeviceHost&) = delete;
  SerialDeviceHost& operator=(const SerialDeviceHost&) = delete;

 private:
  void Serve();

  VirtualReader& reader_;
  TrafficLog log_;
  LineLost lost_;
  UniqueFd device_;
  StopSignal stop_;
  std::thread thread_;
};

}  // namespace vqsim
