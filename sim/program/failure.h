#pragma once

#include <string>

namespace vqsim::program {

// A failure of vqhw-sim with its exit code (the table in shared/exit_codes.h).
struct Failure {
  int exitCode;
  std::string message;
};

}  // namespace vqsim::program
