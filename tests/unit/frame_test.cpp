#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace vqhw {
namespace {

std::vector<uint8_t> Build(uint8_t sequence, uint8_t command, std::vector<uint8_t> data) {
  std::vector<uint8_t> out(kFrameBufferSize);
  out.resize(BuildCommandFrame(sequence, command, data.data(), data.size(), out.data()));
  return out;
}

TEST(CommandFrame, KnownFramesOfTheReader) {
  EXPECT_EQ(Build(0, 0x70, {0xAA, 0xAA, 0xAA}),
            (std::vector<uint8_t>{0xFF, 0x00, 0x70, 0x03, 0xAA, 0xAA, 0xAA, 0x26}));
  EXPECT_EQ(Build(1, 0x72, {}), (std::vector<uint8_t>{0xFF, 0x01, 0x72, 0x00, 0x8C}));
  EXPECT_EQ(Build(1, 0x73, {}), (std::vector<uint8_t>{0xFF, 0x01, 0x73, 0x00, 0x8D}));
  EXPECT_EQ(Build(2, 0x74, {0x80, 0x83, 0x00}),
            (std::vector<uint8_t>{0xFF, 0x02, 0x74, 0x03, 0x80, 0x83, 0x00, 0x89}));
}

TEST(CommandFrame, LargestFrameFillsTheBufferAndChecksOut) {
  std::vector<uint8_t> data(kMaxCommandData, 0x5C);
  auto frame = Build(7, 0x60, data);
  ASSERT_EQ(frame.size(), kFrameBufferSize);
  EXPECT_EQ(frame[3], 251);
  EXPECT_EQ(CheckByte(frame.data(), frame.size()), 0) << "XOR over a whole frame is zero";
}

}  // namespace
}  // namespace vqhw
