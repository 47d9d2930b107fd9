#pragma once

#include <span>

#include "sim/commands/command_table.h"

namespace vqsim {

// The reader's file commands on a MIFARE Classic card: read 0x81, write
// 0x82, and 0x83, which prepares a write.
std::span<const CommandEntry> CardFileCommands();

}  // namespace vqsim
