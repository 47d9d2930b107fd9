#pragma once
// Hex text as lane software writes it: two digits per byte, high half first,
// read in either case with any other character skipped (it neither ends the
// text nor breaks a pair), written in upper case with no separators.

#include <cstddef>
#include <cstdint>

namespace vqhw {

// Decoding looks at no more than this many bytes of a text, so it yields at
// most kMaxDecodedBytes bytes; the byte buffers of the library's callers are
// sized for that, plus the zero byte after them.
inline constexpr size_t kHexScanLimit = 255;
inline constexpr int32_t kMaxDecodedBytes = static_cast<int32_t>(kHexScanLimit / 2);

// The length of text, counted no further than limit: a text that goes on
// gives limit, and nothing after its first limit characters is read.
constexpr size_t TextLengthUpTo(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

// 0-15 for "0"-"9", "a"-"f" and "A"-"F"; -1 for any other character.
constexpr int32_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes text into bytes and writes one zero byte after the last of them;
// returns how many were decoded, and stores that in *count when count is
// not null. A last digit without a partner is dropped and no prefix is
// recognised ("0x12" gives the one byte 0x01). A null text or a null bytes
// buffer decodes nothing and writes no byte.
int32_t HexToBytes(const char* text, uint8_t* bytes, int32_t* count = nullptr);

// Writes 2 x length upper-case digits and one zero byte into text, which
// the caller sizes for them. A length of 0 or less, or a null pointer,
// writes nothing at all, not even the zero byte.
void BytesToHex(const uint8_t* bytes, char* text, int32_t length);

// A text of its own for the hex of up to 127 bytes, valid until the next
// conversion: for callers that keep no buffer.
class HexText {
 public:
  // Clears the whole text, then writes the digits of the first 127 bytes
  // at most (a longer input would run past the text); returns the text.
  const char* BytesToHexText(const uint8_t* bytes, int32_t length);
  const char* Text() const { return text_; }

 private:
  char text_[256] = {};
};

}  // namespace vqhw
