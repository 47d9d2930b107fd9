// The codec and time exports, where present, behave on Windows as they do
// on Linux: the C runtime underneath them differs (msvcrt), the results
// must not.

#include <cstdio>
#include <cstring>
#include <string>

#include "harness.h"
#include "library.h"
#include "test_cases.h"

namespace wintest {

void CodecsWorkUnderWindows(const Setup& /*setup*/) {
  Library library;
  for (const char* name : {"hextobin", "hextoascii", "asciitohex", "hextodec", "asciitolong",
                           "longtoascii", "get_time", "ltimetostime", "stimetoltime"}) {
    if (library.Find(name) == nullptr) {
      std::printf("  skipped: %s is not exported yet\n", name);
      return;
    }
  }

  unsigned char bytes[8] = {0xEE, 0xEE, 0xEE, 0xEE};
  int32_t count = -1;
  WT_CHECK_EQ(VQHW_EXPORT(library, hextobin)("1a 2B", bytes, &count), 2);
  WT_CHECK_EQ(count, 2);
  WT_CHECK(bytes[0] == 0x1A && bytes[1] == 0x2B && bytes[2] == 0x00);

  // The decoder reads the first 255 characters: 127 pairs, the lone digit dropped.
  unsigned char many[200];
  std::memset(many, 0xEE, sizeof many);
  WT_CHECK_EQ(VQHW_EXPORT(library, hextobin)(std::string(300, 'a').c_str(), many, &count), 127);
  WT_CHECK(many[126] == 0xAA && many[127] == 0x00 && many[128] == 0xEE);
  WT_CHECK_EQ(VQHW_EXPORT(library, hextoascii)("0x12", bytes), 0);
  WT_CHECK(bytes[0] == 0x01 && bytes[1] == 0x00);

  const unsigned char raw[] = {0x00, 0xAB, 0x5F};
  char text[16] = {};
  WT_CHECK_EQ(VQHW_EXPORT(library, asciitohex)(raw, 3, text), 0);
  WT_CHECK_EQ(std::string(text), std::string("00AB5F"));
  // Past 127 bytes the positions in the text must not wrap.
  for (size_t i = 0; i < sizeof many; ++i) many[i] = static_cast<unsigned char>(i);
  char longText[2 * sizeof many + 2];
  std::memset(longText, 'x', sizeof longText);
  WT_CHECK_EQ(VQHW_EXPORT(library, asciitohex)(many, sizeof many, longText), 0);
  WT_CHECK_EQ(std::strlen(longText), 2 * sizeof many);
  WT_CHECK_EQ(std::string(longText + 2 * 127, 6), std::string("7F8081"));
  WT_CHECK_EQ(std::string(longText + 2 * 197, 6), std::string("C5C6C7"));

  WT_CHECK_EQ(VQHW_EXPORT(library, hextodec)('F'), 15);
  WT_CHECK_EQ(VQHW_EXPORT(library, hextodec)('G'), 0);

  int32_t value = 0;
  WT_CHECK_EQ(VQHW_EXPORT(library, asciitolong)(reinterpret_cast<const unsigned char*>("1234"), &value), 0);
  WT_CHECK_EQ(value, 51712);
  unsigned char four[4] = {};
  WT_CHECK_EQ(VQHW_EXPORT(library, longtoascii)(0x12345678, four), 0);
  WT_CHECK(four[0] == 0x78 && four[1] == 0x9E && four[2] == 0x67 && four[3] == 0x59);

  // Decimal date-time text: 9 to 14 digits from msvcrt's localtime.
  char now[32] = {};
  WT_CHECK_EQ(VQHW_EXPORT(library, get_time)(now), 0);
  const size_t digits = std::strspn(now, "0123456789");
  WT_CHECK(digits == std::strlen(now) && digits >= 9 && digits <= 14);
  char epoch[32] = {};
  WT_CHECK_EQ(VQHW_EXPORT(library, ltimetostime)(86400 * 365, epoch), 0);  // 1971-01-01, any zone
  WT_CHECK(std::strncmp(epoch, "1971", 4) == 0 || std::strncmp(epoch, "1970", 4) == 0);

  // The hex date and time is read in the local zone, whichever it is, as
  // the inverse of ltimetostime: 2006-02-14 09:05:03 and a second later.
  auto stimetoltime = VQHW_EXPORT(library, stimetoltime);
  int32_t moment = 0;
  WT_CHECK_EQ(stimetoltime("07D6020E090503", &moment), 0);
  char momentText[32] = {};
  WT_CHECK_EQ(VQHW_EXPORT(library, ltimetostime)(moment, momentText), 0);
  WT_CHECK_EQ(std::string(momentText), std::string("2006214953"));
  int32_t later = 0;
  WT_CHECK_EQ(stimetoltime("07d6020e090504", &later), 0);
  WT_CHECK_EQ(later - moment, 1);
  WT_CHECK_EQ(stimetoltime("07D6021D000000", &later), 0);  // 2006-02-29
  WT_CHECK_EQ(later, -1);
  later = 7;
  WT_CHECK_EQ(stimetoltime(nullptr, &later), 0);
  WT_CHECK_EQ(later, 7);
}

}  // namespace wintest
