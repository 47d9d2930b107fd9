#include "tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <thread>

extern char** environ;

namespace vqtest {

namespace {

using namespace std::chrono_literals;

pid_t Spawn(std::vector<std::string>& arguments, int out, int err) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit code from a wait status; -1 for a process that did not exit.
int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

ProgramRun RunProgram(std::vector<std::string> arguments, std::chrono::milliseconds limit) {
  ProgramRun run;
  // Close-on-exec: a program spawned meanwhile from another thread must not
  // inherit these ends and hold this run's output open.
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return run;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return run;
  }
  const pid_t pid = Spawn(arguments, out[1], err[1]);
  ::close(out[1]);
  ::close(err[1]);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::array<pollfd, 2> fds{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&run.out, &run.err};
  int open = pid > 0 ? 2 : 0;
  while (open > 0 && std::chrono::steady_clock::now() < deadline) {
    if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(count));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  ::close(out[0]);
  ::close(err[0]);
  if (pid <= 0) return run;
  if (open > 0) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exitCode = open > 0 ? -1 : ExitCode(status);
  return run;
}

SimServer::SimServer(std::vector<std::string> arguments, const std::string& errorFile, size_t readers)
    : paths_(readers) {
  arguments.insert(arguments.begin(), {VQHW_SIM_TOOL, "--timing", "instant"});
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  const int err = errorFile.empty() ? -1 : ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  pid_ = Spawn(arguments, out[1], err);
  ::close(out[1]);
  if (err >= 0) ::close(err);
  // The first lines, read byte by byte so nothing after them is taken.
  for (std::string& path : paths_) {
    char c = 0;
    while (pid_ > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') path += c;
  }
  ::close(out[0]);
}

SimServer::~SimServer() {
  if (pid_ > 0) Stop();
}

int SimServer::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return ExitCode(status);
    }
    std::this_thread::sleep_for(10ms);
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  return -1;
}

}  // namespace vqtest
