#pragma once
// The line settings of a port: speed, parity, data bits, stop bits. No flow
// control of any kind is ever used.

#include <cstddef>
#include <cstdint>

namespace vqhw {

struct LineSettings {
  int32_t baud = 115200;
  char parity = 'N';
  int32_t dataBits = 8;
  int32_t stopBits = 1;
};

// "baud=115200 parity=N data=8 stop=1"; returns false if it does not fit.
bool FormatSettingsText(const LineSettings& settings, char* text, size_t size);

}  // namespace vqhw
