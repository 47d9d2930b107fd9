#pragma once
// A lane scenario from its JSON description (the format:
// sim/examples/README.md): the named cards, those in the field at the
// start, the PSAM and timing as in a field file, and the timeline of events.
// Belongs to the programs, like the field file.

#include <string>
#include <string_view>

#include "sim/field_file.h"
#include "sim/reader_model.h"

namespace vqsim {

// Sets the reader's field, PSAM and timing and starts the scenario's clock.
// Nothing changes when the description is refused (FieldFileError, naming
// the place, e.g. "events[2].during.command: one byte in hex expected").
void LoadScenario(std::string_view jsonText, VirtualReader& reader);
void LoadScenarioFile(const std::string& path, VirtualReader& reader);

}  // namespace vqsim
