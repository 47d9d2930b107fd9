#include "vqhw/reader_session.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shared/exit_codes.h"
#include "sim/field_file.h"
#include "vqhw/device_probe.h"
#include "vqhw/tool_error.h"

namespace vqtool {

namespace {

std::string PortVariable(int port) { return "VQHW_COM" + std::to_string(port); }

int ExitCodeOf(const vqsim::FieldFileError& error) {
  switch (error.FileKind()) {
    case vqsim::FieldFileError::Kind::kUnreadable: return vqshared::kExitNoInput;
    case vqsim::FieldFileError::Kind::kUnwritable: return vqshared::kExitCannotWrite;
    case vqsim::FieldFileError::Kind::kMalformed: break;
  }
  return vqshared::kExitBadFile;
}

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

ReaderSession::ReaderSession(const SessionOptions& options, FrameTrace* trace) : options_(options) {
  if (options_.simulate) {
    reader_ = std::make_unique<vqsim::VirtualReader>();
    reader_->LimitHistory(1000);  // nobody reads the history here
    reader_->SetTiming(options_.timing == "real" ? vqsim::TimingProfile::Real() : vqsim::TimingProfile::Instant());
    try {
      loadedField_ = LoadFieldInto(*reader_, options_);
    } catch (const vqsim::FieldFileError& error) {
      throw ToolError(ExitCodeOf(error), error.what());
    }
    vqsim::PtyHost::TrafficLog log;
    if (trace != nullptr) {
      log = [trace](vqsim::PtyHost::Direction direction, std::span<const uint8_t> bytes) {
        trace->Observe(direction == vqsim::PtyHost::Direction::kFromHost ? LineDirection::kToReader
                                                                         : LineDirection::kToHost,
                       bytes);
      };
    }
    try {
      host_ = std::make_unique<vqsim::PtyHost>(*reader_, std::move(log));
    } catch (const std::system_error& error) {
      throw ToolError(vqshared::kExitOsError,
                      std::string("no pseudo-terminal for the virtual reader: ") + error.what());
    }
    PointPortAt(host_->SlavePath());
    return;
  }
  const std::string device = options_.device.empty() ? DefaultDevice(options_.port) : options_.device;
  if (trace != nullptr) {
    try {
      relay_ = std::make_unique<PortRelay>(device, [trace](LineDirection direction, std::span<const uint8_t> bytes) {
        trace->Observe(direction, bytes);
      });
    } catch (const std::system_error& error) {
      const std::string why = WhyDeviceCannotOpen(device);
      throw ToolError(vqshared::kExitNoDevice,
                      "the port cannot be opened: " + device + ": " + (why.empty() ? error.what() : why));
    }
    PointPortAt(relay_->SlavePath());
  } else if (!options_.device.empty()) {
    PointPortAt(options_.device);
  }
}

ReaderSession::~ReaderSession() = default;

void ReaderSession::SaveState() {
  if (options_.stateFile.empty() || reader_ == nullptr) return;
  host_.reset();  // the reader answers nothing more while its field is saved
  try {
    vqsim::SaveFieldState(options_.stateFile, loadedField_, *reader_);
  } catch (const vqsim::FieldFileError& error) {
    throw ToolError(ExitCodeOf(error), error.what());
  }
}

void ReaderSession::PointPortAt(const std::string& path) const {
  ::setenv(PortVariable(options_.port).c_str(), path.c_str(), 1);
}

}  // namespace vqtool
