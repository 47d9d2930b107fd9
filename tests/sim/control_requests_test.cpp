// Control requests to the readers of one process: each by its number, and
// the line and card time a reader has spent, which a plaza's lanes compare
// their purchases with.

#include "sim/control/control_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "pty_client.h"

namespace vqsim {
namespace {

using testing::CommandFrame;

TEST(ControlRequests, NameTheirReaderWhenThereAreSeveral) {
  VirtualReader first, second;
  second.ClearField();
  const std::vector<VirtualReader*> readers{&first, &second};
  EXPECT_EQ(RunControlRequest(readers, "state").rfind("error 2 readers: name one", 0), 0u);
  EXPECT_EQ(RunControlRequest(readers, "reader 3 state").rfind("error no reader 3", 0), 0u);
  EXPECT_EQ(RunControlRequest(readers, "reader 0 state").rfind("error no reader 0", 0), 0u);
  EXPECT_EQ(RunControlRequest(readers, "reader 2 fault silent 1"), "ok silent armed\n");
  EXPECT_TRUE(second.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})).empty()) << "the fault is reader 2's";
  EXPECT_FALSE(first.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA})).empty());
  const std::vector<VirtualReader*> one{&first};
  EXPECT_EQ(RunControlRequest(one, "fault clear"), "ok no faults armed\n") << "one reader needs no number";
}

// A probe and its answer: 8 and 5 bytes at 115200 baud, 10 bits a byte.
TEST(ControlRequests, TimingTellsTheLineAndCardTimeSoFar) {
  VirtualReader reader;
  EXPECT_EQ(RunControlRequest(reader, "timing"), "ok line 0 us card 0 us\n");
  reader.SetTiming(TimingProfile::Real());
  reader.Receive(CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA}));
  const auto card = reader.CardTimeSoFar().count();
  EXPECT_EQ(RunControlRequest(reader, "timing"),
            "ok line " + std::to_string(13 * ByteTime(115200).count() / 1000) + " us card " + std::to_string(card) +
                " us\n");
}

}  // namespace
}  // namespace vqsim
