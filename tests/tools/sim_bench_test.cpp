// vqhw-sim as a lane test bench: a lane program's own session recorded by
// the reader and replayed as a regression test; cards that leave and come
// back with what was written to them; a tear armed while the lane runs;
// the end state after a scenario.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "VqhwLib.h"
#include "vqhw_run.h"

namespace vqtest {
namespace {

constexpr int32_t kPort = 9;
constexpr uint32_t kPurse = 10000;  // the torn purchase lane's card, less one toll of 1112
constexpr uint32_t kPurseAfterOneToll = kPurse - 1112;
const unsigned char kFactoryKey[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

std::string Contents(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class SimBenchTest : public ::testing::Test {
 protected:
  ~SimBenchTest() override {
    ::unsetenv("VQHW_COM9");
    for (const std::string& file : {socket, recordFile, state, errors}) std::remove(file.c_str());
  }
  ProgramRun Ctl(const std::vector<std::string>& request) const {
    std::vector<std::string> arguments{VQHW_SIM_TOOL, "ctl", "--socket", socket};
    arguments.insert(arguments.end(), request.begin(), request.end());
    return RunProgram(std::move(arguments), std::chrono::seconds(5));
  }
  nlohmann::json Dump() const {
    const ProgramRun dump = Ctl({"dump"});
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    return nlohmann::json::parse(dump.out.substr(dump.out.find('\n') + 1), nullptr, false);
  }
  // The lane program that recovers a torn purchase, on the reader at
  // `port`. The port is named in this thread: the environment is no place
  // to change while another thread starts programs.
  static std::future<ProgramRun> PurchaseLane(const std::string& port) {
    ::setenv("VQHW_COM9", port.c_str(), 1);
    return std::async(std::launch::async, [] { return RunProgram({VQHW_PURCHASE_LANE, std::to_string(kPort)}); });
  }

  // Files of this test's own: ctest runs the tests of this fixture side by side.
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string socket = ::testing::TempDir() + "vqhw_bench_" + name + ".sock";
  const std::string recordFile = ::testing::TempDir() + "vqhw_bench_" + name + ".record";
  const std::string state = ::testing::TempDir() + "vqhw_bench_" + name + ".state.json";
  const std::string errors = ::testing::TempDir() + "vqhw_bench_" + name + ".err";
};

// A lane of this process, run in a child of its own: each run starts with
// the library as it is now, so its sequence numbers start where a fresh
// lane program's do. Returns the lane's exit code.
int LaneInAChild(const std::string& port, const std::function<int()>& lane) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("VQHW_COM9", port.c_str(), 1);
    const int result = lane();
    close_reader();
    ::_exit(result);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes a block of sector 1 and reads it back; `extraRead` adds a command.
int BlockLane(int32_t block, bool extraRead) {
  unsigned char record[5] = {};
  unsigned char data[16] = {0x5A, 0xA5, static_cast<unsigned char>(block)};
  unsigned char back[16] = {};
  if (open_reader(kPort, 0) != 0 || opencard(record) != 0 || loadkey(0, 1, kFactoryKey) != 0) return 1;
  if (writeblock(0, block, data) != 0 || readblock(0, block, back) != 0) return 2;
  if (extraRead && readblock(0, block, back) != 0) return 3;
  return std::equal(data, data + 16, back) ? 0 : 4;
}

TEST_F(SimBenchTest, ALaneProgramRecordedByTheReaderReplaysAsItsRegressionTest) {
  {
    SimServer sim({"--record", recordFile});
    ASSERT_EQ(LaneInAChild(sim.Path(), [] { return BlockLane(4, false); }), 0);
    ASSERT_EQ(sim.Stop(), 0);
  }
  const std::string recorded = Contents(recordFile);
  EXPECT_TRUE(recorded.starts_with("# vqhw session record\n")) << recorded;
  EXPECT_NE(recorded.find(">   FF "), std::string::npos) << recorded;
  EXPECT_NE(recorded.find("<   FF "), std::string::npos) << recorded;

  {
    SimServer replay({"--replay", recordFile}, errors);
    EXPECT_EQ(LaneInAChild(replay.Path(), [] { return BlockLane(4, false); }), 0);
    EXPECT_EQ(replay.Stop(), 0) << Contents(errors);
  }
  {
    SimServer replay({"--replay", recordFile}, errors);
    EXPECT_NE(LaneInAChild(replay.Path(), [] { return BlockLane(5, false); }), 0);
    EXPECT_EQ(replay.Stop(), 79) << "a lane that writes another block";
    EXPECT_NE(Contents(errors).find("differs from " + recordFile), std::string::npos) << Contents(errors);
  }
  {
    SimServer replay({"--replay", recordFile}, errors);
    EXPECT_NE(LaneInAChild(replay.Path(), [] { return BlockLane(4, true); }), 0);
    EXPECT_EQ(replay.Stop(), 79) << "a lane with one command more";
    EXPECT_NE(Contents(errors).find("expected the end of the record"), std::string::npos) << Contents(errors);
  }
}

TEST_F(SimBenchTest, ARunningReplayRefusesWhatWouldChangeTheFieldOrTheLine) {
  {
    SimServer sim({"--record", recordFile});
    ASSERT_EQ(LaneInAChild(sim.Path(), [] { return BlockLane(4, false); }), 0);
  }
  SimServer replay({"--replay", recordFile, "--control", socket}, errors);
  for (const std::vector<std::string>& request :
       {std::vector<std::string>{"remove"}, {"fault", "silent", "1"}, {"tear", "done"}, {"leave", "A1B2C3D4"}}) {
    const ProgramRun refused = Ctl(request);
    EXPECT_EQ(refused.exitCode, 64) << request[0];
    EXPECT_NE(refused.err.find("a replay answers from its record alone: " + request[0] + " cannot apply"),
              std::string::npos)
        << refused.err;
  }
  EXPECT_EQ(Ctl({"state"}).exitCode, 0) << "looking changes nothing";
  EXPECT_EQ(LaneInAChild(replay.Path(), [] { return BlockLane(4, false); }), 0) << "the replay went on as recorded";
}

TEST_F(SimBenchTest, ACardThatLeavesAndComesBackKeepsWhatWasWrittenToIt) {
  SimServer sim({"--control", socket});
  ::setenv("VQHW_COM9", sim.Path().c_str(), 1);
  ASSERT_EQ(open_reader(kPort, 0), 0);
  unsigned char record[5] = {};
  const unsigned char written[16] = {0x12, 0x34, 0x56};
  ASSERT_EQ(opencard(record), 0);
  ASSERT_EQ(loadkey(0, 1, kFactoryKey), 0);
  ASSERT_EQ(writeblock(0, 4, written), 0);

  ASSERT_EQ(Ctl({"leave", "A1B2C3D4"}).exitCode, 0);
  EXPECT_EQ(opencard(record), VQHW_NO_CARD);
  EXPECT_NE(Ctl({"state"}).out.find("card A1B2C3D4 aside\n"), std::string::npos);
  const ProgramRun enter = Ctl({"enter", "A1B2C3D4"});
  ASSERT_EQ(enter.exitCode, 0) << enter.err;
  ASSERT_EQ(opencard(record), 0);
  ASSERT_EQ(loadkey(0, 1, kFactoryKey), 0);
  unsigned char back[16] = {};
  ASSERT_EQ(readblock(0, 4, back), 0);
  EXPECT_TRUE(std::equal(written, written + 16, back)) << "the block written before it left";
  close_reader();

  const std::string card = ::testing::TempDir() + "vqhw_bench_" + name + ".card.json";
  std::ofstream(card) << R"({"kind": "mifare-one", "serial": "A1B2C3D4"})";
  const ProgramRun twice = Ctl({"present", card});
  EXPECT_EQ(twice.exitCode, 64) << "a second card of the same serial";
  EXPECT_NE(twice.err.find("a card A1B2C3D4 is in the field already"), std::string::npos) << twice.err;
  EXPECT_EQ(Ctl({"present", card, "clone"}).exitCode, 0) << "unless a clone is asked for";
  EXPECT_EQ(Dump()["cards"].size(), 2u);
  std::remove(card.c_str());
}

// The card leaves during the purchase's DEBIT, done; the lane waits for it,
// the tester puts it back, and the proof tells the lane it was paid.
TEST_F(SimBenchTest, ATearArmedWhileTheLaneRunsIsRecoveredOnceByTheProof) {
  SimServer sim({"--card", "cpu", "--control", socket});
  const size_t recordsBefore = Dump()["cards"][0]["records"].size();
  const ProgramRun armed = Ctl({"tear", "done", "debit"});
  ASSERT_EQ(armed.exitCode, 0) << armed.err;
  ASSERT_EQ(Ctl({"fault", "late", "300", "2"}).exitCode, 0);
  const std::string armedState = Ctl({"state"}).out;
  EXPECT_NE(armedState.find("armed late 300 ms, the next 2 commands\narmed tear done, the next debit\n"),
            std::string::npos)
      << armedState;
  ASSERT_EQ(Ctl({"fault", "clear"}).exitCode, 0);

  auto lane = PurchaseLane(sim.Path());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
  while (Ctl({"state"}).out.find("aside") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(Ctl({"enter", "5A112233"}).exitCode, 0) << "the torn card is kept aside";
  const ProgramRun paid = lane.get();
  EXPECT_EQ(paid.exitCode, 0) << paid.out << paid.err;
  EXPECT_NE(paid.out.find("it paid"), std::string::npos) << paid.out;

  const nlohmann::json dump = Dump();
  ASSERT_EQ(dump["cards"].size(), 1u) << dump.dump(2);
  EXPECT_EQ(dump["cards"][0]["balance"], kPurseAfterOneToll);
  EXPECT_EQ(dump["cards"][0]["purchaseCounter"], 1) << "one purchase";
  EXPECT_EQ(dump["cards"][0]["records"].size(), recordsBefore + 1) << "one transaction record more";
  EXPECT_EQ(dump["armed"].size(), 0u) << "the tear is used up";
}

TEST_F(SimBenchTest, TheEndStateOfTheTornPurchaseScenarioShowsTheTollTakenOnce) {
  SimServer sim({"--scenario", Example("scenarios/torn-purchase.json"), "--control", socket, "--state", state});
  const ProgramRun lane = PurchaseLane(sim.Path()).get();
  EXPECT_EQ(lane.exitCode, 0) << lane.out << lane.err;
  const nlohmann::json dump = Dump();
  ASSERT_EQ(dump["cards"].size(), 1u) << dump.dump(2);
  EXPECT_EQ(dump["cards"][0]["balance"], kPurseAfterOneToll);
  EXPECT_EQ(dump["cards"][0]["inField"], true);
  EXPECT_EQ(dump["psam"], "present");
  const ProgramRun json = Ctl({"--json", "state"});
  EXPECT_EQ(json.out, Ctl({"dump"}).out) << "state --json is the dump";

  ASSERT_EQ(sim.Stop(), 0);
  const nlohmann::json saved = nlohmann::json::parse(Contents(state), nullptr, false);
  ASSERT_TRUE(saved.contains("cards")) << Contents(state);
  EXPECT_EQ(saved["cards"][0]["balance"], kPurseAfterOneToll) << "the field the scenario left";
  EXPECT_EQ(saved["cards"][0]["serial"], "5A112233");
}

}  // namespace
}  // namespace vqtest
