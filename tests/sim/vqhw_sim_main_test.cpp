// Runs the vqhw-sim executable as people and the Windows tests do.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "pty_client.h"

extern char** environ;

namespace vqsim {
namespace {

using namespace std::chrono_literals;
using testing::CommandFrame;
using testing::PtyClient;
using Bytes = std::vector<uint8_t>;

// A running vqhw-sim with its first line of output.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), VQHW_SIM_EXECUTABLE);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    spawned_ = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    stdout_ = ::fdopen(out[0], "r");
  }
  ~SimProcess() {
    if (running()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ != nullptr) std::fclose(stdout_);
  }

  bool running() const { return spawned_ && !reaped_; }

  std::string FirstLine() {
    char line[256] = {};
    if (stdout_ == nullptr || std::fgets(line, sizeof line, stdout_) == nullptr) return {};
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

  // Sends the signal and returns the wait status (see WaitForExit).
  int StopWith(int signal) {
    ::kill(pid_, signal);
    return WaitForExit();
  }

  // The wait status, or -1 if the process did not end within 2 s.
  int WaitForExit() {
    for (int i = 0; i < 200; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return status;
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool spawned_ = false;
  bool reaped_ = false;
  FILE* stdout_ = nullptr;
};

TEST(VqhwSimExecutable, PrintsTheSlavePathServesItAndExitsOnSigterm) {
  SimProcess sim({});
  ASSERT_TRUE(sim.running());
  const std::string path = sim.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  {
    PtyClient client(path);
    client.Write(CommandFrame(0, 0x73));
    EXPECT_EQ(client.Read(5, 1s), (Bytes{0xFF, 0x00, 0x00, 0x00, 0xFF}));
  }
  const int status = sim.StopWith(SIGTERM);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(VqhwSimExecutable, AppliesItsOptionsAndExitsOnSigint) {
  SimProcess sim({"--no-psam", "--silent", "1", "--wrong-sequence", "2"});
  ASSERT_TRUE(sim.running());
  PtyClient client(sim.FirstLine());
  client.Write(CommandFrame(3, 0x73));
  EXPECT_EQ(client.Read(1, 200ms), Bytes{}) << "the first command goes unanswered";
  client.Write(CommandFrame(3, 0x73));
  // Silence took the first command; the wrong sequence number has one left after this.
  EXPECT_EQ(client.Read(5, 1s), (Bytes{0xFF, 0x04, 0xC3, 0x00, 0xFF ^ 0x04 ^ 0xC3}));
  const int status = sim.StopWith(SIGINT);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vqsim
