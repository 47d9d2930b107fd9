#include "vqhw/reader_session.h"

#include <cstdlib>
#include <system_error>

#include "shared/exit_codes.h"
#include "vqhw/device_probe.h"
#include "vqhw/port_relay.h"
#include "vqhw/tool_error.h"
#include "vqhw/virtual_line.h"

namespace vqtool {

struct ReaderSession::Line {
  std::unique_ptr<VirtualLine> virtualLine;
  std::unique_ptr<PortRelay> relay;
};

namespace {

std::string PortVariable(int port) { return "VQHW_COM" + std::to_string(port); }

}  // namespace

std::string ReaderSession::DefaultDevice(int port) {
  if (const char* named = std::getenv(PortVariable(port).c_str())) return named;
  return "/dev/ttyS" + std::to_string(port - 1);
}

const char* ReaderSession::TraceDescription() {
  return "run any command with every frame on the line shown (for a real port through a relay)";
}

const char* ReaderSession::PlatformNote() { return ""; }

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace)
    : options_(options), line_(std::make_unique<Line>()) {
  if (options_.simulate) {
    line_->virtualLine = StartVirtualLine(options_, trace);
    return;
  }
  const std::string device = options_.device.empty() ? DefaultDevice(options_.port) : options_.device;
  if (trace != nullptr) {
    try {
      line_->relay = std::make_unique<PortRelay>(
          device, [trace](LineDirection direction, std::span<const uint8_t> bytes) { trace->Observe(direction, bytes); });
    } catch (const std::system_error& error) {
      const std::string why = WhyDeviceCannotOpen(device);
      throw ToolError(vqshared::kExitNoDevice,
                      "the port cannot be opened: " + device + ": " + (why.empty() ? error.what() : why));
    }
    PointPortAt(options_.port, line_->relay->SlavePath());
  } else if (!options_.device.empty()) {
    PointPortAt(options_.port, options_.device);
  }
}

ReaderSession::~ReaderSession() = default;

bool ReaderSession::Simulated() const { return line_->virtualLine != nullptr; }

void ReaderSession::SaveState() {
  if (!options_.stateFile.empty() && line_->virtualLine) SaveVirtualState(*line_->virtualLine, options_.stateFile);
}

}  // namespace vqtool
