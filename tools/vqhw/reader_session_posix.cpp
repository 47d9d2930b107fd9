#include "vqhw/reader_session.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shared/exit_codes.h"
#include "sim/files/file_exit_code.h"
#include "sim/files/field_file.h"
#include "sim/hosts/pty_host.h"
#include "sim/reader/reader_model.h"
#include "vqhw/device_probe.h"
#include "vqhw/port_relay.h"
#include "vqhw/tool_error.h"

namespace vqtool {

struct ReaderSession::Line {
  std::string loadedField;  // the description the virtual reader's field came from
  std::unique_ptr<vqsim::VirtualReader> reader;
  std::unique_ptr<vqsim::PtyHost> host;
  std::unique_ptr<PortRelay> relay;
};

namespace {

std::string PortVariable(int port) { return "VQHW_COM" + std::to_string(port); }

void PointPortAt(int port, const std::string& path) { ::setenv(PortVariable(port).c_str(), path.c_str(), 1); }

// The field from the field file, else from the state file when it is
// there, else the default field; returns the description it came from.
std::string LoadFieldInto(vqsim::VirtualReader& reader, const SessionOptions& options) {
  const std::string& file = options.fieldFile.empty() ? options.stateFile : options.fieldFile;
  if (!file.empty() && (file == options.fieldFile || std::filesystem::exists(file))) {
    if (file == options.stateFile && options.card != SessionOptions{}.card) {
      throw ToolError(vqshared::kExitUsage, "--sim-card chooses the card of a new state file; " + file +
                                                " already holds the field");
    }
    return vqsim::LoadFieldFile(file, reader);
  }
  std::string field = vqsim::DefaultField(options.card == "cpu" ? vqsim::DefaultCard::kCpu
                                                                 : vqsim::DefaultCard::kMifareOne);
  vqsim::LoadField(field, reader);
  return field;
}

}  // namespace

std::string ReaderSession::DefaultDevice(int port) {
  if (const char* named = std::getenv(PortVariable(port).c_str())) return named;
  return "/dev/ttyS" + std::to_string(port - 1);
}

std::string ReaderSession::Inapplicable(const SessionOptions& /*options*/) { return {}; }

const char* ReaderSession::TraceDescription() {
  return "run any command with every frame on the line shown (for a real port through a relay)";
}

const char* ReaderSession::PlatformNote() { return ""; }

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace)
    : options_(options), line_(std::make_unique<Line>()) {
  if (options_.simulate) {
    line_->reader = std::make_unique<vqsim::VirtualReader>();
    line_->reader->LimitHistory(1000);  // nobody reads the history here
    line_->reader->SetTiming(options_.timing == "instant" ? vqsim::TimingProfile::Instant()
                                                          : vqsim::TimingProfile::Real());
    try {
      line_->loadedField = LoadFieldInto(*line_->reader, options_);
    } catch (const vqsim::FieldFileError& error) {
      throw ToolError(vqsim::ExitCodeOf(error), error.what());
    }
    vqsim::LineHost::Events events;
    if (trace != nullptr) {
      events.traffic = [trace](vqsim::LineHost::Direction direction, std::span<const uint8_t> bytes) {
        trace->Observe(direction == vqsim::LineHost::Direction::kFromHost ? LineDirection::kToReader
                                                                         : LineDirection::kToHost,
                       bytes);
      };
    }
    try {
      line_->host = std::make_unique<vqsim::PtyHost>(*line_->reader, std::move(events));
    } catch (const std::system_error& error) {
      throw ToolError(vqshared::kExitOsError, std::string("no pseudo-terminal for the virtual reader: ") + error.what());
    }
    PointPortAt(options_.port, line_->host->SlavePath());
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

bool ReaderSession::Simulated() const { return line_->host != nullptr; }

void ReaderSession::SaveState() {
  if (options_.stateFile.empty() || line_->reader == nullptr) return;
  line_->host.reset();  // the reader answers nothing more while its field is saved
  try {
    vqsim::SaveFieldState(options_.stateFile, line_->loadedField, *line_->reader);
  } catch (const vqsim::FieldFileError& error) {
    throw ToolError(vqsim::ExitCodeOf(error), error.what());
  }
}

}  // namespace vqtool
