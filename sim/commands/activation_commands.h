#pragma once

#include <span>

#include "sim/commands/command_table.h"

namespace vqsim {

// Finding and selecting a card: request 0x40, anticollision 0x41, select
// 0x42, the one-step activation 0x80, and halt 0x58.
std::span<const CommandEntry> ActivationCommands();

}  // namespace vqsim
