#pragma once
// Names of what passes on the line: the reader's command codes and the
// status bytes of its answers, for the frame trace.

#include <cstdint>
#include <string>

namespace vqtool {

// "probe", "read block", ...; "command XX" for a code the library never sends.
std::string CommandName(uint8_t command);
// "success", "no card in the field", else the meaning of the status it stands for.
std::string StatusByteName(uint8_t statusByte);

}  // namespace vqtool
