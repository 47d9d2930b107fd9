#pragma once

#include <span>

#include "sim/commands/command_table.h"

namespace vqsim {

// MIFARE Classic keys, authentication, blocks and value blocks: 0x50 to 0x56.
std::span<const CommandEntry> MifareBlockCommands();

}  // namespace vqsim
