// The platform's part of the texts for people, POSIX: GBK by iconv.

#include <iconv.h>

#include "vqhw/text.h"

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

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

}  // namespace vqtool
