#include "vqhw/text.h"

#include "shared/hex_text.h"

namespace vqtool {

std::string Hex(std::span<const uint8_t> bytes) { return vqshared::EncodeHex(bytes, " "); }

std::string CompactHex(std::span<const uint8_t> bytes) { return vqshared::EncodeHex(bytes); }

std::string Printable(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
  return text;
}

}  // namespace vqtool
