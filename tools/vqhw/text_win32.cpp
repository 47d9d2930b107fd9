// The platform's part of the texts for people, Windows: GBK is code page
// 936, turned into UTF-16 and that into UTF-8; the console told to show UTF-8.

#include <windows.h>

#include "vqhw/text.h"

namespace vqtool {

namespace {
constexpr UINT kGbkCodePage = 936;
}  // namespace

std::string GbkToUtf8(const std::string& gbk) {
  if (gbk.empty()) return gbk;
  const int size = static_cast<int>(gbk.size());
  const int wideSize = MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), size, nullptr, 0);
  if (wideSize <= 0) return gbk;
  std::wstring wide(static_cast<size_t>(wideSize), L'\0');
  MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, gbk.data(), size, wide.data(), wideSize);
  const int utf8Size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (utf8Size <= 0) return gbk;
  std::string utf8(static_cast<size_t>(utf8Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), utf8Size, nullptr, nullptr);
  return utf8;
}

// Without a console (output to a file or a pipe) there is nothing to set.
Utf8Console::Utf8Console() : previousCodePage_(GetConsoleOutputCP()) {
  if (previousCodePage_ != 0) SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
  if (previousCodePage_ != 0) SetConsoleOutputCP(previousCodePage_);
}

}  // namespace vqtool
