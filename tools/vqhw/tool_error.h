#pragma once
// A failure that is no library call's (a field file, a device, a file to
// write), with its message for people and its exit code.

#include <stdexcept>
#include <string>

namespace vqtool {

class ToolError : public std::runtime_error {
 public:
  ToolError(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

}  // namespace vqtool
