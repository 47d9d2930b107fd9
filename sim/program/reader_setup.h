#pragma once
// What the command line says about one reader, and the reader set up by it.

#include <cstdint>
#include <optional>
#include <string>

#include "sim/reader/reader_model.h"

namespace vqsim::program {

struct ReaderOptions {
  bool noPsam = false;
  int silent = 0;
  int lateMs = 0;
  int wrongSequence = 0;
  std::string fieldFile;     // cards and PSAM, JSON
  std::string stateFile;     // the field from here when it is there, saved back on exit
  std::string recordFile;    // the session served, recorded here
  std::string card = "mifare-one";  // the default field's card
  std::string scenarioFile;  // a lane scenario, JSON: its own field
  std::string timing = "real";
  std::optional<uint32_t> seed;  // the run's random seed; none: fresh randoms
  size_t index = 0;    // of the readers the command line names (from 0)
  size_t readers = 1;  // how many it names
};

// Sets the reader up; returns the description its field came from (empty
// for a scenario's). Throws FieldFileError.
std::string SetUp(VirtualReader& reader, const ReaderOptions& options);

}  // namespace vqsim::program
