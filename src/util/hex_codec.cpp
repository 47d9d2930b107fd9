#include "util/hex_codec.h"

namespace vqhw {

int32_t DecodeHex(const char* text, uint8_t* bytes) {
  if (text == nullptr || bytes == nullptr) return 0;
  int32_t count = 0;
  int32_t pendingHigh = -1;
  // The limit counts bytes, not multibyte characters: it only bounds the scan.
  for (size_t i = 0; i < kHexScanLimit && text[i] != '\0'; ++i) {
    const int32_t value = HexDigitValue(text[i]);
    if (value < 0) continue;
    if (pendingHigh < 0) {
      pendingHigh = value << 4;
    } else {
      bytes[count++] = static_cast<uint8_t>(pendingHigh | value);
      pendingHigh = -1;
    }
  }
  bytes[count] = 0;
  return count;
}

void EncodeHex(const uint8_t* bytes, int32_t length, char* text) {
  if (bytes == nullptr || text == nullptr || length <= 0) return;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  text[2 * static_cast<size_t>(length)] = '\0';
}

}  // namespace vqhw
