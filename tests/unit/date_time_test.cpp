// Date and time texts in the local zone: the decimal text of a calendar-time
// value and the calendar-time value of a hex date and time, under UTC, a
// zone eight hours east of it and one with daylight saving.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <iterator>
#include <optional>
#include <string>

#include "VqhwLib.h"
#include "local_zone.h"
#include "util/date_time.h"

namespace vqhw {
namespace {

constexpr const char* kUtc = "UTC0";
constexpr const char* kEightHoursEast = "CST-8";
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr int32_t kEightHours = 8 * 3600;

std::string DecimalText(int32_t value) {
  char text[kDecimalDateTimeSize + 1];
  std::fill(std::begin(text), std::end(text), 'x');
  EXPECT_EQ(ltimetostime(value, text), 0);
  EXPECT_EQ(text[kDecimalDateTimeSize], 'x') << "the text of " << value << " fits in 15 bytes";
  return text;
}

int32_t ValueOf(const char* hexDateTime) {
  int32_t value = 12345;
  EXPECT_EQ(stimetoltime(hexDateTime, &value), 0);
  return value;
}

struct TextCase {
  const char* zone;
  int32_t value;
  const char* text;
};

TEST(DateTimeText, WritesTheLocalFieldsRunTogether) {
  const TextCase cases[] = {
      {kUtc, 0, "197011000"},
      {kEightHoursEast, 0, "197011800"},
      {kUtc, 1139907903, "2006214953"},
      {kEightHoursEast, 1139907903 - kEightHours, "2006214953"},
      {kEightHoursEast, 1139907903, "20062141753"},
      {kUtc, 1167609599, "20061231235959"},
      {kEightHoursEast, 1167609599, "20071175959"},
      {kUtc, 1136073600, "200611000"},
      {kCentralEurope, 1136073600, "200611100"},
      {kCentralEurope, 1151755200, "2006711400"},  // 12:00 UTC in summer time
      {kUtc, INT32_MAX, "20381193147"},
      {kUtc, INT32_MIN, "19011213204552"},
  };
  for (const TextCase& c : cases) {
    LocalZone zone(c.zone);
    EXPECT_EQ(DecimalText(c.value), c.text) << c.value << " in " << c.zone;
  }
}

TEST(DateTimeText, ATimeThatCannotBeBrokenDownGivesTheEmptyText) {
  char text[4] = {'x', 'x', 'x', 'x'};
  WriteDecimalDateTime(std::nullopt, text);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'x') << "one zero byte and nothing else";
}

TEST(DateTimeText, CurrentTimeIsTheTextOfTheClock) {
  LocalZone zone(kEightHoursEast);
  const auto before = static_cast<int32_t>(std::time(nullptr));
  char text[kDecimalDateTimeSize] = {};
  EXPECT_EQ(get_time(text), 0);
  const auto after = static_cast<int32_t>(std::time(nullptr));
  EXPECT_TRUE(text == DecimalText(before) || text == DecimalText(after)) << text;
}

// stimetoltime once stored nothing meaningful: it now stores the value
// whose text ltimetostime writes.
TEST(DateTimeHex, ReadsTheCalendarTimeOfTheLocalDateAndTime) {
  {
    LocalZone zone(kUtc);
    EXPECT_EQ(ValueOf("07D6020E090503"), 1139907903);
    EXPECT_EQ(ValueOf("07b2010100000a"), 10) << "digits in either case";
    EXPECT_EQ(ValueOf("07F60113030E07"), INT32_MAX);
  }
  {
    LocalZone zone(kEightHoursEast);
    EXPECT_EQ(ValueOf("07D6020E090503"), 1139907903 - kEightHours);
    EXPECT_EQ(DecimalText(ValueOf("07D6020E090503")), "2006214953");
    EXPECT_EQ(DecimalText(ValueOf("07D60C1F173B3B")), "20061231235959");
  }
  {
    LocalZone zone(kCentralEurope);
    EXPECT_EQ(ValueOf("07D6070E0E0000"), 1152878400) << "2006-07-14 14:00 summer time";
    EXPECT_EQ(ValueOf("07D6010E0E0000"), 1137243600) << "2006-01-14 14:00 winter time";
  }
}

TEST(DateTimeHex, FieldsOutOfRangeOrBeyond32BitsGiveMinusOne) {
  LocalZone zone(kUtc);
  EXPECT_NE(ValueOf("07D4021D000000"), -1) << "2004-02-29 exists";
  for (const char* text : {
           "07D6000E090503",  // month 0
           "07D60D0E090503",  // month 13
           "07D60200090503",  // day 0
           "07D6021D000000",  // 2006-02-29
           "07D60420000000",  // April 32
           "07D6020E180000",  // hour 24
           "07D6020E003C00",  // minute 60
           "07D6020E00003C",  // second 60
           "07F60113030E08",  // one second past the last 32-bit value
           "07F70101000000",  // 2039
           "076C0101000000",  // 1900
           "FFFF0101000000",
           "07D602",  // the text ends before the day
           "",
       }) {
    EXPECT_EQ(ValueOf(text), -1) << '"' << text << '"';
  }
}

TEST(DateTimeExports, NullPointersAreNeverWrittenThrough) {
  int32_t value = 7;
  EXPECT_EQ(stimetoltime(nullptr, &value), 0);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(stimetoltime("07D6020E090503", nullptr), 0);
  EXPECT_EQ(ltimetostime(0, nullptr), 0);
  EXPECT_EQ(get_time(nullptr), 0);
}

}  // namespace
}  // namespace vqhw
