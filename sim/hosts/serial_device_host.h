#pragma once
// Serves a VirtualReader on a real serial device instead of a pty, so it
// can stand in for a reader on a null-modem cable to a lane PC. Same
// contract as the PtyHost; the device's own wire paces the bytes.

#include <string>
#include <thread>

#include "sim/hosts/line_host.h"
#include "sim/hosts/line_server.h"
#include "sim/hosts/platform/line_io.h"
#include "sim/reader/reader_model.h"

namespace vqsim {

class SerialDeviceHost : public LineHost {
 public:
  // Throws std::system_error when the device cannot be opened and set up.
  // `events.lost` is told when the device goes away (unplugged adapter,
  // read error).
  SerialDeviceHost(VirtualReader& reader, const std::string& devicePath, Events events = {});
  ~SerialDeviceHost() override;
  SerialDeviceHost(const SerialDeviceHost&) = delete;
  SerialDeviceHost& operator=(const SerialDeviceHost&) = delete;

  std::string PortName() const override { return path_; }

 private:
  std::string path_;
  LineLost lost_;
  io::Stream device_;
  io::Event stop_;
  LineServer server_;
  std::thread thread_;
};

}  // namespace vqsim
