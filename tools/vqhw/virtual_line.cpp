#include "vqhw/virtual_line.h"

#include <filesystem>

#include "shared/exit_codes.h"
#include "sim/files/field_file.h"
#include "sim/files/file_exit_code.h"
#include "vqhw/tool_error.h"

namespace vqtool {

namespace {

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

std::unique_ptr<VirtualLine> StartVirtualLine(const SessionOptions& options, FrameTrace* trace) {
  auto line = std::make_unique<VirtualLine>();
  line->reader = std::make_unique<vqsim::VirtualReader>();
  line->reader->LimitHistory(1000);  // nobody reads the history here
  line->reader->SetTiming(options.timing == "instant" ? vqsim::TimingProfile::Instant()
                                                      : vqsim::TimingProfile::Real());
  try {
    line->loadedField = LoadFieldInto(*line->reader, options);
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
  line->host = ServeVirtualReader(*line->reader, std::move(events), options.port);
  return line;
}

void SaveVirtualState(VirtualLine& line, const std::string& stateFile) {
  line.host.reset();
  try {
    vqsim::SaveFieldState(stateFile, line.loadedField, *line.reader);
  } catch (const vqsim::FieldFileError& error) {
    throw ToolError(vqsim::ExitCodeOf(error), error.what());
  }
}

}  // namespace vqtool
