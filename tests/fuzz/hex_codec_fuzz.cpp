// The hex and numeric codec exports on any text and any bytes, through the
// library's C interface: decoding matches a plain reading of the text (first
// 255 characters, digit pairs, anything else skipped), never writes past the
// 127 bytes and zero byte a caller sizes for, and never reads an unterminated
// text past those 255 characters; encoding writes exactly 2n digits and a
// zero, and decodes back to the same bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "fuzz_check.h"

namespace {

constexpr size_t kScanLimit = 255;
constexpr size_t kMaxBytes = kScanLimit / 2;

int DigitOf(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<uint8_t> ReadHex(const char* text, size_t available) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (size_t i = 0; i < std::min(available, kScanLimit) && text[i] != '\0'; ++i) {
    const int digit = DigitOf(text[i]);
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return bytes;
}

// Decodes `text` into a heap buffer of exactly the size callers give and
// checks it against the plain reading.
void CheckDecode(const char* text, size_t available) {
  const std::vector<uint8_t> expected = ReadHex(text, available);
  const auto bytes = std::make_unique<uint8_t[]>(kMaxBytes + 1);
  int32_t count = -1;
  const int32_t result = hextobin(text, bytes.get(), &count);
  FUZZ_CHECK(result == count);
  FUZZ_CHECK(count == static_cast<int32_t>(expected.size()));
  FUZZ_CHECK(std::equal(expected.begin(), expected.end(), bytes.get()));
  FUZZ_CHECK(bytes[expected.size()] == 0);

  const auto again = std::make_unique<uint8_t[]>(kMaxBytes + 1);
  FUZZ_CHECK(hextoascii(text, again.get()) == 0);
  FUZZ_CHECK(std::equal(expected.begin(), expected.end(), again.get()));
}

void CheckRoundTrip(const uint8_t* data, size_t size) {
  const size_t n = std::min(size, kMaxBytes);
  if (n == 0) return;  // nothing to encode writes nothing at all
  const auto text = std::make_unique<char[]>(2 * n + 1);
  FUZZ_CHECK(asciitohex(data, static_cast<int32_t>(n), text.get()) == 0);
  FUZZ_CHECK(text[2 * n] == '\0');
  for (size_t i = 0; i < 2 * n; ++i) {
    FUZZ_CHECK((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'A' && text[i] <= 'F'));
  }
  const auto back = std::make_unique<uint8_t[]>(kMaxBytes + 1);
  int32_t count = -1;
  hextobin(text.get(), back.get(), &count);
  FUZZ_CHECK(count == static_cast<int32_t>(n));
  FUZZ_CHECK(std::memcmp(back.get(), data, n) == 0);
}

void CheckNumbers(const uint8_t* data, size_t size) {
  if (size < 4) return;
  int32_t word = 0;
  std::memcpy(&word, data, sizeof word);
  const int32_t digit = hextodec(word);
  const int expectedDigit = DigitOf(static_cast<char>(data[0]));
  FUZZ_CHECK(digit == std::max(expectedDigit, 0));

  // Exactly four bytes each way: the buffers are that size on the heap.
  const auto four = std::make_unique<uint8_t[]>(4);
  std::memcpy(four.get(), data, 4);
  int32_t value = 0;
  FUZZ_CHECK(asciitolong(four.get(), &value) == 0);
  FUZZ_CHECK(value % 256 == 0);
  FUZZ_CHECK(longtoascii(word, four.get()) == 0);
  FUZZ_CHECK(four[0] == static_cast<uint8_t>(word));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input as a terminated text (it ends at its first zero byte, if any).
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckDecode(text.c_str(), text.size() + 1);

  // A text of 255 characters or more without a terminator in them: only
  // those 255 may be read (the copy ends there, so ASan sees any more).
  if (size >= kScanLimit && std::memchr(data, 0, kScanLimit) == nullptr) {
    const auto unterminated = std::make_unique<char[]>(kScanLimit);
    std::memcpy(unterminated.get(), data, kScanLimit);
    CheckDecode(unterminated.get(), kScanLimit);
  }

  CheckRoundTrip(data, size);
  CheckNumbers(data, size);
  return 0;
}
