#pragma once
// Texts for people: the library's GBK messages as UTF-8, bytes as hex.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

// The hex that people type, vqshared::DecodeHex, is stricter than the
// library, which skips stray characters: a typing error must not reach a card.
#include "shared/hex_text.h"

namespace vqtool {

// The text unchanged when it is no GBK (text_posix.cpp, text_win32.cpp).
std::string GbkToUtf8(const std::string& gbk);
std::string Hex(std::span<const uint8_t> bytes);         // "FF 00 70"
std::string CompactHex(std::span<const uint8_t> bytes);  // "FF0070"
// Bytes shown as ASCII, a dot for anything unprintable.
std::string Printable(std::span<const uint8_t> bytes);

// printf's formatting into a string, cut at 255 bytes: for one line of
// the tool's output.
template <typename... Values>
std::string Format(const char* format, Values... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// While it lives, a console shows the tool's UTF-8 as such: on Windows the
// console's output code page is UTF-8 and the one before it comes back at
// the end; elsewhere terminals take UTF-8 as they are.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  [[maybe_unused]] unsigned previousCodePage_ = 0;  // Windows alone has a code page to give back
};

}  // namespace vqtool
