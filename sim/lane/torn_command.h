#pragma once

#include <cstdint>
#include <span>

#include "sim/commands/command_table.h"
#include "sim/commands/reader_state.h"
#include "sim/lane/scenario.h"

namespace vqsim {

// Runs a command whose card leaves the field in the middle of it: the card
// does all of it, none of it, or (a MIFARE ONE card) leaves the blocks it
// wrote half written, as the tear says; then it is out of the field. The
// reader answers "card timed out". With no card selected there is nothing
// to tear and the command runs as usual.
Reply RunTorn(ReaderState& state, uint8_t command, std::span<const uint8_t> data, const Tear& tear);

}  // namespace vqsim
