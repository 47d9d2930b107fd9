// Retries, time-outs and sequence numbers of the reader transactions, with
// a virtual reader that misbehaves on purpose.

#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "integration/reader_fixture.h"

namespace vqtest {
namespace {

std::vector<uint8_t> Sequences(const SimulatedPort& port) {
  std::vector<uint8_t> sequences;
  for (const auto& f : port.reader.ReceivedFrames()) sequences.push_back(f.sequence());
  return sequences;
}

using FaultChange = std::function<void(vqsim::FaultPlan&)>;

// Changes the reader's faults while the test's commands run, from a thread
// of its own: each change as soon as the reader has received that many
// frames. Joined when it goes out of scope.
std::jthread ChangeFaultsAfterFrames(SimulatedPort& port,
                                     std::vector<std::pair<size_t, FaultChange>> steps) {
  return std::jthread([&port, steps = std::move(steps)] {
    const auto start = Clock::now();
    for (const auto& [frames, change] : steps) {
      while (port.reader.ReceivedFrames().size() < frames && Since(start) < milliseconds(10000)) {
        std::this_thread::sleep_for(milliseconds(1));
      }
      change(port.reader.Faults());
    }
  });
}

// The reader stalls on the PSAM reset for longer than its three attempts
// take, then answers all three, 100 ms apart. The field reset sent
// meanwhile meets those answers first: carrying the previous command's
// number, they are dropped, and the field reset's own answer, which the
// reader sends behind them, ends its first attempt.
auto StallThenAnswerEveryAttempt(int laterFrames) {
  return std::vector<std::pair<size_t, FaultChange>>{
      {1, [laterFrames](vqsim::FaultPlan& faults) { faults.AnswerLate(milliseconds(100), laterFrames); }}};
}

// Three identical frames, 800 ms apart, then the time-out; the next
// command carries the next number, so that a late answer to this one
// cannot pass for its own.
TEST_F(ReaderTest, SilentReaderGetsThreeIdenticalFramesThenTimeOut) {
  OpenReader();
  com1->reader.Faults().StaySilent(3);
  auto start = Clock::now();
  EXPECT_EQ(lib.SAM_reset_h(), -1000);
  auto took = Since(start);
  EXPECT_GE(took, milliseconds(3 * 800));
  EXPECT_LT(took, milliseconds(3 * 800 + 400));
  auto frames = com1->reader.ReceivedFrames();
  ASSERT_EQ(frames.size(), 3u);
  for (const auto& f : frames) EXPECT_EQ(f.bytes, Bytes("FF 02 73 00 8E"));
  // Arrival stamps are taken by the reader's thread, whose wake-up may lag
  // behind a frame by some milliseconds on a busy machine.
  EXPECT_GE(frames[1].at - frames[0].at, milliseconds(700));
  EXPECT_GE(frames[2].at - frames[1].at, milliseconds(700));
  EXPECT_EQ(lib.RF_reset_h(), 0);
  EXPECT_EQ(Sequences(*com1).back(), 3);
}

TEST_F(ReaderTest, SilentReaderAtOpenIsNotFoundAndTheNextOpenGoesOnWithTheNextNumber) {
  com1->reader.Faults().StaySilent(3);
  EXPECT_EQ(lib.open_reader(1, 0), -1);
  EXPECT_EQ(lib.LastStatusText(), Gbk("找不到机具"));
  EXPECT_EQ(com1->Frames(), std::vector<std::vector<uint8_t>>(3, Bytes("FF 00 70 03 AA AA AA 26")));
  EXPECT_EQ(lib.open_reader(1, 0), 0);
  EXPECT_EQ(Sequences(*com1), (std::vector<uint8_t>{0, 0, 0, 1, 2}));
}

TEST_F(ReaderTest, WrongSequenceIsRetriedWithTheSameNumber) {
  OpenReader();
  com1->reader.Faults().WrongSequence(1);
  EXPECT_EQ(lib.SAM_reset_h(), 0);
  EXPECT_EQ(com1->Frames(), std::vector<std::vector<uint8_t>>(2, Bytes("FF 02 73 00 8E")));
}

TEST_F(ReaderTest, WrongSequenceOnEveryAttemptGivesMinus25) {
  OpenReader();
  com1->reader.Faults().WrongSequence(3);
  EXPECT_EQ(lib.SAM_reset_h(), -25);
  EXPECT_EQ(lib.LastStatusText(), Gbk("未知的错误类型"));
  EXPECT_EQ(com1->Frames().size(), 3u);
}

// The answer to the first attempt comes after the second was sent and
// completes it; the retry's own answer comes later still and reaches the
// next command, which must refuse it by its sequence number. Both answers
// of the PSAM reset carry a status byte, so taking the stray one for the
// field reset's answer would show.
TEST_F(ReaderTest, LateAnswerIsCaughtByTheSequenceCheckOfTheNextCommand) {
  OpenReader();
  com1->reader.Faults().AnswerLate(milliseconds(900), 2);
  com1->reader.Faults().StatusFor(0x73, 0xFE, 2);
  auto start = Clock::now();
  EXPECT_EQ(lib.SAM_reset_h(), -102);
  EXPECT_LT(Since(start), milliseconds(1500));
  std::this_thread::sleep_for(milliseconds(1100));  // the stray answer arrives
  EXPECT_EQ(lib.RF_reset_h(), 0);
  EXPECT_EQ(lib.set_mmi(0, 0, 0), 0);
  // The field reset may be sent twice; the purge before the resend can
  // discard the first copy before the reader has read it.
  for (const auto& frame : com1->reader.ReceivedFrames()) {
    const uint8_t expected = frame.command() == 0x73 ? 2 : frame.command() == 0x72 ? 3 : 4;
    EXPECT_EQ(frame.sequence(), expected) << int{frame.command()};
  }
  EXPECT_EQ(com1->Commands().back(), 0x74);
}

TEST_F(ReaderTest, LateAnswersToEveryAttemptOfAFailedCommandAreDroppedByTheNext) {
  OpenReader();
  com1->reader.Faults().AnswerLate(milliseconds(2600), 1);
  // Taken for the field reset's answer, the stray answers would show.
  com1->reader.Faults().StatusFor(0x73, 0xFE, 3);
  {
    const auto schedule = ChangeFaultsAfterFrames(*com1, StallThenAnswerEveryAttempt(3));
    EXPECT_EQ(lib.SAM_reset_h(), -1000);
    const auto start = Clock::now();
    EXPECT_EQ(lib.RF_reset_h(), 0);
    EXPECT_LT(Since(start), milliseconds(800)) << "answered within its first attempt";
  }
  EXPECT_EQ(lib.set_mmi(0, 0, 0), 0);
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x73, 0x73, 0x73, 0x72, 0x74}));
  EXPECT_EQ(Sequences(*com1), (std::vector<uint8_t>{2, 2, 2, 3, 4}));
}

