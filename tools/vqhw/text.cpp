#include "vqhw/text.h"

#include <iconv.h>

#include "shared/hex_text.h"

namespace vqtool {

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

std::string Hex(std::span<const uint8_t> bytes) { return vqshared::EncodeHex(bytes, " "); }

std::string CompactHex(std::span<const uint8_t> bytes) { return vqshared::EncodeHex(bytes); }

std::string Printable(std::span<const uint8_t> bytes) {
  std::string text;
  for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
  return text;
}

}  // namespace vqtool
