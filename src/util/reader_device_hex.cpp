// The reader's hex text operations: every "_h" export rests on them. They
// touch no device state except BytesToHexText's own text buffer.

#include <algorithm>
#include <iterator>

#include "protocol/reader_device.h"
#include "util/hex_codec.h"

namespace vqhw {

int32_t ReaderDevice::HexToBytes(const char* text, uint8_t* bytes, int32_t* count) const {
  const int32_t decoded = DecodeHex(text, bytes);
  if (count != nullptr) *count = decoded;
  return decoded;
}

void ReaderDevice::BytesToHex(const uint8_t* bytes, char* text, int32_t length) const {
  EncodeHex(bytes, length, text);
}

char* ReaderDevice::BytesToHexText(const uint8_t* bytes, int32_t length) {
  // hexText holds the digits of 127 bytes and the zero byte; more would run
  // past it, so a longer input gives the text of its first 127 bytes.
  constexpr int32_t kFittingBytes = static_cast<int32_t>((sizeof(hexText) - 1) / 2);
  std::fill(std::begin(hexText), std::end(hexText), '\0');
  EncodeHex(bytes, std::min(length, kFittingBytes), hexText);
  return hexText;
}

}  // namespace vqhw
