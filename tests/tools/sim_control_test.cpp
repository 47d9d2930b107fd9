// Live control of a running vqhw-sim through its control socket, as a lane
// engineer taps cards at the desk while the lane program (the library,
// linked here) runs: present, remove, swap the field, arm a fault, state.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "VqhwLib.h"
#include "vqhw_run.h"

namespace vqtest {
namespace {

constexpr int32_t kPort = 8;

class SimControlTest : public ::testing::Test {
 protected:
  SimControlTest() { ::setenv("VQHW_COM8", sim.Path().c_str(), 1); }
  ~SimControlTest() override {
    close_reader();
    ::unsetenv("VQHW_COM8");
    std::remove(cardFile.c_str());
    std::remove(emptyField.c_str());
  }
  // The field starts empty, where the default field would hold a card.
  static std::string EmptyField(const std::string& name) {
    const std::string path = ::testing::TempDir() + "vqhw_sim_" + name + "_empty.json";
    std::ofstream(path) << R"({"cards": [], "psam": true})";
    return path;
  }
  ProgramRun Ctl(const std::vector<std::string>& request) const {
    std::vector<std::string> arguments{VQHW_SIM_TOOL, "ctl", "--socket", socket};
    arguments.insert(arguments.end(), request.begin(), request.end());
    return RunProgram(std::move(arguments), std::chrono::seconds(5));
  }

  // Files of this test's own: ctest runs the tests of this fixture side by side.
  const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string socket = ::testing::TempDir() + "vqhw_sim_" + name + ".sock";
  const std::string cardFile = ::testing::TempDir() + "vqhw_sim_" + name + "_card.json";
  const std::string emptyField = EmptyField(name);
  SimServer sim{{"--control", socket, "--field", emptyField}};
};

TEST_F(SimControlTest, CardsComeAndGoAndFaultsArmWhileTheLaneRuns) {
  ASSERT_EQ(open_reader(kPort, 0), 0);
  unsigned char record[5] = {};
  EXPECT_EQ(opencard(record), VQHW_NO_CARD);

  std::ofstream(cardFile) << R"({"kind": "mifare-one", "serial": "0A0B0C0D"})";
  const ProgramRun present = Ctl({"present", cardFile});
  ASSERT_EQ(present.exitCode, 0) << present.err;
  ASSERT_EQ(opencard(record), 0);
  EXPECT_EQ(record[0], 0x0A);
  EXPECT_EQ(Ctl({"state"}).out, "ok\ncard 0A0B0C0D mifare-one selected\npsam present\n");

  ASSERT_EQ(Ctl({"fault", "silent", "3"}).exitCode, 0);
  const unsigned char key[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(loadkey(0, 1, key), -1000) << "three silent attempts";
  EXPECT_EQ(loadkey(0, 1, key), 0) << "the fault is used up";

  // Swap the field: the example lane card replaces the one there.
  ASSERT_EQ(Ctl({"present", Example("lane.json")}).exitCode, 0);
  ASSERT_EQ(opencard(record), 0);
  EXPECT_EQ(record[0], 0x3A);

  const ProgramRun removed = Ctl({"remove", "0A0B0C0D"});
  EXPECT_EQ(removed.exitCode, 64) << "that card was swapped out";
  EXPECT_EQ(removed.err, "error no card 0A0B0C0D in the field\n");
  ASSERT_EQ(Ctl({"remove"}).exitCode, 0);
  EXPECT_EQ(opencard(record), VQHW_NO_CARD);
}

TEST_F(SimControlTest, RefusedRequestsSayWhyAndChangeNothing) {
  std::ofstream(cardFile) << R"({"kind": "mifare-one", "serial": "0A0B"})";
  const ProgramRun bad = Ctl({"present", cardFile});
  EXPECT_EQ(bad.exitCode, 64);
  EXPECT_NE(bad.err.find("card.serial: 4 bytes of hex expected"), std::string::npos) << bad.err;
  EXPECT_EQ(Ctl({"fault", "late", "-5"}).exitCode, 64);
  EXPECT_EQ(Ctl({"fly"}).exitCode, 64);
  EXPECT_EQ(Ctl({"state"}).out, "ok\nno card in the field\npsam present\n");

  const ProgramRun nobody =
      RunProgram({VQHW_SIM_TOOL, "ctl", "--socket", ::testing::TempDir() + "nobody.sock", "state"}, std::chrono::seconds(5));
  EXPECT_EQ(nobody.exitCode, 69);
  EXPECT_NE(nobody.err.find("nobody.sock"), std::string::npos) << nobody.err;
}

// A control path that names somebody's file: refused, and the file stays.
TEST(SimControlPath, AFileThatIsNoSocketIsLeftAlone) {
  const std::string path = ::testing::TempDir() + "vqhw_sim_control_not_a_socket.json";
  std::ofstream(path) << "{\"cards\": []}";
  const ProgramRun run = RunProgram({VQHW_SIM_TOOL, "--control", path}, std::chrono::seconds(5));
  EXPECT_EQ(run.exitCode, 71);
  EXPECT_TRUE(run.out.empty()) << "no path is served";
  EXPECT_NE(run.err.find("no socket"), std::string::npos) << run.err;
  std::ifstream kept(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "{\"cards\": []}");
  std::remove(path.c_str());
}

// A socket nobody listens at, as a run that was killed leaves it.
void LeaveStaleSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
  ::close(fd);
}

// A control path is one vqhw-sim's: a stale socket is taken over, a running
// one's is refused and kept, and at exit a vqhw-sim removes only its own.
TEST(SimControlPath, ARunningReadersSocketIsRefusedAndKept) {
  const std::string path = ::testing::TempDir() + "vqhw_sim_control_in_use.sock";
  const auto state = [&path] {
    return RunProgram({VQHW_SIM_TOOL, "ctl", "--socket", path, "state"}, std::chrono::seconds(5)).exitCode;
  };
  std::remove(path.c_str());
  LeaveStaleSocket(path);
  SimServer first({"--control", path});
  EXPECT_EQ(state(), 0) << "the stale socket was replaced";

  const ProgramRun second = RunProgram({VQHW_SIM_TOOL, "--control", path}, std::chrono::seconds(5));
  EXPECT_EQ(second.exitCode, 69);
  EXPECT_TRUE(second.out.empty()) << "no reader is served";
  EXPECT_NE(second.err.find(path + " is in use by another vqhw-sim"), std::string::npos) << second.err;
  EXPECT_EQ(state(), 0) << "the first one keeps its socket";

  // Its socket gone, another serves the path: the first one's exit leaves it.
  std::remove(path.c_str());
  SimServer third({"--control", path});
  EXPECT_EQ(first.Stop(), 0);
  EXPECT_EQ(state(), 0) << "the third one's socket stays";
  EXPECT_EQ(third.Stop(), 0);
  EXPECT_NE(state(), 0) << "removed by its own vqhw-sim";
  std::remove(path.c_str());
}

}  // namespace
}  // namespace vqtest
