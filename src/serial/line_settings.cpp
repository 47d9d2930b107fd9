#include "serial/line_settings.h"

#include <cstdio>

namespace vqhw {

bool FormatSettingsText(const LineSettings& s, char* text, size_t size) {
  int n = std::snprintf(text, size, "baud=%ld parity=%c data=%d stop=%d", static_cast<long>(s.baud),
                        s.parity, static_cast<int>(s.dataBits), static_cast<int>(s.stopBits));
  return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace vqhw
