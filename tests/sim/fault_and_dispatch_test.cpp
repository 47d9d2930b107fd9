#include "sim/reader/reader_model.h"

#include <gtest/gtest.h>

#include "pty_client.h"
#include "sim/protocol/response_frame.h"

namespace vqsim {
namespace {

using std::chrono::milliseconds;
using testing::CommandFrame;
using Bytes = std::vector<uint8_t>;

// Everything the reader would write, pauses dropped.
Bytes Joined(const std::vector<AnswerChunk>& chunks) {
  Bytes bytes;
  for (const AnswerChunk& chunk : chunks) bytes.insert(bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
  return bytes;
}

Bytes Answer(VirtualReader& reader, const Bytes& frame) { return Joined(reader.Receive(frame)); }

Bytes Response(uint8_t sequence, uint8_t status, const Bytes& data = {}) {
  return EncodeResponse(sequence, status, data);
}

struct CommandCase {
  const char* name;
  Bytes frame;
  bool psamPresent;
  Bytes answer;
};

void PrintTo(const CommandCase& testCase, std::ostream* out) { *out << testCase.name; }

class ReaderCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ReaderCommands, AnswerWithTheirStatus) {
  VirtualReader reader;
  reader.SetPsamPresent(GetParam().psamPresent);
  EXPECT_EQ(Answer(reader, GetParam().frame), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Dispatch, ReaderCommands,
    ::testing::Values(
        CommandCase{"Probe", CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA}), true, Response(0, 0x00)},
        CommandCase{"ProbeWithOtherData", CommandFrame(1, 0x70, {0xAA, 0xAB, 0xAA}), true, Response(1, 0xF0)},
        CommandCase{"ProbeWithoutData", CommandFrame(1, 0x70), true, Response(1, 0xF0)},
        CommandCase{"RfReset", CommandFrame(2, 0x72), true, Response(2, 0x00)},
        CommandCase{"PsamReset", CommandFrame(3, 0x73), true, Response(3, 0x00)},
        CommandCase{"PsamResetWithoutPsam", CommandFrame(3, 0x73), false, Response(3, 0xC3)},
        CommandCase{"ControlBytes", CommandFrame(4, 0x74, {1, 2, 3}), true, Response(4, 0x00)},
        CommandCase{"ControlBytesTooFew", CommandFrame(4, 0x74, {1, 2}), true, Response(4, 0xF0)},
        CommandCase{"CpuResetWithoutCard", CommandFrame(5, 0x76), true, Response(5, 0xFF)},
        CommandCase{"UnknownCommand", CommandFrame(6, 0x99, {7}), true, Response(6, 0xF7)},
        CommandCase{"BadCheckByte", Bytes{0xFF, 7, 0x70, 0, 0x00}, true, Response(7, 0xA5)}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(VirtualReader, RecordsEveryFrameInOrderAndCountsByCommand) {
  VirtualReader reader;
  reader.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA}));
  Bytes bad = CommandFrame(1, 0x73);
  bad.back() ^= 0xFF;
  reader.Receive(bad);
  reader.Receive(CommandFrame(2, 0x70, {0xAA, 0xAA, 0xAA}));

  const auto frames = reader.ReceivedFrames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].bytes, bad);
  EXPECT_FALSE(frames[1].checkByteOk);
  EXPECT_EQ(frames[2].sequence(), 2);
  EXPECT_EQ(reader.CountReceived(0x70), 2u);
  EXPECT_EQ(reader.CountReceived(0x73), 1u);

  reader.ClearReceived();
  EXPECT_TRUE(reader.ReceivedFrames().empty());
}

TEST(VirtualReader, KeepsOnlyTheLatestFramesWhenTheHistoryIsLimited) {
  VirtualReader reader;
  reader.LimitHistory(2);
  for (uint8_t seq = 0; seq < 5; ++seq) reader.Receive(CommandFrame(seq, 0x72));
  const auto frames = reader.ReceivedFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].sequence(), 3);
  EXPECT_EQ(frames[1].sequence(), 4);
}

TEST(FaultPlan, SilenceSwallowsTheNextCommandsButRecordsThem) {
  VirtualReader reader;
  reader.Faults().StaySilent(2);
  EXPECT_TRUE(reader.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})).empty());
  EXPECT_TRUE(reader.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})).empty());
  EXPECT_EQ(Answer(reader, CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})), Response(0, 0));
  EXPECT_EQ(reader.CountReceived(0x70), 3u);
}

TEST(FaultPlan, StatusForHitsOnlyItsCommandAndCountsOnlyItsFrames) {
  VirtualReader reader;
  reader.Faults().StatusFor(0x73, 0xC1, 1);
  EXPECT_EQ(Answer(reader, CommandFrame(0, 0x72)), Response(0, 0));
  EXPECT_EQ(Answer(reader, CommandFrame(1, 0x73)), Response(1, 0xC1));
  EXPECT_EQ(Answer(reader, CommandFrame(2, 0x73)), Response(2, 0));
}

TEST(FaultPlan, StatusForWithoutCountLastsUntilClear) {
  VirtualReader reader;
  reader.Faults().StatusFor(0x70, 0xA5);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Answer(reader, CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})), Response(0, 0xA5));
  }
  reader.Faults().Clear();
  EXPECT_EQ(Answer(reader, CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})), Response(0, 0));
}

TEST(FaultPlan, SettingAFaultAgainReplacesItAndZeroRemovesIt) {
  VirtualReader reader;
  reader.Faults().StaySilent(5);
  reader.Faults().StaySilent(0);
  EXPECT_EQ(Answer(reader, CommandFrame(0, 0x72)), Response(0, 0));
}

TEST(FaultPlan, ShapesLateGarbageSplitAndLengthTogether) {
  FrameFaults faults;
  faults.delay = milliseconds(70);
  faults.garbage = Bytes{0x01, 0x02};
  faults.split = FrameFaults::Split{3, milliseconds(20)};
  faults.announcedLength = 246;

  const auto chunks = faults.Shape(4, Reply{0, {0x11}});
  Bytes expected{0x01, 0x02};
  const Bytes frame = EncodeResponse(4, 0, Bytes{0x11}, 246);
  expected.insert(expected.end(), frame.begin(), frame.end());
  EXPECT_EQ(Joined(chunks), expected);
  ASSERT_EQ(chunks.size(), 3u);  // 8 bytes in chunks of 3
  EXPECT_EQ(chunks[0].pauseBefore, milliseconds(70));
  EXPECT_EQ(chunks[1].pauseBefore, milliseconds(20));
  EXPECT_EQ(chunks[2].bytes.size(), 2u);
}

TEST(FaultPlan, RefusesNonsensicalSplitAndDelay) {
  VirtualReader reader;
  reader.Faults().SplitAnswer(0, milliseconds(-5));
  reader.Faults().AnswerLate(milliseconds(-100));
  const auto chunks = reader.Receive(CommandFrame(0, 0x72));
  ASSERT_EQ(chunks.size(), 5u);  // one byte per chunk
  for (const AnswerChunk& chunk : chunks) EXPECT_EQ(chunk.pauseBefore, milliseconds(0));
}

}  // namespace
}  // namespace vqsim
