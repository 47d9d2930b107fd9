#include "util/date_time.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <limits>

#include "util/hex_codec.h"

namespace vqhw {

namespace {

constexpr int kTmYearBase = 1900;
// The only years a signed 32-bit calendar-time value reaches, in any zone.
constexpr int kFirstYear = 1901;
constexpr int kLastYear = 2038;

// The digits of one field decoded as a text of their own, as the position
// of each field is fixed. Stops at the end of the text and stays there.
std::array<uint8_t, 3> DecodeField(const char* text, size_t& position, size_t digits) {
  std::array<char, 5> field{};
  for (size_t i = 0; i < digits && text[position] != '\0'; ++i) field[i] = text[position++];
  std::array<uint8_t, 3> bytes{};
  HexToBytes(field.data(), bytes.data());
  return bytes;
}

bool IsValidDateTime(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                     unsigned second) {
  if (year < kFirstYear || year > kLastYear) return false;
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{month},
                                         std::chrono::day{day}};
  return date.ok() && hour <= 23 && minute <= 59 && second <= 59;
}

}  // namespace

std::optional<std::tm> LocalTime(std::time_t value) {
  std::tm fields{};
#ifdef _WIN32
  if (localtime_s(&fields, &value) != 0) return std::nullopt;
#else
  if (localtime_r(&value, &fields) == nullptr) return std::nullopt;
#endif
  return fields;
}

void WriteDecimalDateTime(const std::optional<std::tm>& fields, char* text) {
  if (!fields) {
    text[0] = '\0';
    return;
  }
  const int written =
      std::snprintf(text, kDecimalDateTimeSize, "%d%d%d%d%d%d", fields->tm_year + kTmYearBase,
                    fields->tm_mon + 1, fields->tm_mday, fields->tm_hour, fields->tm_min,
                    fields->tm_sec);
  // Only a year beyond 9999 could make it longer; no cut-off text is given out.
  if (written < 0 || static_cast<size_t>(written) >= kDecimalDateTimeSize) text[0] = '\0';
}

int32_t ReadHexDateTime(const char* text) {
  if (text == nullptr) return -1;
  size_t position = 0;
  const auto year = DecodeField(text, position, 4);
  const int fullYear = year[0] * 256 + year[1];
  const unsigned month = DecodeField(text, position, 2)[0];
  const unsigned day = DecodeField(text, position, 2)[0];
  const unsigned hour = DecodeField(text, position, 2)[0];
  const unsigned minute = DecodeField(text, position, 2)[0];
  const unsigned second = DecodeField(text, position, 2)[0];
  if (!IsValidDateTime(fullYear, month, day, hour, minute, second)) return -1;

  std::tm fields{};
  fields.tm_year = fullYear - kTmYearBase;
  fields.tm_mon = static_cast<int>(month) - 1;
  fields.tm_mday = static_cast<int>(day);
  fields.tm_hour = static_cast<int>(hour);
  fields.tm_min = static_cast<int>(minute);
  fields.tm_sec = static_cast<int>(second);
  fields.tm_isdst = -1;  // the zone's rules decide whether daylight saving applies
  const std::time_t value = std::mktime(&fields);
  if (value == static_cast<std::time_t>(-1) || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    return -1;
  }
  return static_cast<int32_t>(value);
}

}  // namespace vqhw
