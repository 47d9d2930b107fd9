#pragma once
// `vqhw-sim ctl`: one request to a running vqhw-sim's control socket.

#include <string>
#include <vector>

namespace vqsim {

// Prints the reply; returns 0 when it is "ok", 1 when the reader refused the
// request or nothing listens at `socketPath`, 64 without a socket.
int RunControlClient(const std::string& socketPath, std::vector<std::string> words);

}  // namespace vqsim
