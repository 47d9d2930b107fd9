// Exports of the date and time texts. They need no reader, always return 0
// and leave the last status alone; a null pointer is never written through.

#include <ctime>

#include "VqhwLib.h"
#include "util/date_time.h"

using namespace vqhw;

int32_t VQHW_CALL get_time(char* text) {
  if (text == nullptr) return 0;
  const std::time_t now = std::time(nullptr);
  WriteDecimalDateTime(now == static_cast<std::time_t>(-1) ? std::nullopt : LocalTime(now), text);
  return 0;
}

int32_t VQHW_CALL ltimetostime(int32_t value, char* text) {
  if (text != nullptr) WriteDecimalDateTime(LocalTime(value), text);
  return 0;
}

int32_t VQHW_CALL stimetoltime(const char* hexDateTime, int32_t* value) {
  if (hexDateTime != nullptr && value != nullptr) *value = ReadHexDateTime(hexDateTime);
  return 0;
}
