// A plaza on this machine: N virtual lanes in one vqhw-sim process, each
// lane a process of its own that runs purchases through the library with
// the virtual reader's real timing. For each purchase its time over its
// limit (the line time of its bytes and the card time of its commands, as
// the lane's reader tells them through the control socket, `timing`); for
// the plaza, the median and 90th percentile of that ratio, and vqhw-sim's
// processor time (all its threads) per exchange.
//
//   plaza_bench [--line socket|rfc2217|pty] [PURCHASES [N ...]]   (10; 1 4 16 64)
//   plaza_bench lane CONTROL READER PURCHASES          one lane, as the plaza runs it

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "lane_purchase.h"
#include "sim/control/control_socket.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

// The line and card time of one reader so far, in microseconds.
struct ReaderTime {
  double lineUs = 0;
  double cardUs = 0;
  bool ok = false;
};

ReaderTime AskTiming(const std::string& control, int reader) {
  ReaderTime time;
  std::istringstream reply(vqsim::SendControlRequest(control, "reader " + std::to_string(reader) + " timing"));
  std::string ok, line, us1, card, us2;
  reply >> ok >> line >> time.lineUs >> us1 >> card >> time.cardUs >> us2;
  time.ok = ok == "ok" && line == "line" && card == "card";
  return time;
}

// One lane: COM1 is its reader (VQHW_COM1). A line a purchase: "ms limit-ms exchanges".
int RunLane(const std::string& control, int reader, int purchases) {
  if (open_reader(1, 0) != 0) {
    std::fprintf(stderr, "lane %d: open_reader failed\n", reader);
    return 1;
  }
  int failures = 0;
  for (int i = 0; i < purchases; ++i) {
    const ReaderTime before = AskTiming(control, reader);
    const Clock::time_point start = Clock::now();
    const int exchanges = vqbench::Purchase(1);
    const double ms = Ms(Clock::now() - start).count();
    const ReaderTime after = AskTiming(control, reader);
    if (exchanges < 0 || !before.ok || !after.ok) {
      ++failures;
      continue;
    }
    std::printf("%.3f %.3f %d\n", ms, (after.lineUs - before.lineUs + after.cardUs - before.cardUs) / 1000,
                exchanges);
  }
  close_reader();
  return failures == 0 ? 0 : 1;
}

struct Child {
  pid_t pid = -1;
  int out = -1;  // its stdout
  std::string text;
};

// `errors`, when given, receives its stderr.
Child Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment,
            const std::string& errors = "") {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment(extraEnvironment);
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  std::vector<char*> envp;
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  int pipeFds[2];
  Child child;
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return child;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  if (!errors.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) child.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  child.out = pipeFds[0];
  return child;
}

// Reads every child's stdout to its end.
void ReadAll(std::vector<Child>& children) {
  std::vector<pollfd> fds;
  for (const Child& child : children) fds.push_back({child.out, POLLIN, 0});
  size_t open = fds.size();
  while (open > 0) {
    if (::poll(fds.data(), fds.size(), -1) <= 0) continue;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        children[i].text.append(buffer, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

std::string ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[std::min(samples.size() - 1, static_cast<size_t>(fraction * static_cast<double>(samples.size())))];
}

double Micros(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec); }

// One plaza of `lanes` lanes; false when a lane or a purchase failed.
bool RunPlaza(const std::string& self, const std::string& line, int lanes, int purchases) {
  const std::string control = "/tmp/vqhw-plaza-bench-" + std::to_string(::getpid()) + ".ctl";
  const std::string simErrors = "/tmp/vqhw-plaza-bench-" + std::to_string(::getpid()) + ".log";
  std::vector<std::string> simArguments{VQHW_SIM_EXECUTABLE, "--timing", "real", "--card", "cpu", "--control", control};
  for (int i = 0; i < lanes; ++i) {
    if (line == "pty") {
      simArguments.push_back("--pty");
    } else {
      simArguments.insert(simArguments.end(), {"--listen", line + "://127.0.0.1:0"});
    }
  }
  Child sim = Spawn(simArguments, {}, simErrors);
  if (sim.pid < 0) return false;
  std::vector<std::string> ports;
  for (int i = 0; i < lanes; ++i) ports.push_back(ReadLine(sim.out));

  const Clock::time_point start = Clock::now();
  std::vector<Child> lanesRunning;
  for (int i = 0; i < lanes; ++i) {
    lanesRunning.push_back(Spawn({self, "lane", control, std::to_string(i + 1), std::to_string(purchases)},
                                 {"VQHW_COM1=" + ports[static_cast<size_t>(i)]}));
  }
  ReadAll(lanesRunning);
  bool ok = true;
  for (Child& lane : lanesRunning) {
    int status = 0;
    ::waitpid(lane.pid, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::kill(sim.pid, SIGTERM);
  int status = 0;
  rusage usage{};
  ::wait4(sim.pid, &status, 0, &usage);
  ::close(sim.out);

  std::vector<double> ratios;
  double limitMs = 0;
  long exchanges = 0;
  for (const Child& lane : lanesRunning) {
    std::istringstream text(lane.text);
    double ms = 0, limit = 0;
    int made = 0;
    while (text >> ms >> limit >> made) {
      ratios.push_back(ms / limit);
      limitMs = limit;
      exchanges += made;
    }
  }
  const size_t expected = static_cast<size_t>(lanes) * static_cast<size_t>(purchases);
  ok = ok && ratios.size() == expected;
  const double simUs = Micros(usage.ru_utime) + Micros(usage.ru_stime);
  std::printf("%3d lanes  %4zu purchases (limit %.1f ms)  ratio median %.3f  p90 %.3f  max %.3f  "
              "vqhw-sim %.1f us CPU per exchange (%ld exchanges, %.1f s)%s\n",
              lanes, ratios.size(), limitMs, Percentile(ratios, 0.5), Percentile(ratios, 0.9),
              Percentile(ratios, 1.0), exchanges > 0 ? simUs / static_cast<double>(exchanges) : 0, exchanges, seconds,
              ok ? "" : "  FAILED");
  std::fflush(stdout);
  if (!ok) std::printf("  vqhw-sim's notes: %s\n", simErrors.c_str());
  if (ok) std::remove(simErrors.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 4 && arguments[0] == "lane") {
    return RunLane(arguments[1], std::atoi(arguments[2].c_str()), std::atoi(arguments[3].c_str()));
  }
  std::string line = "socket";
  if (arguments.size() >= 2 && arguments[0] == "--line") {
    line = arguments[1];
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  const int purchases = arguments.empty() ? 10 : std::max(1, std::atoi(arguments[0].c_str()));
  std::vector<int> plazas;
  for (size_t i = 1; i < arguments.size(); ++i) plazas.push_back(std::max(1, std::atoi(arguments[i].c_str())));
  if (plazas.empty()) plazas = {1, 4, 16, 64};

  std::printf("plaza_bench --line %s %d", line.c_str(), purchases);
  for (int lanes : plazas) std::printf(" %d", lanes);
  std::printf(": N lanes in one vqhw-sim (real timing, %s), a lane process each, %d purchases a lane\n",
              line.c_str(), purchases);
  char self[4096] = {};
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return 1;
  bool ok = true;
  for (int lanes : plazas) ok = RunPlaza(std::string(self, static_cast<size_t>(length)), line, lanes, purchases) && ok;
  return ok ? 0 : 1;
}
