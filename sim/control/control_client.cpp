#include "sim/control/control_client.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "shared/exit_codes.h"
#include "sim/control/control_socket.h"

namespace vqsim {

int RunControlClient(const std::string& socketPath, std::vector<std::string> words, int reader) {
  if (socketPath.empty()) {
    std::fprintf(stderr, "vqhw-sim ctl: no control socket: give --socket PATH or set VQHW_SIM_CONTROL\n");
    return vqshared::kExitUsage;
  }
  // The reader reads the file itself, from its own directory.
  if (words.size() >= 2 && words[0] == "present") words[1] = std::filesystem::absolute(words[1]).string();
  std::string request = reader > 0 ? "reader " + std::to_string(reader) : "";
  for (const std::string& word : words) request += (request.empty() ? "" : " ") + word;
  std::string reply;
  try {
    reply = SendControlRequest(socketPath, request);
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "vqhw-sim ctl: %s\n", error.what());
    return vqshared::kExitNoDevice;
  }
  const bool ok = reply.starts_with("ok");
  std::fputs(reply.c_str(), ok ? stdout : stderr);
  return ok ? vqshared::kExitSuccess : vqshared::kExitUsage;
}

}  // namespace vqsim
