#include "sim/control/control_client.h"

#include <cstdio>
#include <optional>
#include <system_error>

#include "shared/file_text.h"
#include "shared/exit_codes.h"
#include "shared/json_text.h"
#include "sim/control/control_commands.h"
#include "sim/control/control_socket.h"

namespace vqsim {

namespace {

// `present FILE [clone]` and `scenario FILE` send the file's JSON inline,
// compact on one line: the file is read here, from the caller's directory,
// and the reader's process reads no path of the caller's. Other requests
// (and those already inline) go as they are. None, after saying why, when
// the file cannot be sent.
std::optional<std::string> Request(const std::vector<std::string>& words) {
  std::string request;
  for (const std::string& word : words) request += (request.empty() ? "" : " ") + word;
  const bool present = words.size() >= 2 && words[0] == "present" &&
                       (words.size() == 2 || (words.size() == 3 && words[2] == "clone"));
  const bool scenario = words.size() == 2 && words[0] == "scenario" && words[1] != "stop";
  if ((!present && !scenario) || words[1].starts_with('{')) return request;
  const std::string& path = words[1];
  std::string why;
  const std::optional<std::string> text = vqshared::ReadRegularFile(path, kMostControlFileBytes, why);
  if (!text) {
    std::fprintf(stderr, "vqhw-sim ctl: %s: cannot be read: %s\n", path.c_str(), why.c_str());
    return std::nullopt;
  }
  try {
    const std::string json = vqshared::ParseJson(*text).dump();
    return words[0] + (words.size() == 3 ? " clone " : " ") + json;
  } catch (const vqshared::JsonTextError& error) {
    std::fprintf(stderr, "vqhw-sim ctl: %s: %s\n", path.c_str(), error.what());
    return std::nullopt;
  } catch (const nlohmann::json::exception& error) {  // a string that is no UTF-8 cannot be written back
    std::fprintf(stderr, "vqhw-sim ctl: %s: %s\n", path.c_str(), error.what());
    return std::nullopt;
  }
}

}  // namespace

int RunControlClient(const std::string& socketPath, std::vector<std::string> words, int reader) {
  if (socketPath.empty()) {
    std::fprintf(stderr, "vqhw-sim ctl: no control socket: give --socket PATH or set VQHW_SIM_CONTROL\n");
    return vqshared::kExitUsage;
  }
  std::optional<std::string> request = Request(words);
  if (!request) return vqshared::kExitUsage;
  if (reader > 0) *request = "reader " + std::to_string(reader) + " " + *request;
  if (request->size() >= kLongestControlRequest) {
    std::fprintf(stderr, "vqhw-sim ctl: the request is longer than the control socket takes (%zu bytes)\n",
                 kLongestControlRequest);
    return vqshared::kExitUsage;
  }
  std::string reply;
  try {
    reply = SendControlRequest(socketPath, *request);
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "vqhw-sim ctl: %s\n", error.what());
    return vqshared::kExitNoDevice;
  }
  const bool ok = reply.starts_with("ok");
  std::fputs(reply.c_str(), ok ? stdout : stderr);
  return ok ? vqshared::kExitSuccess : vqshared::kExitUsage;
}

}  // namespace vqsim
