#include "sim/program/reader_setup.h"

#include <filesystem>
#include <memory>
#include <random>

#include "sim/cards/psam.h"
#include "sim/files/field_file.h"
#include "sim/files/field_json.h"
#include "sim/files/scenario_file.h"

namespace vqsim::program {

namespace {

// The seed of one reader's cards: a sequence of its own for each reader,
// from the run's seed and the reader's number.
uint32_t ReaderSeed(uint32_t seed, size_t index) {
  std::seed_seq sequence{seed, static_cast<uint32_t>(index)};
  uint32_t readerSeed = 0;
  sequence.generate(&readerSeed, &readerSeed + 1);
  return readerSeed;
}

}  // namespace

std::string SetUp(VirtualReader& reader, const ReaderOptions& options) {
  reader.LimitHistory(1000);  // nobody reads the history here; keep memory flat
  if (options.seed) reader.SeedCards(ReaderSeed(*options.seed, options.index));
  reader.SetTiming(options.timing == "real" ? TimingProfile::Real() : TimingProfile::Instant());
  std::string loaded;
  const std::string& file = options.fieldFile.empty() ? options.stateFile : options.fieldFile;
  if (!options.scenarioFile.empty()) {
    const std::shared_ptr<Psam> psam = field_json::DefaultPsamSlot(reader.NextCardSeed()).psam;
    reader.WithState([&psam](ReaderState& state) { state.psam = psam; });
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
