#pragma once
// Date and time texts of the lane software: the decimal text of a local date
// and time, and a date and time written as 14 hex digits.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>

namespace vqhw {

// The fields of a calendar-time value in the local zone, daylight saving
// included; nullopt when the platform cannot break the value down. Safe to
// call from several threads at once.
std::optional<std::tm> LocalTime(std::time_t value);

// Year, month (1-12), day, hour, minute and second as plain decimal numbers
// run together, then a zero byte: 2006-02-14 09:05:03 gives "2006214953".
// The text does not tell its fields apart; lane software has always read it
// so. No fields give the empty text (the zero byte alone).
inline constexpr size_t kDecimalDateTimeSize = 15;  // 14 characters and the zero byte
void WriteDecimalDateTime(const std::optional<std::tm>& fields, char* text);

// Reads the hex date and time "YYYYMMDDhhmmss", each field a byte value and
// the year two bytes high first ("07D6020E090503" is 2006-02-14 09:05:03),
// and returns the calendar-time value of that local date and time. Returns
// -1 when a field is out of range, the date does not exist, or the moment
// has no 32-bit value. Each field is read at its own position; a text that
// ends early leaves the fields after its end 0.
int32_t ReadHexDateTime(const char* text);

}  // namespace vqhw
