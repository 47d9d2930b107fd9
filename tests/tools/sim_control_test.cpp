// Live control of a running vqhw-sim through its control socket, as a lane
// engineer taps cards at the desk while the lane program (the library,
// linked here) runs: present, remove, swap the field, arm a fault, state.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

// The chosen directory for the scope of one test, the one before again after it.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : before_(std::filesystem::current_path()) {
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(before_); }

 private:
  std::filesystem::path before_;
};

// ctl reads the file of present and scenario itself, from its own directory
// (the reader's process runs elsewhere), and sends its JSON inline: a
// longer line than a request used to be allowed.
TEST_F(SimControlTest, CtlSendsItsOwnFilesInline) {
  const std::string dir = ::testing::TempDir() + "vqhw_sim_" + name + "_dir";
  const InDirectory here(dir);
  std::string blocks;
  for (int block = 4; block < 63; ++block) {
    if (block % 4 != 3) blocks += "\"" + std::to_string(block) + "\": \"00112233445566778899AABBCCDDEEFF\",\n";
  }
  std::ofstream("field.json") << "{\"cards\": [\n {\"kind\": \"mifare-one\", \"serial\": \"01020304\",\n \"blocks\": {"
                              << blocks << "\"1\": \"0102030405060708090A0B0C0D0E0F10\"}},\n"
                              << " {\"kind\": \"mifare-one\", \"serial\": \"05060708\", \"blocks\": {" << blocks
                              << "\"2\": \"0102030405060708090A0B0C0D0E0F10\"}},\n"
                              << " {\"kind\": \"mifare-one\", \"serial\": \"090A0B0C\", \"blocks\": {" << blocks
                              << "\"2\": \"0102030405060708090A0B0C0D0E0F10\"}}]}\n";
  ASSERT_GT(std::filesystem::file_size("field.json"), 4096u + 1024u) << "longer than 4 KiB, blanks left out";
  const ProgramRun present = Ctl({"present", "field.json"});
  ASSERT_EQ(present.exitCode, 0) << present.err;
  EXPECT_EQ(Ctl({"state"}).out, "ok\ncard 01020304 mifare-one\ncard 05060708 mifare-one\ncard 090A0B0C mifare-one\npsam present\n");
  EXPECT_NE(Ctl({"dump"}).out.find("\"1\": \"0102030405060708090A0B0C0D0E0F10\""), std::string::npos);

  std::ofstream("card.json") << R"({"kind": "mifare-one",
                                    "serial": "01020304"})";
  EXPECT_EQ(Ctl({"present", "card.json"}).exitCode, 64) << "that serial is there";
  EXPECT_EQ(Ctl({"present", "card.json", "clone"}).exitCode, 0);
  std::ofstream("lane.json") << R"({"events": [{"at": 60000,
                                                "psam": "locked"}]})";
  ASSERT_EQ(Ctl({"scenario", "lane.json"}).exitCode, 0);
  EXPECT_EQ(Ctl({"state"}).out, "ok\nno card in the field\npsam present\nscenario at 60000 ms: PSAM locked\n");
  EXPECT_EQ(Ctl({"scenario", "stop"}).exitCode, 0);

  ASSERT_EQ(::mkfifo("card.fifo", 0600), 0);
  std::ofstream("big.json") << "{\"cards\": []}" << std::string(1 << 20, ' ');
  std::ofstream("broken.json") << "{\"cards\": [";
  for (const auto& [request, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"present", "card.fifo"}, "card.fifo: cannot be read: is no regular file"},
           {{"scenario", "card.fifo"}, "card.fifo: cannot be read: is no regular file"},
           {{"present", "big.json"}, "big.json: cannot be read: is longer than 1048576 bytes"},
           {{"present", "missing.json"}, "missing.json: cannot be read: No such file or directory"},
           {{"present", "broken.json"}, "broken.json: "}}) {
    const ProgramRun refused = Ctl(request);
    EXPECT_EQ(refused.exitCode, 64) << request[1] << ": " << refused.err;
    EXPECT_NE(refused.err.find("vqhw-sim ctl: " + says), std::string::npos) << refused.err;
  }
  EXPECT_EQ(Ctl({"state"}).out, "ok\nno card in the field\npsam present\n");
  std::filesystem::remove_all(dir);
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
