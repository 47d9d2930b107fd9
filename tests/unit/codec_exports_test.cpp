// The codec exports as lane software calls them: their results, what they
// write, what they leave alone.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "VqhwLib.h"
#include "api/library_state.h"

namespace vqhw {
namespace {

constexpr uint8_t kUntouched = 0xEE;
using Bytes = std::array<uint8_t, 8>;

Bytes Untouched() {
  Bytes bytes;
  bytes.fill(kUntouched);
  return bytes;
}

TEST(CodecExports, HexToBinReturnsAndStoresTheCount) {
  Bytes bytes = Untouched();
  int32_t count = -1;
  EXPECT_EQ(hextobin("", bytes.data(), &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(bytes[0], 0) << "the empty text still gets its zero byte";
  EXPECT_EQ(hextobin("1a2B", bytes.data(), &count), 2);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(bytes, (Bytes{0x1A, 0x2B, 0x00, kUntouched, kUntouched, kUntouched, kUntouched,
                          kUntouched}));
  EXPECT_EQ(hextobin("ABC", bytes.data(), &count), 1);
  EXPECT_EQ(bytes[1], 0);
}

TEST(CodecExports, HexToAsciiAndAsciiToHexReturnZeroWhateverTheyConvert) {
  Bytes bytes = Untouched();
  EXPECT_EQ(hextoascii("0x12", bytes.data()), 0);
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[1], 0);
  const uint8_t in[] = {0x00, 0xAB, 0x5F};
  char text[8] = "xxxxxxx";
  EXPECT_EQ(asciitohex(in, 3, text), 0);
  EXPECT_STREQ(text, "00AB5F");
  char untouched[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(asciitohex(in, -3, untouched), 0);
  EXPECT_EQ(std::string(untouched, 4), "xxxx");
}

TEST(CodecExports, HexToDecGivesTheDigitValueOfTheLowByte) {
  struct Case { int32_t character; int32_t value; };
  for (const Case c : {Case{'0', 0}, Case{'7', 7}, Case{'9', 9}, Case{'a', 10}, Case{'b', 11},
                       Case{'B', 11}, Case{'f', 15}, Case{'F', 15}, Case{'G', 0}, Case{'x', 0},
                       Case{' ', 0}, Case{0, 0}, Case{0xB0, 0}, Case{0x141, 10},
                       Case{-256 + 'e', 14}}) {
    EXPECT_EQ(hextodec(c.character), c.value) << c.character;
  }
}

TEST(CodecExports, AsciiToLongIs256TimesTheSumOfFourSignedBytes) {
  struct Case { std::array<uint8_t, 4> bytes; int32_t value; };
  for (const Case& c : {Case{{'1', '2', '3', '4'}, 51712}, Case{{'4', '3', '2', '1'}, 51712},
                        Case{{'A', 'B', 'C', 'D'}, 68096}, Case{{0xFF, 0xFF, 0xFF, 0xFF}, -1024},
                        Case{{0x00, 0x00, 0x00, 0x01}, 256}, Case{{0x80, 0x7F, 0, 0}, -256}}) {
    int32_t value = 12345;
    EXPECT_EQ(asciitolong(c.bytes.data(), &value), 0);
    EXPECT_EQ(value, c.value) << "a zero byte does not end the input";
  }
}

TEST(CodecExports, LongToAsciiShiftsTwoBitsPerByteAndWritesFourBytes) {
  struct Case { int32_t value; std::array<uint8_t, 4> bytes; };
  for (const Case& c : {Case{0x12345678, {0x78, 0x9E, 0x67, 0x59}}, Case{255, {0xFF, 0x3F, 0x0F, 0x03}},
                        Case{1, {0x01, 0x00, 0x00, 0x00}}, Case{-1, {0xFF, 0xFF, 0xFF, 0xFF}},
                        Case{INT32_MIN, {0x00, 0x00, 0x00, 0x00}}}) {
    Bytes bytes = Untouched();
    EXPECT_EQ(longtoascii(c.value, bytes.data()), 0);
    EXPECT_EQ(std::memcmp(bytes.data(), c.bytes.data(), 4), 0) << c.value;
    EXPECT_EQ(bytes[4], kUntouched) << "no zero byte follows";
  }
}

TEST(CodecExports, StubsReturnZeroAndWriteNothing) {
  Bytes a = Untouched();
  Bytes b = Untouched();
  EXPECT_EQ(hextoulong(a.data(), b.data()), 0);
  EXPECT_EQ(ulongtohex(a.data(), b.data()), 0);
  EXPECT_EQ(hextouint(a.data(), b.data()), 0);
  EXPECT_EQ(uinttohex(a.data(), b.data()), 0);
  EXPECT_EQ(straxorstrb(a.data(), a.data(), a.data(), b.data()), 0);
  EXPECT_EQ(straxorstrb_h(a.data(), a.data(), b.data()), 0);
  EXPECT_EQ(a, Untouched());
  EXPECT_EQ(b, Untouched());
}

TEST(CodecExports, NullPointersAreNeverWrittenThrough) {
  Bytes bytes = Untouched();
  int32_t count = -1;
  EXPECT_EQ(hextobin(nullptr, bytes.data(), &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(bytes, Untouched());
  EXPECT_EQ(hextobin("1234", nullptr, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(hextobin("1234", bytes.data(), nullptr), 2);
  EXPECT_EQ(hextoascii(nullptr, nullptr), 0);
  EXPECT_EQ(asciitohex(nullptr, 4, nullptr), 0);
  int32_t value = 9;
  EXPECT_EQ(asciitolong(nullptr, &value), 0);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(asciitolong(bytes.data(), nullptr), 0);
  EXPECT_EQ(longtoascii(5, nullptr), 0);
}

TEST(CodecExports, LeaveTheLastStatusAlone) {
  Library().lastStatus = status::kNoPsam;
  Bytes bytes = Untouched();
  char text[32] = {};
  int32_t value = 0;
  hextobin("12", bytes.data(), &value);
  hextoascii("zz", bytes.data());
  asciitohex(bytes.data(), 2, text);
  hextodec('G');
  asciitolong(bytes.data(), &value);
  longtoascii(-7, bytes.data());
  get_time(text);
  ltimetostime(-1, text);
  stimetoltime("07D6000E090503", &value);
  EXPECT_EQ(Library().lastStatus, status::kNoPsam);
  Library().lastStatus = status::kOk;
}

}  // namespace
}  // namespace vqhw
