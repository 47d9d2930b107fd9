// Runs the vqhw-sim executable as people and the Windows tests do.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "pty_client.h"
#include "tcp_client.h"

extern char** environ;

namespace vqsim {
namespace {

using namespace std::chrono_literals;
using testing::CommandFrame;
using testing::PtyClient;
using testing::TcpClient;
using Bytes = std::vector<uint8_t>;

// A running vqhw-sim with its first line of output.
class SimProcess {
 public:
  // Instant timing unless the arguments name one.
  explicit SimProcess(std::vector<std::string> arguments) {
    if (std::ranges::find(arguments, "--timing") == arguments.end()) {
      arguments.insert(arguments.begin(), {"--timing", "instant"});
    }
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

// The far end of a null-modem cable: the master of a pty pair, whose slave
// vqhw-sim opens as its serial device.
class CableEnd {
 public:
  CableEnd() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (!master_ || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) return;
    char name[128] = {};
    if (::ptsname_r(master_.get(), name, sizeof name) == 0) devicePath_ = name;
  }
  const std::string& DevicePath() const { return devicePath_; }
  void Write(const Bytes& bytes) { ASSERT_EQ(::write(master_.get(), bytes.data(), bytes.size()), ssize_t(bytes.size())); }
  Bytes Read(size_t expected, std::chrono::milliseconds window) {
    Bytes bytes;
    const auto deadline = std::chrono::steady_clock::now() + window;
    while (bytes.size() < expected && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{master_.get(), POLLIN, 0};
      if (::poll(&fd, 1, 20) <= 0) continue;
      uint8_t buffer[64];
      const ssize_t count = ::read(master_.get(), buffer, sizeof buffer);
      if (count > 0) bytes.insert(bytes.end(), buffer, buffer + count);
    }
    return bytes;
  }
  void HangUp() { master_ = io::UniqueFd(); }

 private:
  io::UniqueFd master_;
  std::string devicePath_;
};

TEST(VqhwSimExecutable, ServesASerialDeviceAndExitsWhenItGoesAway) {
  CableEnd cable;
  ASSERT_FALSE(cable.DevicePath().empty());
  SimProcess sim({"--device", cable.DevicePath()});
  ASSERT_EQ(sim.FirstLine(), cable.DevicePath());
  cable.Write(CommandFrame(2, 0x73));
  EXPECT_EQ(cable.Read(5, 1s), (Bytes{0xFF, 0x02, 0x00, 0x00, 0xFD}));
  cable.HangUp();
  const int status = sim.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 69) << "a lost line: the device went away";
}

TEST(VqhwSimExecutable, PutsTheFieldFilesCardsInTheField) {
  const std::string path = ::testing::TempDir() + "vqhw_sim_field.json";
  std::ofstream(path) << R"({"cards": [{"kind": "mifare-one", "serial": "0A0B0C0D"}]})";
  SimProcess sim({"--field", path});
  PtyClient client(sim.FirstLine());
  client.Write(CommandFrame(1, 0x80));
  EXPECT_EQ(client.Read(10, 1s), (Bytes{0xFF, 0x01, 0x00, 0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x08,
                                        0xFF ^ 0x01 ^ 0x05 ^ 0x0A ^ 0x0B ^ 0x0C ^ 0x0D ^ 0x08}));
  std::remove(path.c_str());
}

TEST(VqhwSimExecutable, RefusesADeviceItCannotOpen) {
  SimProcess sim({"--device", "/nonexistent/ttyVQ"});
  EXPECT_EQ(sim.FirstLine(), "");
  const int status = sim.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 69) << "a device that cannot be opened";
}

// --listen: the first line is the URL with the port the system chose.
TEST(VqhwSimExecutable, ServesATcpPortAndPrintsItsUrl) {
  SimProcess sim({"--listen", "socket://:0"});
  const std::string url = sim.FirstLine();
  ASSERT_EQ(url.rfind("socket://127.0.0.1:", 0), 0u) << url;
  ASSERT_NE(testing::PortOf(url), 0);
  {
    TcpClient client(url);
    client.Write(CommandFrame(2, 0x73));
    EXPECT_EQ(client.Read(5, 1s), (Bytes{0xFF, 0x02, 0x00, 0x00, 0xFD}));
  }
  const int status = sim.StopWith(SIGTERM);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(VqhwSimExecutable, RefusesAMalformedUrlAndAPortInUse) {
  for (const char* malformed : {"socket://127.0.0.1", "tcp://127.0.0.1:4001", "socket://127.0.0.1:65536",
                                "rfc2217://::1:4001", "socket://127.0.0.1:4001/x"}) {
    SimProcess sim({"--listen", malformed});
    EXPECT_EQ(sim.FirstLine(), "") << malformed;
    const int status = sim.WaitForExit();
    ASSERT_TRUE(WIFEXITED(status)) << malformed;
    EXPECT_EQ(WEXITSTATUS(status), 64) << malformed;
  }
  SimProcess first({"--listen", "rfc2217://127.0.0.1:0"});
  const std::string taken = first.FirstLine();
  SimProcess second({"--listen", "socket://127.0.0.1:" + std::to_string(testing::PortOf(taken))});
  EXPECT_EQ(second.FirstLine(), "");
  const int status = second.WaitForExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 69) << "the port is in use";
}

// GET CHALLENGE on the PSAM (0x61) of each reader, through its pty.
std::vector<Bytes> Challenges(SimProcess& sim, size_t readers) {
  std::vector<Bytes> challenges;
  for (size_t i = 0; i < readers; ++i) {
    PtyClient client(sim.FirstLine());
    client.Write(CommandFrame(0, 0x61, {0x00, 0x84, 0x00, 0x00, 0x08}));
    challenges.push_back(client.Read(15, 1s));
  }
  return challenges;
}

// --seed repeats a run's randoms, each reader its own; without it every
// run draws fresh ones.
TEST(VqhwSimExecutable, SeedRepeatsTheRandomsOfARunEachReaderItsOwn) {
  std::vector<std::vector<Bytes>> runs;
  for (const char* seed : {"41", "41", ""}) {
    std::vector<std::string> arguments{"--pty", "--pty"};
    if (*seed != 0) arguments.insert(arguments.end(), {"--seed", seed});
    SimProcess sim(arguments);
    runs.push_back(Challenges(sim, 2));
    EXPECT_EQ(runs.back()[0].size(), 15u) << "8 bytes and 90 00 in a frame";
  }
  EXPECT_EQ(runs[0], runs[1]) << "the same seed, the same challenges";
  EXPECT_NE(runs[0][0], runs[0][1]) << "each reader its own";
  EXPECT_NE(runs[2], runs[0]) << "no seed: fresh ones";
}

// A replay's answers come as long after their commands as recorded: the
// record timed each from when its command was sent to when the answer's
// last byte came, and so does the client here. Each exchange is taken at
// the least time of several: a loaded machine only ever adds time (the
// answer is not sent before it is due, nor read before it came), while a
// replay timed wrong is off by as much every time. The 0.2 ms allowed
// holds the pty's own round trip, 0.08 to 0.2 ms at the least of a run on
// a busy 2-core machine: more runs come while an exchange is beyond it.
// Under a sanitizer the round trip is 0.21 to 0.24 ms (TSan): 0.35 ms
// allowed there still finds a replay late by the command's own wire time,
// 0.52 ms for the shortest command here.
TEST(VqhwSimExecutable, ReplayAnswersAsLongAfterEachCommandAsRecorded) {
  struct Exchange {
    Bytes command;
    size_t answerSize;
    double recordedMs;
  };
  const std::vector<Exchange> kinds{
      {CommandFrame(0, 0x70, {0xAA, 0xAA, 0xAA}), 5, 2.012},  // the probe
      {CommandFrame(0, 0x56, {0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 5, 3.507},  // a long command
      {CommandFrame(0, 0x51, {0x04}), 21, 4.250},  // a block read: a long answer
  };
  constexpr size_t kExchanges = 12;  // each kind four times, numbered on as a lane numbers them
  constexpr int kMostRuns = 10;
#ifdef VQHW_INSTRUMENTED_BUILD
  constexpr double kAllowedMs = 0.35;
#else
  constexpr double kAllowedMs = 0.2;
#endif
  const auto command = [&](size_t n) {
    const Bytes& kind = kinds[n % kinds.size()].command;
    return CommandFrame(static_cast<uint8_t>(n % 8), kind[2], Bytes(kind.begin() + 4, kind.end() - 1));
  };
  const std::string record = ::testing::TempDir() + "vqhw_sim_replay_timing.record";
  {
    std::ofstream file(record);
    const auto line = [&file](double ms, char direction, const Bytes& bytes) {
      char text[32];
      std::snprintf(text, sizeof text, "%12.3f  %c  ", ms, direction);
      file << text;
      for (uint8_t b : bytes) {
        std::snprintf(text, sizeof text, " %02X", b);
        file << text;
      }
      file << '\n';
    };
    for (size_t n = 0; n < kExchanges; ++n) {
      const Exchange& kind = kinds[n % kinds.size()];
      line(100.0 + 20.0 * n, '>', command(n));
      const Bytes answer = CommandFrame(static_cast<uint8_t>(n % 8), 0x00, Bytes(kind.answerSize - 5, 0x5A));
      line(100.0 + 20.0 * n + kind.recordedMs, '<', answer);
    }
  }
  std::vector<double> leastMs(kinds.size(), 1e9);
  const auto allWithin = [&] {
    for (size_t i = 0; i < kinds.size(); ++i) {
      if (std::abs(leastMs[i] - kinds[i].recordedMs) > kAllowedMs) return false;
    }
    return true;
  };
  for (int run = 0; run < kMostRuns && !allWithin(); ++run) {
    SimProcess sim({"--timing", "real", "--replay", record});
    PtyClient client(sim.FirstLine());
    for (size_t n = 0; n < kExchanges; ++n) {
      const auto sent = client.Write(command(n));
      const std::vector<PtyClient::Arrival> arrivals = client.ReadArrivals(kinds[n % kinds.size()].answerSize, 1s);
      ASSERT_FALSE(arrivals.empty()) << "exchange " << n + 1;
      const double ms = std::chrono::duration<double, std::milli>(arrivals.back().at - sent).count();
      leastMs[n % kinds.size()] = std::min(leastMs[n % kinds.size()], ms);
    }
    const int status = sim.StopWith(SIGTERM);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "every recorded command came";
  }
  for (size_t i = 0; i < kinds.size(); ++i) EXPECT_NEAR(leastMs[i], kinds[i].recordedMs, kAllowedMs) << "kind " << i + 1;
  std::remove(record.c_str());
}

}  // namespace
}  // namespace vqsim
