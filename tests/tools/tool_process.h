#pragma once
// Runs the tools as people run them: as processes, with their output and
// exit codes.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vqtest {

struct ProgramRun {
  int exitCode = -1;  // -1: killed (ran past its limit) or did not start
  std::string out;
  std::string err;
};

// Runs the program to its end with stdout and stderr captured; kills it
// after `limit`.
ProgramRun RunProgram(std::vector<std::string> arguments,
                      std::chrono::milliseconds limit = std::chrono::seconds(30));

// A running vqhw-sim and the ports it serves (its first lines of output, one
// a reader).
class SimServer {
 public:
  // `errorFile`, when given, receives its standard error; `readers` lines are read.
  explicit SimServer(std::vector<std::string> arguments, const std::string& errorFile = "", size_t readers = 1);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  const std::string& Path() const { return paths_.front(); }
  const std::vector<std::string>& Paths() const { return paths_; }
  // Sends SIGTERM and returns the exit code, or -1 when it did not exit within 2 s.
  int Stop();

 private:
  pid_t pid_ = -1;
  std::vector<std::string> paths_;
};

}  // namespace vqtest
