#pragma once

#include <span>

#include "sim/commands/command_table.h"

namespace vqsim {

// The reader's own commands: probe, line speeds, RF field reset, PSAM reset,
// control bytes, CPU card reset.
std::span<const CommandEntry> ReaderControlCommands();

}  // namespace vqsim
