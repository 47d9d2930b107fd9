#pragma once
// `vqhw-sim ctl`: one request to a running vqhw-sim's control socket.

#include <string>
#include <vector>

namespace vqsim {

// Prints the reply; returns 0 when it is "ok", 64 when the reader refused
// the request or there is no socket to name, 69 when nothing listens at
// `socketPath`. `reader` (0: none) names the reader of several.
int RunControlClient(const std::string& socketPath, std::vector<std::string> words, int reader = 0);

}  // namespace vqsim
