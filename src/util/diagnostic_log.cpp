#include "util/diagnostic_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "util/date_time.h"

namespace vqhw {

namespace {

constexpr size_t kStampAllowance = 10;

// Characters of the current locale's multibyte code; a byte that starts no
// valid character counts as one.
size_t CharacterCount(const char* text) {
  const size_t bytes = std::strlen(text);
  std::mbstate_t state{};
  size_t count = 0;
  for (size_t i = 0; i < bytes; ++count) {
    const size_t length = std::mbrlen(text + i, bytes - i, &state);
    if (length == 0 || length > bytes - i) {
      state = std::mbstate_t{};
      ++i;
    } else {
      i += length;
    }
  }
  return count;
}

}  // namespace

size_t TimeStampLimit(const char* timeFormat) {
  return CharacterCount(timeFormat) + kStampAllowance;
}

int32_t FormatTimeStamp(char* stamp, const char* timeFormat) {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return -1;
  const std::optional<std::tm> fields = LocalTime(now);
  if (!fields) return -1;
  return static_cast<int32_t>(std::strftime(stamp, TimeStampLimit(timeFormat), timeFormat, &*fields));
}

int32_t WriteLog(const char* fileName, const char* timeFormat, const char* messageFormat, ...) {
  if (fileName == nullptr) return 0;
  // Binary mode, so that every record ends in exactly CR LF on every
  // platform: a text-mode stream would turn the LF into CR LF again.
  std::FILE* file = std::fopen(fileName, "ab");
  if (file == nullptr) return 0;

  if (messageFormat != nullptr) {
    va_list arguments;
    va_start(arguments, messageFormat);
    std::vfprintf(file, messageFormat, arguments);
    va_end(arguments);
  }
  if (timeFormat != nullptr) {
    // Sized from the format, so that no format can make the stamp overrun it.
    std::string stamp(TimeStampLimit(timeFormat), '\0');
    if (FormatTimeStamp(stamp.data(), timeFormat) > 0) std::fputs(stamp.c_str(), file);
  }
  std::fputs("\r\n", file);
  return std::fclose(file);
}

}  // namespace vqhw
