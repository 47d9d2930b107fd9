// A session recorded with `vqhw trace --record` on the virtual reader
// becomes a regression test: `vqhw-sim --replay` answers the same commands
// as recorded and passes; a changed command, or a session that stops short,
// is reported with the frame, what was expected and what came.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "vqhw_run.h"

namespace vqtest {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// "block  4  00 .. |....|\n", wherever the trace put it.
std::string BlockLine(const std::string& out) {
  const size_t at = out.find("block  4");
  return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) + 1 - at);
}

// The record as a lane program makes it whose library counts from another
// sequence number (0..7): each frame's number `shift` on, its check byte
// changed with it; noise as it was.
std::string CountedFrom(const std::string& text, int shift) {
  constexpr size_t kNoiseMark = 15, kSequence = 21;  // in "%12.3f  %c%c  FF SS ..."
  std::istringstream lines(text);
  std::string line, counted;
  while (std::getline(lines, line)) {
    if (!line.starts_with("#") && line.size() > kSequence + 2 && line[kNoiseMark] == ' ') {
      const int was = std::stoi(line.substr(kSequence, 2), nullptr, 16);
      const int is = (was + shift) % 8;
      const int check = std::stoi(line.substr(line.size() - 2), nullptr, 16) ^ was ^ is;
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", is);
      line.replace(kSequence, 2, hex);
      std::snprintf(hex, sizeof hex, "%02X", check);
      line.replace(line.size() - 2, 2, hex);
    }
    counted += line + "\n";
  }
  return counted;
}

class RecordReplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ProgramRun recorded = Vqhw({"--sim", "trace", "--record", record, "read", "4"});
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    recordedOut = recorded.out;
  }
  void TearDown() override {
    std::remove(record.c_str());
    std::remove(errors.c_str());
    std::remove(renumbered.c_str());
  }
  // Runs vqhw on the replaying reader.
  ProgramRun Run(SimServer& sim, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {VQHW_TOOL, "--device", sim.Path()});
    return RunProgram(std::move(arguments));
  }

  // Files of this test's own: ctest runs the tests of this fixture side by side.
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string record = ::testing::TempDir() + "vqhw_session_" + name + ".record";
  const std::string errors = ::testing::TempDir() + "vqhw_replay_" + name + ".err";
  const std::string renumbered = ::testing::TempDir() + "vqhw_session_" + name + ".renumbered";
  std::string recordedOut;
};

TEST_F(RecordReplayTest, RecordHoldsEveryFrameBothWaysWithItsTime) {
  const std::string text = Contents(record);
  EXPECT_TRUE(text.starts_with("# vqhw session record\n")) << text;
  EXPECT_NE(text.find(">   FF 00 70 03 AA AA AA 26\n"), std::string::npos) << "the probe, first\n" << text;
  EXPECT_NE(text.find("<   FF 05 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 EA\n"), std::string::npos)
      << "the block read's answer\n" << text;
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 2u + 12u) << "two comment lines, six commands, six answers";
}

TEST_F(RecordReplayTest, SameSessionReplaysCleanAndGetsTheRecordedAnswers) {
  SimServer sim({"--replay", record}, errors);
  const ProgramRun replayed = Run(sim, {"read", "4"});
  EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
  EXPECT_EQ(replayed.out, BlockLine(recordedOut)) << "the recorded block's data";
  EXPECT_EQ(sim.Stop(), 0) << Contents(errors);
  EXPECT_NE(Contents(errors).find("6 commands as recorded"), std::string::npos) << Contents(errors);
}

TEST_F(RecordReplayTest, ChangedCommandIsReportedWithItsFrameAndStopsTheReplay) {
  SimServer sim({"--replay", record}, errors);
  EXPECT_NE(Run(sim, {"read", "5"}).exitCode, 0) << "no answer to the changed command";
  EXPECT_EQ(sim.Stop(), 79);
  const std::string report = Contents(errors);
  EXPECT_NE(report.find("command frame 6 differs from " + record + " line 13:\n"
                        "  expected FF 05 51 01 04 AE\n"
                        "  got      FF 05 51 01 05 AF\n"),
            std::string::npos)
      << report;
}

TEST_F(RecordReplayTest, SessionThatStopsShortNamesTheFirstMissingCommand) {
  SimServer sim({"--replay", record}, errors);
  EXPECT_EQ(Run(sim, {"card"}).exitCode, 0);
  EXPECT_EQ(sim.Stop(), 79);
  const std::string report = Contents(errors);
  EXPECT_NE(report.find("expected FF 03 56 08 00 01 FF FF FF FF FF FF A3\n  got      nothing"), std::string::npos)
      << report;
}

// The library's sequence number carries on across close_reader and
// open_reader: a lane program may start at another number than recorded.
TEST_F(RecordReplayTest, AnySequenceReplaysASessionThatCountedFromAnotherNumber) {
  std::ofstream(renumbered) << CountedFrom(Contents(record), 3);
  {
    SimServer sim({"--replay", renumbered}, errors);
    EXPECT_NE(Run(sim, {"read", "4"}).exitCode, 0) << "as recorded, the numbers differ";
    EXPECT_EQ(sim.Stop(), 79);
  }
  SimServer sim({"--replay", renumbered, "--any-sequence"}, errors);
  const ProgramRun replayed = Run(sim, {"read", "4"});
  EXPECT_EQ(replayed.exitCode, 0) << replayed.err;
  EXPECT_EQ(replayed.out, BlockLine(recordedOut)) << "the recorded block's data";
  EXPECT_EQ(sim.Stop(), 0) << Contents(errors);
}

}  // namespace
}  // namespace vqtest