// As above, but the reader stays silent to the field reset: its attempts
// still end 800 ms after their sends, however many stray answers the first
// one dropped, and each ends in a time-out.
TEST_F(ReaderTest, DroppedLateAnswersDoNotLengthenTheAttemptThatMetThem) {
  OpenReader();
  com1->reader.Faults().AnswerLate(milliseconds(2600), 1);
  auto steps = StallThenAnswerEveryAttempt(2);
  steps.emplace_back(3, [](vqsim::FaultPlan& faults) { faults.StaySilent(3); });
  const auto schedule = ChangeFaultsAfterFrames(*com1, std::move(steps));
  EXPECT_EQ(lib.SAM_reset_h(), -1000);
  const auto start = Clock::now();
  EXPECT_EQ(lib.RF_reset_h(), -1000);
  const auto took = Since(start);
  EXPECT_GE(took, milliseconds(3 * 800));
  EXPECT_LT(took, milliseconds(3 * 800 + 400));
  const auto frames = com1->reader.ReceivedFrames();
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_LT(frames[4].at - frames[3].at, milliseconds(1000)) << "the first attempt ran over";
  for (size_t i = 3; i < 6; ++i) EXPECT_EQ(frames[i].bytes, Bytes("FF 03 72 00 8E")) << i;
}

TEST_F(ReaderTest, EightTransactionsBringTheSequenceBackToZero) {
  OpenReader();
  for (int i = 0; i < 7; ++i) ASSERT_EQ(lib.SAM_reset_h(), 0);
  EXPECT_EQ(Sequences(*com1), (std::vector<uint8_t>{2, 3, 4, 5, 6, 7, 0}));
}

TEST_F(ReaderTest, GarbageBeforeTheAnswerAndAnswersInPiecesAreAssembled) {
  OpenReader();
  com1->reader.Faults().GarbageBefore({0x00, 0x13, 0x8E, 0xFE});
  EXPECT_EQ(lib.SAM_reset_h(), 0);
  com1->reader.Faults().SplitAnswer(1, milliseconds(30));
  EXPECT_EQ(lib.set_mmi(0x80, 0x83, 0), 0);
  EXPECT_EQ(com1->Commands(), (std::vector<uint8_t>{0x73, 0x74}));
}

// An answer announcing 246 data bytes can never complete; once the attempt
// has timed out, the next answer must not be appended behind its bytes.
TEST_F(ReaderTest, AnswerThatCannotCompleteTimesOutAndTheRetrySucceeds) {
  OpenReader();
  com1->reader.Faults().AnnounceLength(246);
  auto start = Clock::now();
  EXPECT_EQ(lib.SAM_reset_h(), 0);
  EXPECT_GE(Since(start), milliseconds(800));
  EXPECT_EQ(com1->Frames().size(), 2u);
}

TEST_F(ReaderTest, StatusByteIsNotRetriedAndMapsToItsCode) {
  OpenReader();
  com1->reader.Faults().StatusFor(0x73, 0xFE, 1);
  EXPECT_EQ(lib.SAM_reset_h(), -102);
  EXPECT_EQ(lib.LastStatusText(), Gbk("用户卡CRC校验错误"));
  com1->reader.Faults().StatusFor(0x72, 0xFF, 1);
  EXPECT_EQ(lib.RF_reset_h(), 1) << "no card in the field";
  EXPECT_EQ(lib.LastStatusText(), Gbk("天线范围内无卡"));
  EXPECT_EQ(com1->Frames().size(), 2u);
}

}  // namespace
}  // namespace vqtest
