#include "util/hex_codec.h"

#include <algorithm>
#include <iterator>

namespace vqhw {

int32_t HexToBytes(const char* text, uint8_t* bytes, int32_t* count) {
  int32_t decoded = 0;
  if (text != nullptr && bytes != nullptr) {
    int32_t pendingHigh = -1;
    // The limit counts bytes, not multibyte characters: it only bounds the scan.
    for (size_t i = 0; i < kHexScanLimit && text[i] != '\0'; ++i) {
      const int32_t value = HexDigitValue(text[i]);
      if (value < 0) continue;
      if (pendingHigh < 0) {
        pendingHigh = value << 4;
      } else {
        bytes[decoded++] = static_cast<uint8_t>(pendingHigh | value);
        pendingHigh = -1;
      }
    }
    bytes[decoded] = 0;
  }
  if (count != nullptr) *count = decoded;
  return decoded;
}

void BytesToHex(const uint8_t* bytes, char* text, int32_t length) {
  if (bytes == nullptr || text == nullptr || length <= 0) return;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  text[2 * static_cast<size_t>(length)] = '\0';
}

const char* HexText::BytesToHexText(const uint8_t* bytes, int32_t length) {
  constexpr int32_t kFittingBytes = static_cast<int32_t>((sizeof text_ - 1) / 2);
  std::fill(std::begin(text_), std::end(text_), '\0');
  BytesToHex(bytes, text_, std::min(length, kFittingBytes));
  return text_;
}

}  // namespace vqhw
