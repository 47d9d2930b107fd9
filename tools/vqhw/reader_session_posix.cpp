#include "vqhw/reader_session.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shared/exit_codes.h"
#include "vqhw/device_probe.h"
#include "vqhw/library_trace.h"
#include "vqhw/port_relay.h"
#include "vqhw/tool_error.h"
#include "vqhw/virtual_line.h"

namespace vqtool {

struct ReaderSession::Line {
  std::unique_ptr<VirtualLine> virtualLine;
  std::unique_ptr<PortRelay> relay;
  std::unique_ptr<LibraryTraceFollower> follower;
  std::string ownTraceFile;  // made for this run, removed with it

  ~Line() {
    follower.reset();  // first: it reads the file to its end
    if (!ownTraceFile.empty()) ::unlink(ownTraceFile.c_str());
  }
};

namespace {

constexpr const char* kTraceVariable = "VQHW_TRACE";

std::string PortVariable(int port) { return "VQHW_COM" + std::to_string(port); }

// A network port (the library's rule: a name with "://") has no device a
// relay could stand in front of.
bool IsNetworkPort(const std::string& device) { return device.find("://") != std::string::npos; }

// The file the library traces into for this run: the one VQHW_TRACE names,
// else a new one of the owner's alone, made here and named in VQHW_TRACE
// before the library's first record.
std::string TraceFile(std::string& ownTraceFile) {
  if (std::string named = NamedTraceFile(); !named.empty()) return named;
  std::string path = (std::filesystem::temp_directory_path() / "vqhw-trace-XXXXXX").string();
  const int fd = ::mkstemp(path.data());
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot make a file for the trace");
  ::close(fd);
  ownTraceFile = path;
  if (::setenv(kTraceVariable, path.c_str(), 1) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot set VQHW_TRACE for the trace");
  }
  return path;
}

}  // namespace

std::string ReaderSession::DefaultDevice(int port) {
  if (const char* named = std::getenv(PortVariable(port).c_str())) return named;
  return "/dev/ttyS" + std::to_string(port - 1);
}

const char* ReaderSession::TraceDescription() {
  return "run any command with every frame on the line shown (for a real port through a relay; for "
         "socket:// and rfc2217:// as the library's own trace has it, where bytes that are no frame "
         "are not shown)";
}

const char* ReaderSession::PlatformNote() { return ""; }

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace)
    : options_(options), line_(std::make_unique<Line>()) {
  if (options_.simulate) {
    line_->virtualLine = StartVirtualLine(options_, trace);
    return;
  }
  const std::string device = options_.device.empty() ? DefaultDevice(options_.port) : options_.device;
  if (trace != nullptr && IsNetworkPort(device)) {
    if (!options_.device.empty()) PointPortAt(options_.port, options_.device);
    try {
      line_->follower = std::make_unique<LibraryTraceFollower>(TraceFile(line_->ownTraceFile), *trace);
    } catch (const std::system_error& error) {
      throw ToolError(vqshared::kExitOsError, error.what());
    }
  } else if (trace != nullptr) {
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
