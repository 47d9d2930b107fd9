// Control requests as the virtual reader's control channel parses and
// dispatches them: each line of the input is one request, run in turn on
// one reader or on two (the first byte, odd: two). Requests that would read
// a file outside the working folder are left out: the file system is no
// part of the input.
//
// What must hold: every answer is "ok" or "error", ends its last line, and
// an error is one line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sim/control/control_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  vqsim::VirtualReader first;
  vqsim::VirtualReader second;
  std::vector<vqsim::VirtualReader*> readers{&first};
  if (data[0] & 1) readers.push_back(&second);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t at = 0;
  for (int requests = 0; at <= text.size() && requests < 32; ++requests) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string request = text.substr(at, end - at);
    at = end + 1;
    if (request.find("present") != std::string::npos && request.find('/') != std::string::npos) continue;
    const std::string answer = vqsim::RunControlRequest(readers, request);
    FUZZ_CHECK(answer.starts_with("ok") || answer.starts_with("error "));
    FUZZ_CHECK(!answer.empty() && answer.back() == '\n');
    if (answer.starts_with("error ")) FUZZ_CHECK(answer.find('\n') == answer.size() - 1);
  }
  return 0;
}
