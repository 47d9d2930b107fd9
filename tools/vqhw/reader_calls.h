#pragma once
// Calling the library the way every subcommand does: each call's result
// with the message of the status behind it, and the reader kept open for
// exactly the length of a command.

#include <cstdint>
#include <string>

#include "vqhw/output.h"

namespace vqtool {

// getvqicerror, as UTF-8.
std::string LastMessage();

struct CallResult {
  std::string call;  // "readblock 4"
  int32_t result = 0;
  int32_t status = 0;   // the status behind the result, told apart by its message
  std::string message;  // of the last status, when the call failed
  std::string detail;   // what the tool found out itself, e.g. why a device does not open
  bool Ok() const { return result == 0; }
};

// The result of a call that just returned, with its status and message when it failed.
CallResult Checked(std::string call, int32_t result);
// The one error line for a failed call, with the meaning and a hint; returns the exit code.
int Report(Output& out, const CallResult& failed);

// open_reader on construction, close_reader at the end when it opened. A
// port that cannot be opened is looked at: the failure names the device and
// the system's reason.
class OpenReader {
 public:
  explicit OpenReader(int port);
  ~OpenReader();
  OpenReader(const OpenReader&) = delete;
  OpenReader& operator=(const OpenReader&) = delete;

  const CallResult& Opened() const { return opened_; }

 private:
  CallResult opened_;
};

}  // namespace vqtool
