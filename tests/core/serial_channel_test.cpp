// The serial channel on a bare pseudo-terminal, with this test as the
// reader: what the receive worker hands over after partial, complete and
// purged frames.

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "serial/frame_wait.h"
#include "serial/serial_channel.h"

namespace vqhw {
namespace {

using std::chrono::milliseconds;

class SerialChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(::grantpt(master_), 0);
    ASSERT_EQ(::unlockpt(master_), 0);
    ASSERT_EQ(channel_.Open(::ptsname(master_), 115200, 'N', 8, 1), status::kOk);
  }
  void TearDown() override {
    channel_.Close();
    ::close(master_);
  }

  // Bytes from the reader, then time for the worker to take them in.
  void ReaderSends(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    std::this_thread::sleep_for(milliseconds(50));
  }

  std::vector<uint8_t> ReadFrame(ReaderStatus expected = status::kOk) {
    uint8_t frame[kFrameBufferSize] = {};
    EXPECT_EQ(channel_.ReadFrame(frame, SerialChannel::Clock::now() + kFrameWait), expected);
    return std::vector<uint8_t>(frame, frame + frame[frame::kLength] + kFrameOverhead);
  }

  int master_ = -1;
  SerialChannel channel_;
};

const std::vector<uint8_t> kAnswer{0xFF, 0x03, 0x00, 0x02, 0x12, 0x34, 0x1A};

TEST_F(SerialChannelTest, PurgeForgetsACutOffFrameSoTheNextAnswerIsDelivered) {
  ReaderSends({0xFF, 0x02, 0x00, 0x08, 0x01, 0x02});  // the rest never comes
  ASSERT_EQ(channel_.Purge(), status::kOk);
  ReaderSends(kAnswer);
  EXPECT_EQ(ReadFrame(), kAnswer);
}

// A frame that completed after its reader gave up must not come back from
// the purge as a frame of zeros, whose sequence number 0 could match.
TEST_F(SerialChannelTest, PurgeDropsACompleteFrameThatWasNotCollected) {
  ReaderSends(kAnswer);
  ASSERT_EQ(channel_.Purge(), status::kOk);
  ReadFrame(status::kTimeout);
}

TEST_F(SerialChannelTest, TheStartOfTheNextFrameDoesNotSpoilTheCompleteOne) {
  std::vector<uint8_t> line = kAnswer;
  line.insert(line.end(), {0xFF, 0x04, 0x00, 0x05, 0x99, 0x98});
  ReaderSends(line);
  EXPECT_EQ(ReadFrame(), kAnswer);
}

}  // namespace
}  // namespace vqhw
