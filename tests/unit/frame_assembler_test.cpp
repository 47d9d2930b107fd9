#include "serial/frame_assembler.h"

#include <gtest/gtest.h>

#include <vector>

namespace vqhw {
namespace {

// Feeds the bytes and returns every frame completed on the way.
std::vector<std::vector<uint8_t>> Feed(FrameAssembler& assembler, const std::vector<uint8_t>& bytes) {
  std::vector<std::vector<uint8_t>> frames;
  for (uint8_t b : bytes) {
    if (assembler.Push(b)) {
      frames.emplace_back(assembler.Frame(), assembler.Frame() + assembler.FrameSize());
    }
  }
  return frames;
}

// An answer of `length` data bytes (filled with `fill`); the check byte is
// not looked at.
std::vector<uint8_t> Answer(int length, uint8_t fill = 0x33) {
  std::vector<uint8_t> frame(static_cast<size_t>(length) + 5, fill);
  frame[0] = 0xFF;
  frame[1] = 0x02;
  frame[2] = 0x00;
  frame[3] = static_cast<uint8_t>(length);
  frame.back() = 0x5A;
  return frame;
}

TEST(FrameAssembler, HuntsForTheFrameStartAndKeepsFfInsideData) {
  FrameAssembler assembler;
  std::vector<uint8_t> line{0x00, 0x13, 0xFE};
  std::vector<uint8_t> frame{0xFF, 0x01, 0x00, 0x03, 0xFF, 0xFF, 0x07, 0x12};
  line.insert(line.end(), frame.begin(), frame.end());
  auto frames = Feed(assembler, line);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], frame);
}

TEST(FrameAssembler, CompletesAtLengthPlusFiveFromZeroTo245DataBytes) {
  for (int length : {0, 1, 100, 245}) {
    FrameAssembler assembler;
    auto frame = Answer(length);
    std::vector<uint8_t> allButLast(frame.begin(), frame.end() - 1);
    EXPECT_TRUE(Feed(assembler, allButLast).empty()) << length;
    EXPECT_TRUE(assembler.Push(frame.back())) << length;
    EXPECT_EQ(std::vector<uint8_t>(assembler.Frame(), assembler.Frame() + assembler.FrameSize()),
              frame);
  }
}

TEST(FrameAssembler, NeverCompletesAFrameAnnouncing246OrMoreBytes) {
  for (int length : {246, 250, 255}) {
    FrameAssembler assembler;
    EXPECT_TRUE(Feed(assembler, Answer(length, 0x11)).empty()) << length;
  }
}

TEST(FrameAssembler, AFrameAfterTheLostOversizedOneIsStillFound) {
  FrameAssembler assembler;
  auto line = Answer(246, 0x11);
  line.resize(250);  // assembly starts over here
  auto good = Answer(2);
  line.insert(line.end(), good.begin(), good.end());
  auto frames = Feed(assembler, line);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], good);
}

TEST(FrameAssembler, TwoFramesBackToBack) {
  FrameAssembler assembler;
  auto first = Answer(0), second = Answer(3);
  std::vector<uint8_t> line = first;
  line.insert(line.end(), second.begin(), second.end());
  auto frames = Feed(assembler, line);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], first);
  EXPECT_EQ(frames[1], second);
}

TEST(FrameAssembler, ResetDropsACutOffFrameSoTheNextAnswerIsFound) {
  FrameAssembler assembler;
  Feed(assembler, {0xFF, 0x01, 0x00, 0x08, 0x01});  // cut off
  assembler.Reset();
  EXPECT_EQ(assembler.PendingBytes(), 0u);
  auto frames = Feed(assembler, Answer(1));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], Answer(1));
}

}  // namespace
}  // namespace vqhw
