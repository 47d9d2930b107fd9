#include "sim/hosts/pty_host.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "pty_client.h"
#include "sim/protocol/response_frame.h"

namespace vqsim {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
using testing::CommandFrame;
using testing::PtyClient;
using Bytes = std::vector<uint8_t>;

const Bytes kProbe = CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA});
const Bytes kProbeAnswer = EncodeResponse(0, 0, {});

milliseconds Since(steady_clock::time_point start, steady_clock::time_point end) {
  return std::chrono::duration_cast<milliseconds>(end - start);
}

class PtyHostTest : public ::testing::Test {
 protected:
  VirtualReader reader;
  std::unique_ptr<PtyHost> host = std::make_unique<PtyHost>(reader);
  PtyClient client{host->SlavePath()};

  // Waits until the reader has taken `count` frames in.
  void AwaitReceived(size_t count) {
    const auto deadline = steady_clock::now() + 2s;
    while (reader.ReceivedFrames().size() < count && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(reader.ReceivedFrames().size(), count);
  }

  // Destroys the host and returns how long that took.
  milliseconds TimeShutdown() {
    const auto start = steady_clock::now();
    host.reset();
    return Since(start, steady_clock::now());
  }
};

TEST_F(PtyHostTest, AnswersAFrameAtOnceAndRecordsItsArrival) {
  const auto sent = client.Write(kProbe);
  const auto arrivals = client.ReadArrivals(kProbeAnswer.size(), 1s);
  ASSERT_FALSE(arrivals.empty());
  EXPECT_EQ(client.Read(1, 50ms), Bytes{}) << "nothing beyond the answer";
  EXPECT_LT(Since(sent, arrivals.back().at), 200ms);

  const auto frames = reader.ReceivedFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].bytes, kProbe);
  EXPECT_GE(frames[0].at, sent - 50ms);
}

TEST(PtyHost, SlaveIsRawBeforeAnyoneConfiguresIt) {
  VirtualReader reader;
  PtyHost host(reader);
  io::UniqueFd fresh(::open(host.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(fresh);
  termios settings{};
  ASSERT_EQ(::tcgetattr(fresh.get(), &settings), 0);
  EXPECT_EQ(settings.c_lflag & (ECHO | ICANON | ISIG), 0u);
  EXPECT_EQ(settings.c_oflag & OPOST, 0u);
}

TEST_F(PtyHostTest, LateAnswerArrivesAfterTheDelay) {
  reader.Faults().AnswerLate(300ms);
  const auto sent = client.Write(kProbe);
  const auto arrivals = client.ReadArrivals(kProbeAnswer.size(), 2s);
  ASSERT_FALSE(arrivals.empty());
  EXPECT_GE(Since(sent, arrivals.front().at), 290ms);
  EXPECT_LT(Since(sent, arrivals.front().at), 800ms);

  const auto next = client.Write(kProbe);
  EXPECT_EQ(client.Read(kProbeAnswer.size(), 1s), kProbeAnswer);
  EXPECT_LT(Since(next, steady_clock::now()), 200ms) << "only one command was to be late";
}

TEST_F(PtyHostTest, SilenceLeavesTheCommandUnansweredThenAnswersAgain) {
  reader.Faults().StaySilent(1);
  client.Write(kProbe);
  EXPECT_EQ(client.Read(1, 300ms), Bytes{});
  client.Write(kProbe);
  EXPECT_EQ(client.Read(kProbeAnswer.size(), 1s), kProbeAnswer);
  EXPECT_EQ(reader.CountReceived(0x70), 2u);
}

TEST_F(PtyHostTest, SplitAnswerComesInChunksWithPauses) {
  reader.Faults().SplitAnswer(2, 40ms);
  const auto sent = client.Write(kProbe);
  const auto arrivals = client.ReadArrivals(kProbeAnswer.size(), 2s);
  ASSERT_EQ(arrivals.size(), 3u);  // 2 + 2 + 1 bytes
  EXPECT_EQ(arrivals[0].bytes, (Bytes{0xFF, 0x00}));
  // From the write on, which no pause can start before: a late read of
  // one chunk would shorten the gap between two reads, not these.
  EXPECT_GE(Since(sent, arrivals[1].at), 40ms);
  EXPECT_GE(Since(sent, arrivals[2].at), 80ms);
  EXPECT_EQ(arrivals[2].bytes, Bytes{kProbeAnswer.back()});
}

TEST_F(PtyHostTest, GarbageComesBeforeTheAnswer) {
  const Bytes garbage{0x00, 0x13, 0xFE, 0xAA};
  reader.Faults().GarbageBefore(garbage);
  client.Write(kProbe);
  Bytes expected = garbage;
  expected.insert(expected.end(), kProbeAnswer.begin(), kProbeAnswer.end());
  EXPECT_EQ(client.Read(expected.size(), 1s), expected);
}

TEST_F(PtyHostTest, WrongSequenceAnswersTheNextNumberModuloEight) {
  reader.Faults().WrongSequence(1);
  client.Write(CommandFrame(7, 0x72));
  EXPECT_EQ(client.Read(5, 1s), EncodeResponse(0, 0, {}));
  client.Write(CommandFrame(7, 0x72));
  EXPECT_EQ(client.Read(5, 1s), EncodeResponse(7, 0, {}));
}

TEST_F(PtyHostTest, AnnouncedLengthIsSentWithOnlyTheRealData) {
  reader.Faults().AnnounceLength(246);
  client.Write(kProbe);
  EXPECT_EQ(client.Read(100, 300ms), EncodeResponse(0, 0, {}, 246));
}

// Here the host's own descriptors are all closed between exchanges, as when
// the library closes the port: the reader must neither hang up nor spin.
TEST(PtyHost, ServesTheHostThroughManyReopenings) {
  VirtualReader reader;
  PtyHost host(reader);
  for (uint8_t round = 0; round < 20; ++round) {
    PtyClient client(host.SlavePath());
    const uint8_t seq = round % 8;
    client.Write(CommandFrame(seq, 0x73));
    EXPECT_EQ(client.Read(5, 1s), EncodeResponse(seq, 0, {})) << "round " << int(round);
  }
}

TEST(PtyHost, IdleHostUsesNoCpuAfterTheHostClosedThePort) {
  VirtualReader reader;
  PtyHost host(reader);
  {
    PtyClient client(host.SlavePath());
    client.Write(kProbe);
    ASSERT_EQ(client.Read(kProbeAnswer.size(), 1s), kProbeAnswer);
  }
  auto cpuTime = [] {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return milliseconds(usage.ru_utime.tv_sec * 1000 + usage.ru_utime.tv_usec / 1000 +
                        usage.ru_stime.tv_sec * 1000 + usage.ru_stime.tv_usec / 1000);
  };
  const auto before = cpuTime();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(cpuTime() - before, 50ms);
}

TEST_F(PtyHostTest, StopsPromptlyInTheMiddleOfALateAnswer) {
  reader.Faults().AnswerLate(10s);
  client.Write(kProbe);
  AwaitReceived(1);
  EXPECT_LT(TimeShutdown(), 500ms);
}

TEST_F(PtyHostTest, StopsPromptlyWhileTheHostReadsNothing) {
  // Far more than the pty buffers hold: the writer waits for room.
  reader.Faults().GarbageBefore(Bytes(1 << 20, 0x55));
  client.Write(kProbe);
  AwaitReceived(1);
  std::this_thread::sleep_for(50ms);
  EXPECT_LT(TimeShutdown(), 500ms);
}

}  // namespace
}  // namespace vqsim
