// Hex text as the reader's callers write it, and the limits of one
// conversion.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "util/hex_codec.h"

namespace vqhw {
namespace {

constexpr uint8_t kUntouched = 0xEE;

std::vector<uint8_t> Decode(const std::string& text, int32_t* count = nullptr) {
  std::vector<uint8_t> bytes(300, kUntouched);
  const int32_t n = HexToBytes(text.c_str(), bytes.data());
  if (count != nullptr) *count = n;
  EXPECT_EQ(bytes[n], 0) << "one zero byte follows the decoded bytes of \"" << text << '"';
  EXPECT_EQ(bytes[n + 1], kUntouched) << "nothing is written past it";
  return {bytes.begin(), bytes.begin() + n};
}

std::string Encode(const std::vector<uint8_t>& bytes) {
  std::string text(2 * bytes.size() + 2, 'x');
  BytesToHex(bytes.data(), text.data(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(text[2 * bytes.size()], '\0');
  EXPECT_EQ(text[2 * bytes.size() + 1], 'x');
  return text.c_str();
}

TEST(HexCodec, DecodesPairsOfDigitsInEitherCase) {
  EXPECT_EQ(Decode(""), std::vector<uint8_t>{});
  EXPECT_EQ(Decode("1a2B"), (std::vector<uint8_t>{0x1A, 0x2B}));
  EXPECT_EQ(Decode("00ffFF90"), (std::vector<uint8_t>{0x00, 0xFF, 0xFF, 0x90}));
}

TEST(HexCodec, SkipsOtherCharactersWithoutBreakingAPair) {
  for (const char* text : {"12", "1G2", "1 2", " 1-2 ", "1\xB0\xA1" "2", "1\n2z"}) {
    EXPECT_EQ(Decode(text), std::vector<uint8_t>{0x12}) << text;
  }
  EXPECT_EQ(Decode("12 34"), Decode("1234"));
}

TEST(HexCodec, DropsALoneLastDigitAndKnowsNoPrefix) {
  EXPECT_EQ(Decode("ABC"), std::vector<uint8_t>{0xAB});
  EXPECT_EQ(Decode("7"), std::vector<uint8_t>{});
  EXPECT_EQ(Decode("0x12"), std::vector<uint8_t>{0x01});
}

TEST(HexCodec, EncodesUpperCaseDigitsAndAZeroByte) {
  EXPECT_EQ(Encode({0x00, 0xAB, 0x5F}), "00AB5F");
  EXPECT_EQ(Encode({0x09, 0x0A, 0xF0, 0xFF}), "090AF0FF");
}

TEST(HexCodec, LengthOfZeroOrLessWritesNothingNotEvenTheZeroByte) {
  const uint8_t bytes[] = {0x12};
  for (int32_t length : {0, -1, INT32_MIN}) {
    char text[4] = {'x', 'x', 'x', 'x'};
    BytesToHex(bytes, text, length);
    EXPECT_EQ(std::string(text, 4), "xxxx") << length;
  }
}

TEST(HexCodec, EveryByteValueSurvivesARoundTripThroughText) {
  for (int first = 0; first < 256; first += kMaxDecodedBytes) {
    std::vector<uint8_t> bytes;
    for (int b = first; b < 256 && bytes.size() < size_t{kMaxDecodedBytes}; ++b) {
      bytes.push_back(static_cast<uint8_t>(b));
    }
    std::string text = Encode(bytes);
    EXPECT_EQ(Decode(text), bytes);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Decode(text), bytes);
  }
}

TEST(HexCodec, NullPointersAreNeverWrittenThrough) {
  std::array<uint8_t, 2> bytes{kUntouched, kUntouched};
  EXPECT_EQ(HexToBytes(nullptr, bytes.data()), 0);
  EXPECT_EQ(bytes[0], kUntouched);
  EXPECT_EQ(HexToBytes("1234", nullptr), 0);
  char text[3] = {'x', 'x', 'x'};
  BytesToHex(nullptr, text, 1);
  EXPECT_EQ(text[0], 'x');
  BytesToHex(bytes.data(), nullptr, 1);
}

// A text of 256 characters once decoded to nothing and one of 300 to the
// bytes of its last 44 characters: the scan length was kept in 8 bits.
TEST(HexCodecLimits, LongTextsDecodeTheirFirst255Characters) {
  const std::vector<uint8_t> first127(kMaxDecodedBytes, 0xAB);
  std::string pairs;
  while (pairs.size() < 300) pairs += "AB";
  EXPECT_EQ(Decode(pairs.substr(0, 256)), first127);
  EXPECT_EQ(Decode(pairs), first127);
  EXPECT_EQ(Decode(pairs + "CD" + std::string(5000, 'E')), first127);
}

TEST(HexCodecLimits, TheScanLimitCountsBytesNotDoubleByteCharacters) {
  // Two GBK characters take four of the 255 bytes looked at.
  std::string text = "\xB0\xA1\xB0\xA2";
  while (text.size() < 400) text += "12";
  int32_t count = 0;
  Decode(text, &count);
  EXPECT_EQ(count, (255 - 4) / 2);
}

// More than 127 bytes once wrapped the 8-bit positions of the text.
TEST(HexCodecLimits, EncodesAnyLengthCompletely) {
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  const std::string text = Encode(bytes);
  ASSERT_EQ(text.size(), 2000u);
  EXPECT_EQ(text.substr(0, 6), "00070E");
  EXPECT_EQ(text.substr(254, 6), "798087");
  for (size_t i = 0; i < bytes.size(); i += kMaxDecodedBytes) {
    EXPECT_EQ(Decode(text.substr(2 * i, 2 * kMaxDecodedBytes)),
              std::vector<uint8_t>(bytes.begin() + i,
                                   bytes.begin() + std::min(bytes.size(), i + kMaxDecodedBytes)));
  }
}

TEST(HexCodecCount, DecodingStoresTheCountWhenAskedTo) {
  uint8_t bytes[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
  int32_t count = -5;
  EXPECT_EQ(HexToBytes("a1 B2", bytes, &count), 2);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(bytes[1], 0xB2);
  EXPECT_EQ(HexToBytes("c3", bytes, nullptr), 1) << "the count is optional";
  char text[7] = {};
  BytesToHex(bytes, text, 3);
  EXPECT_STREQ(text, "C30000") << "C3 and the zero bytes of both decodings";
}

TEST(HexTextBuffer, HexTextIsClearedEachTimeAndNeverOverrun) {
  HexText hexText;
  std::vector<uint8_t> bytes(300, 0x5A);
  EXPECT_EQ(std::strlen(hexText.BytesToHexText(bytes.data(), 100)), 200u);
  const char* text = hexText.BytesToHexText(bytes.data(), 2);
  EXPECT_EQ(text, hexText.Text());
  EXPECT_STREQ(text, "5A5A");
  EXPECT_EQ(hexText.Text()[200], '\0') << "the longer text before is cleared";
  // The buffer holds 127 bytes' digits; a longer input gives those.
  EXPECT_EQ(std::strlen(hexText.BytesToHexText(bytes.data(), 300)), 254u);
  EXPECT_STREQ(hexText.BytesToHexText(bytes.data(), 0), "");
}

}  // namespace
}  // namespace vqhw
