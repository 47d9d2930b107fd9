#pragma once

#include <span>

#include "sim/commands/command_table.h"

namespace vqsim {

// The APDU channels: 0x60 to the CPU card selected in the field, 0x61 to
// the PSAM. The reader carries the APDU and the card's answer unchanged.
std::span<const CommandEntry> ApduChannelCommands();

}  // namespace vqsim
