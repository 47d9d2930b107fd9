#include "sim/protocol/frame_parser.h"

#include <gtest/gtest.h>

#include "pty_client.h"
#include "sim/protocol/response_frame.h"

namespace vqsim {
namespace {

using std::chrono::milliseconds;
using testing::CommandFrame;
using Bytes = std::vector<uint8_t>;

const auto kStart = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);

TEST(FrameParser, ReadsTheProbeFrameAndItsFields) {
  FrameParser parser;
  auto frames = parser.Feed(Bytes{0xFF, 0x00, 0x70, 0x03, 0xAA, 0xAA, 0xAA, 0x26}, kStart);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].checkByteOk);
  EXPECT_EQ(frames[0].sequence(), 0);
  EXPECT_EQ(frames[0].command(), 0x70);
  EXPECT_EQ(frames[0].data(), (Bytes{0xAA, 0xAA, 0xAA}));
  EXPECT_EQ(frames[0].at, kStart);
}

TEST(FrameParser, SkipsJunkBeforeTheFrameStart) {
  FrameParser parser;
  Bytes input{0x00, 0x26, 0x8C};
  const Bytes frame = CommandFrame(1, 0x72);
  input.insert(input.end(), frame.begin(), frame.end());
  auto frames = parser.Feed(input, kStart);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].bytes, frame);
  EXPECT_EQ(parser.DiscardedBytes(), 3u);
}

TEST(FrameParser, TakesFfInsideTheDataAsData) {
  FrameParser parser;
  const Bytes frame = CommandFrame(2, 0x74, {0xFF, 0xFF, 0x01});
  auto frames = parser.Feed(frame, kStart);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data(), (Bytes{0xFF, 0xFF, 0x01}));
  EXPECT_TRUE(frames[0].checkByteOk);
}

TEST(FrameParser, AssemblesAFrameFedByteByByteAndStampsItsLastByte) {
  FrameParser parser;
  const Bytes frame = CommandFrame(3, 0x70, {0xAA, 0xAA, 0xAA});
  for (size_t i = 0; i + 1 < frame.size(); ++i) {
    EXPECT_TRUE(parser.Feed(Bytes{frame[i]}, kStart + milliseconds(i)).empty());
  }
  auto frames = parser.Feed(Bytes{frame.back()}, kStart + milliseconds(50));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].bytes, frame);
  EXPECT_EQ(frames[0].at, kStart + milliseconds(50));
}

TEST(FrameParser, SplitsTwoFramesInOneRead) {
  FrameParser parser;
  Bytes input = CommandFrame(0, 0x72);
  const Bytes second = CommandFrame(1, 0x70, {0xAA, 0xAA, 0xAA});
  input.insert(input.end(), second.begin(), second.end());
  auto frames = parser.Feed(input, kStart);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].command(), 0x72);
  EXPECT_EQ(frames[1].command(), 0x70);
}

TEST(FrameParser, RecordsAFrameWithABadCheckByte) {
  FrameParser parser;
  Bytes frame = CommandFrame(4, 0x73);
  frame.back() ^= 0x01;
  auto frames = parser.Feed(frame, kStart);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].checkByteOk);
  EXPECT_EQ(frames[0].command(), 0x73);
}

TEST(FrameParser, ForgetsAPartialFrameAfterTheLineWasQuiet) {
  FrameParser parser(milliseconds(100));
  const Bytes frame = CommandFrame(5, 0x70, {0xAA, 0xAA, 0xAA});
  parser.Feed(Bytes{0xFF, 0x05, 0x74, 0x03, 0x01}, kStart);  // cut off after one data byte
  auto frames = parser.Feed(frame, kStart + milliseconds(150));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].bytes, frame);
  EXPECT_EQ(parser.DiscardedBytes(), 5u);
}

TEST(ResponseFrame, EncodesHeaderDataAndCheckByte) {
  EXPECT_EQ(EncodeResponse(0, 0, {}), (Bytes{0xFF, 0x00, 0x00, 0x00, 0xFF}));
  EXPECT_EQ(EncodeResponse(2, 0xC3, Bytes{0x12, 0x34}),
            (Bytes{0xFF, 0x02, 0xC3, 0x02, 0x12, 0x34, 0xFF ^ 0x02 ^ 0xC3 ^ 0x02 ^ 0x12 ^ 0x34}));
  EXPECT_EQ(EncodeResponse(1, 0, Bytes{0x55}, 246),
            (Bytes{0xFF, 0x01, 0x00, 0xF6, 0x55, 0xFF ^ 0x01 ^ 0xF6 ^ 0x55}));
}

}  // namespace
}  // namespace vqsim
