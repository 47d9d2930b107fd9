#pragma once
// A lane scenario from its JSON description (the format:
// sim/examples/README.md): the named cards, those in the field at the
// start, the PSAM and timing as in a field file, and the timeline of events.
// Belongs to the programs, like the field file.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "sim/files/field_file.h"
#include "sim/reader/reader_model.h"

namespace vqsim {

using ScenarioCards = std::map<std::string, std::shared_ptr<Card>, std::less<>>;

// Sets the reader's field, PSAM and timing and starts the scenario's clock;
// returns its cards by name, wherever they are. Nothing changes when the
// description is refused (FieldFileError, naming the place, e.g.
// "events[2].during.command: 1 bytes of hex expected").
ScenarioCards LoadScenario(std::string_view jsonText, VirtualReader& reader);
ScenarioCards LoadScenarioFile(const std::string& path, VirtualReader& reader);

}  // namespace vqsim
