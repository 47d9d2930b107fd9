#include "sim/program/reader_setup.h"

#include <filesystem>
#include <memory>

#include "sim/cards/psam.h"
#include "sim/files/field_file.h"
#include "sim/files/scenario_file.h"

namespace vqsim::program {

std::string SetUp(VirtualReader& reader, const ReaderOptions& options) {
  reader.LimitHistory(1000);  // nobody reads the history here; keep memory flat
  reader.SetTiming(options.timing == "real" ? TimingProfile::Real() : TimingProfile::Instant());
  std::string loaded;
  const std::string& file = options.fieldFile.empty() ? options.stateFile : options.fieldFile;
  if (!options.scenarioFile.empty()) {
    reader.WithState([](ReaderState& state) { state.psam = std::make_shared<Psam>(); });
    LoadScenarioFile(options.scenarioFile, reader);
  } else if (!file.empty() && (file == options.fieldFile || std::filesystem::exists(file))) {
    loaded = file == options.fieldFile ? LoadFieldFile(file, reader, options.index, options.readers)
                                       : LoadFieldFile(file, reader);
  } else {
    loaded = DefaultField(options.card == "cpu" ? DefaultCard::kCpu : DefaultCard::kMifareOne);
    LoadField(loaded, reader);
  }
  if (options.noPsam) reader.SetPsamPresent(false);
  reader.Faults().StaySilent(options.silent);
  reader.Faults().WrongSequence(options.wrongSequence);
  if (options.lateMs > 0) reader.Faults().AnswerLate(std::chrono::milliseconds{options.lateMs}, -1);
  return loaded;
}

}  // namespace vqsim::program
