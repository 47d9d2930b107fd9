// The virtual reader keeps a line's time: answers paced at the byte time of
// the current line speed, a command counted as arrived after its own wire
// time, the card's time between them; and the 800 ms frame bound of the
// library against a slow PSAM (the program test).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "sim/cards/mifare/mifare_classic.h"
#include "sim/hosts/pty_host.h"
#include "sim/reader/reader_model.h"
#include "tests/sim/pty_client.h"

namespace vqsim {
namespace {

using testing::CommandFrame;
using testing::PtyClient;
using Clock = std::chrono::steady_clock;
using Us = std::chrono::duration<double, std::micro>;

class LineTimingTest : public ::testing::Test {
 protected:
  LineTimingTest() {
    reader.SetTiming(TimingProfile::Real());
    reader.InsertCard(std::make_shared<MifareClassic>(std::array<uint8_t, 4>{0xA1, 0xB2, 0xC3, 0xD4}));
  }

  // Sends one command and waits for its whole answer: each read with the
  // time from just before the write.
  struct Exchange {
    std::vector<uint8_t> answer;
    std::vector<std::pair<size_t, double>> reads;  // bytes in so far, us since the write
    double us = 0;                                 // to the last byte
  };
  Exchange Run(uint8_t command, std::vector<uint8_t> data, size_t answerSize) {
    const Clock::time_point sent = client.Write(CommandFrame(sequence_++ % 8, command, std::move(data)));
    Exchange exchange;
    for (const PtyClient::Arrival& arrival : client.ReadArrivals(answerSize, std::chrono::seconds(2))) {
      exchange.answer.insert(exchange.answer.end(), arrival.bytes.begin(), arrival.bytes.end());
      exchange.us = Us(arrival.at - sent).count();
      exchange.reads.emplace_back(exchange.answer.size(), exchange.us);
    }
    return exchange;
  }

  VirtualReader reader;
  PtyHost host{reader};
  PtyClient client{host.SlavePath()};
  int sequence_ = 0;
};

// 10 bit times, as the reader counts them (whole nanoseconds).
const double kByteUs115200 = Us(ByteTime(115200)).count();  // 86.8
const double kByteUs9600 = Us(ByteTime(9600)).count();      // 1041.7
// A byte cannot come before its time on the line, so the lower bounds are
// strict. Above, a loaded machine running sanitizers may stall either side
// for a long while; the upper bounds only catch time that is far off.
constexpr double kStallUs = 250'000;

TEST_F(LineTimingTest, ABlockReadTakesItsWireAndCardTime) {
  ASSERT_EQ(Run(0x80, {}, 10).answer.size(), 10u);  // activation: serial and SAK
  ASSERT_EQ(Run(0x56, {0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 5).answer.size(), 5u);
  ASSERT_EQ(Run(0x50, {0xA1, 0xB2, 0xC3, 0xD4, 0x00, 0x01, 0x04}, 5).answer[2], 0x00);

  const Exchange read = Run(0x51, {0x04}, 21);
  ASSERT_EQ(read.answer.size(), 21u);
  EXPECT_EQ(read.answer[2], 0x00);
  const double cardUs = static_cast<double>(TimingProfile::Real().CardTime(0x51, {}, {}).count());
  // Every byte of the answer: the command's 6 bytes, the card, and the
  // answer's bytes up to this one, each on the line. An answer written at
  // once after the card's time would break this for its last bytes.
  for (const auto& [bytesIn, us] : read.reads) {
    EXPECT_GE(us, (6 + static_cast<double>(bytesIn)) * kByteUs115200 + cardUs) << bytesIn << " bytes in";
  }
  const double limitUs = (6 + 21) * kByteUs115200 + cardUs;
  EXPECT_LE(read.us, limitUs + kStallUs) << "limit " << limitUs << " us";
}

TEST_F(LineTimingTest, ALineSpeedChangeChangesTheByteTimeAfterItsAnswer) {
  const Exchange change = Run(0x71, {0x01}, 5);  // code 1: 9600 baud
  ASSERT_EQ(change.answer.size(), 5u);
  EXPECT_EQ(change.answer[2], 0x00);
  EXPECT_EQ(reader.ByteTime(), std::chrono::nanoseconds(1'041'666));

  const Exchange probe = Run(0x70, {0xAA, 0xAA, 0xAA}, 5);
  ASSERT_EQ(probe.answer.size(), 5u);
  const double slowUs = (8 + 5) * kByteUs9600;  // 13.5 ms
  EXPECT_GE(probe.us, slowUs);
  EXPECT_LE(probe.us, slowUs + kStallUs);
}

// The reader plans the speed command's own answer at the old byte time and
// the next answer at the new one (no clock involved).
TEST(LineSpeedChange, TheReadersOwnAnswerGoesAtTheOldSpeed) {
  VirtualReader reader;
  reader.SetTiming(TimingProfile::Real());
  const std::vector<AnswerChunk> change = reader.Receive(CommandFrame(0, 0x71, {0x01}));
  ASSERT_FALSE(change.empty());
  EXPECT_EQ(change.front().byteTime, ByteTime(115200));
  const std::vector<AnswerChunk> probe = reader.Receive(CommandFrame(1, 0x70, {0xAA, 0xAA, 0xAA}));
  ASSERT_FALSE(probe.empty());
  EXPECT_EQ(probe.front().byteTime, ByteTime(9600));
}

TEST_F(LineTimingTest, InstantTimingAnswersAtOnce) {
  reader.SetTiming(TimingProfile::Instant());
  const Exchange probe = Run(0x70, {0xAA, 0xAA, 0xAA}, 5);
  ASSERT_EQ(probe.answer.size(), 5u);
  EXPECT_EQ(probe.reads.size(), 1u) << "the answer is written in one piece";
  EXPECT_LE(probe.us, kStallUs);
}

}  // namespace
}  // namespace vqsim
