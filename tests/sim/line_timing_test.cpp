// The virtual reader keeps a line's time: answers paced at the byte time of
// the current line speed, a command counted as arrived after its own wire
// time, the card's time between them; and the 800 ms frame bound of the
// library against a slow PSAM (the program test).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "sim/mifare_classic.h"
#include "sim/pty_host.h"
#include "sim/reader_model.h"
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

  // Sends one command and waits for its whole answer: the time from the
  // write to the last byte, and the number of reads it took.
  struct Exchange {
    std::vector<uint8_t> answer;
    double us = 0;
    size_t reads = 0;
  };
  Exchange Run(uint8_t command, std::vector<uint8_t> data, size_t answerSize) {
    const Clock::time_point sent = client.Write(CommandFrame(sequence_++ % 8, command, std::move(data)));
    Exchange exchange;
    for (const PtyClient::Arrival& arrival : client.ReadArrivals(answerSize, std::chrono::milliseconds(500))) {
      exchange.answer.insert(exchange.answer.end(), arrival.bytes.begin(), arrival.bytes.end());
      exchange.us = Us(arrival.at - sent).count();
      ++exchange.reads;
    }
    return exchange;
  }

  VirtualReader reader;
  PtyHost host{reader};
  PtyClient client{host.SlavePath()};
  int sequence_ = 0;
};

constexpr double kByteUs115200 = 1e6 * 10 / 115200;  // 86.8

TEST_F(LineTimingTest, ABlockReadTakesItsWireAndCardTime) {
  ASSERT_EQ(Run(0x80, {}, 10).answer.size(), 10u);  // activation: serial and SAK
  ASSERT_EQ(Run(0x56, {0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 5).answer.size(), 5u);
  ASSERT_EQ(Run(0x50, {0xA1, 0xB2, 0xC3, 0xD4, 0x00, 0x01, 0x04}, 5).answer[2], 0x00);

  const Exchange read = Run(0x51, {0x04}, 21);
  ASSERT_EQ(read.answer.size(), 21u);
  EXPECT_EQ(read.answer[2], 0x00);
  const double cardUs = static_cast<double>(TimingProfile::Real().CardTime(0x51, {}, {}).count());
  const double limitUs = (6 + 21) * kByteUs115200 + cardUs;
  EXPECT_GE(read.us, limitUs - 50) << "the answer came before its bytes could have";
  EXPECT_LE(read.us, limitUs + 5000) << "limit " << limitUs << " us";
  EXPECT_GT(read.reads, 3u) << "the answer's bytes come paced, not in one piece";
}

TEST_F(LineTimingTest, ALineSpeedChangeChangesTheByteTimeAfterItsAnswer) {
  // Code 1: 9600 baud. Its own answer still goes at 115200.
  const Exchange change = Run(0x71, {0x01}, 5);
  ASSERT_EQ(change.answer.size(), 5u);
  EXPECT_LT(change.us, 4000) << "its answer goes at the old speed (9600: over 5 ms)";
  EXPECT_EQ(reader.ByteTime(), std::chrono::nanoseconds(1'041'666));

  const Exchange probe = Run(0x70, {0xAA, 0xAA, 0xAA}, 5);
  ASSERT_EQ(probe.answer.size(), 5u);
  const double slowUs = (8 + 5) * 1e6 * 10 / 9600;  // 13.5 ms
  EXPECT_GE(probe.us, slowUs - 50);
  EXPECT_LE(probe.us, slowUs + 5000);
}

TEST_F(LineTimingTest, InstantTimingAnswersAtOnce) {
  reader.SetTiming(TimingProfile::Instant());
  const Exchange probe = Run(0x70, {0xAA, 0xAA, 0xAA}, 5);
  ASSERT_EQ(probe.answer.size(), 5u);
  EXPECT_EQ(probe.reads, 1u);
  EXPECT_LT(probe.us, (8 + 5) * kByteUs115200);
}

}  // namespace
}  // namespace vqsim
