#pragma once
// The line a reader is served on, as the command line names it: a fresh
// pty, a serial device, or a TCP port by its URL.

#include <memory>
#include <string>

#include "sim/hosts/line_host.h"
#include "sim/reader/reader_model.h"

namespace vqsim::program {

struct LineChoice {
  enum class Kind { kPty, kDevice, kListen };
  Kind kind = Kind::kPty;
  std::string name;  // the device path or the URL
};

// Refused with the reason when `url` is no URL to listen on; empty when it is.
std::string CheckListenUrl(const std::string& url);

// Serves `reader` on the line. Throws Failure: 69 for a device or TCP port
// that cannot be opened, 71 when the system refuses a pty; a TCP port
// another address than this machine's can reach is said on stderr.
std::unique_ptr<LineHost> OpenLine(const LineChoice& line, VirtualReader& reader, LineHost::Events events,
                                   bool takeOver);

}  // namespace vqsim::program
