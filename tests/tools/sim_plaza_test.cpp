// A plaza in one vqhw-sim: readers on ptys and TCP ports, each with its own
// field, driven at once by lane processes of their own (vqhw, through the
// library), none of which sees another's card; the control socket reaches
// each reader by its number.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "vqhw_run.h"

namespace vqtest {
namespace {

using nlohmann::json;

constexpr size_t kReaders = 4;

std::string Serial(size_t reader) { return "0A0000" + std::string(1, '0') + std::to_string(reader + 1); }
std::string Block(size_t reader, char fill) { return std::string(2, char('1' + reader)) + std::string(30, fill); }

class SimPlazaTest : public ::testing::Test {
 protected:
  SimPlazaTest() {
    json readers = json::array();
    for (size_t i = 0; i < kReaders; ++i) {
      readers.push_back({{"cards", {{{"kind", "mifare-one"}, {"serial", Serial(i)}, {"blocks", {{"4", Block(i, '0')}}}}}}});
    }
    std::ofstream(plaza_) << json{{"readers", readers}}.dump(2);
  }
  ~SimPlazaTest() override {
    for (size_t i = 1; i <= kReaders; ++i) ::unsetenv(("VQHW_COM" + std::to_string(i)).c_str());
    std::remove(plaza_.c_str());
    std::remove(log_.c_str());
  }

  // Port n of the lanes is reader n.
  void NamePorts(const SimServer& sim) {
    ASSERT_EQ(sim.Paths().size(), kReaders);
    for (size_t i = 0; i < kReaders; ++i) {
      ASSERT_FALSE(sim.Paths()[i].empty()) << i;
      ::setenv(("VQHW_COM" + std::to_string(i + 1)).c_str(), sim.Paths()[i].c_str(), 1);
    }
  }

  // Files of this test's own: ctest runs the tests of this file side by side.
  const std::string base_ = ::testing::TempDir() + "vqhw_sim_plaza_" + std::to_string(::getpid());
  const std::string plaza_ = base_ + ".json";
  const std::string control_ = base_ + ".ctl";
  const std::string log_ = base_ + ".log";
};

// What one lane finds of its card: its serial, block 4 as the field file
// holds it, block 5 as the lane wrote it.
struct LaneFinds {
  std::string serial, block4, block5;
  int exitCode = -1;
  std::string errors;  // what the runs said on stderr
};

LaneFinds RunLane(size_t reader) {
  const std::string port = std::to_string(reader + 1);
  LaneFinds finds;
  const ProgramRun card = Vqhw({"--port", port, "--json", "card"});
  finds.serial = Document(card).value("serial", "");
  const ProgramRun write = Vqhw({"--port", port, "write", "5", Block(reader, 'F'), "-k", "FFFFFFFFFFFF"});
  const ProgramRun read = Vqhw({"--port", port, "--json", "read", "4", "5", "-k", "FFFFFFFFFFFF"});
  const json blocks = Document(read).value("blocks", json::array());
  if (blocks.size() == 2) {
    finds.block4 = blocks[0].value("data", "");
    finds.block5 = blocks[1].value("data", "");
  }
  finds.exitCode = card.exitCode | write.exitCode | read.exitCode;
  finds.errors = card.err + write.err + read.err;
  return finds;
}

TEST_F(SimPlazaTest, EachLaneDrivesItsOwnReaderAtOnceAndSeesItsOwnCardAlone) {
  SimServer sim({"--pty", "--listen", "socket://:0", "--listen", "rfc2217://:0", "--pty", "--field", plaza_,
                 "--control", control_},
                log_, kReaders);
  NamePorts(sim);
  EXPECT_EQ(sim.Paths()[1].rfind("socket://127.0.0.1:", 0), 0u) << sim.Paths()[1];
  EXPECT_EQ(sim.Paths()[2].rfind("rfc2217://127.0.0.1:", 0), 0u) << sim.Paths()[2];

  std::vector<std::future<LaneFinds>> lanes;
  for (size_t i = 0; i < kReaders; ++i) lanes.push_back(std::async(std::launch::async, RunLane, i));
  for (size_t i = 0; i < kReaders; ++i) {
    const LaneFinds finds = lanes[i].get();
    EXPECT_EQ(finds.exitCode, 0) << "lane " << i + 1 << ": " << finds.errors;
    EXPECT_EQ(finds.serial, Serial(i)) << "lane " << i + 1;
    EXPECT_EQ(finds.block4, Block(i, '0')) << "lane " << i + 1;
    EXPECT_EQ(finds.block5, Block(i, 'F')) << "lane " << i + 1 << " reads what it wrote, and no other lane's";
  }

  // The control socket takes a request to one reader by its number.
  const ProgramRun unnamed = RunProgram({VQHW_SIM_TOOL, "ctl", "--socket", control_, "remove"});
  const ProgramRun third = RunProgram({VQHW_SIM_TOOL, "ctl", "--socket", control_, "--reader", "3", "remove"});
  EXPECT_EQ(unnamed.exitCode, 64) << "four readers: which one?";
  EXPECT_NE(unnamed.err.find("name one"), std::string::npos) << unnamed.err;
  EXPECT_EQ(third.exitCode, 0) << third.err;
  const ProgramRun none = Vqhw({"--port", "3", "card"});
  EXPECT_EQ(none.exitCode, 101) << "no card at reader 3: " << none.err;
  EXPECT_EQ(Document(Vqhw({"--port", "4", "--json", "card"})).value("serial", ""), Serial(3));
  EXPECT_EQ(sim.Stop(), 0);
  std::ifstream log(log_);
  const std::string notes((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(notes.find("reader 2: 127.0.0.1:"), std::string::npos) << "each reader's notes name it:\n" << notes;
}

TEST_F(SimPlazaTest, RefusesFieldsThatDoNotMatchTheReaders) {
  const ProgramRun three = RunProgram({VQHW_SIM_TOOL, "--pty", "--pty", "--pty", "--field", plaza_});
  EXPECT_EQ(three.exitCode, 65) << "the file names four readers' fields";
  EXPECT_NE(three.err.find("readers: a field for each of the 3 readers expected"), std::string::npos) << three.err;
  EXPECT_TRUE(three.out.empty());
  const ProgramRun twoFields =
      RunProgram({VQHW_SIM_TOOL, "--pty", "--pty", "--pty", "--field", plaza_, "--field", plaza_});
  EXPECT_EQ(twoFields.exitCode, 64);
  EXPECT_NE(twoFields.err.find("once for all of them, or once a reader"), std::string::npos) << twoFields.err;
  const ProgramRun oneState = RunProgram({VQHW_SIM_TOOL, "--pty", "--pty", "--state", plaza_});
  EXPECT_EQ(oneState.exitCode, 64) << "two readers cannot save into one state file";
}

}  // namespace
}  // namespace vqtest
