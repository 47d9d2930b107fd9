#include "vqhw/text.h"

#include <iconv.h>

#include <cstdio>

namespace vqtool {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HexWith(std::span<const uint8_t> bytes, const char* separator) {
  std::string text;
  char digits[4];
  for (uint8_t b : bytes) {
    if (!text.empty()) text += separator;
    std::snprintf(digits, sizeof digits, "%02X", b);
    text += digits;
  }
  return text;
}

}  // namespace

std::string GbkToUtf8(const std::string& gbk) {
  iconv_t cd = ::iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return gbk;
  std::string in = gbk, out(gbk.size() * 3 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  const bool converted = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
  ::iconv_close(cd);
  if (!converted) return gbk;
  out.resize(out.size() - outLeft);
  return out;
}

std::string Hex(std::span<const uint8_t> bytes) { return HexWith(bytes, " "); }

std::string CompactHex(std::span<const uint8_t> bytes) { return HexWith(bytes, ""); }

std::string Printable(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
  return text;
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
  std::vector<uint8_t> bytes;
  int high = -1;  // the first digit of a pair, while its partner is awaited
  for (char c : text) {
    const int value = DigitValue(c);
    if (value >= 0) {
      if (high < 0) {
        high = value;
      } else {
        bytes.push_back(static_cast<uint8_t>(high << 4 | value));
        high = -1;
      }
    } else if ((c != ' ' && c != ':') || high >= 0) {
      return std::nullopt;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

}  // namespace vqtool
