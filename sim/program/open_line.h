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

// The line of a reader the command line names none for: a fresh pty on
// POSIX; on Windows, which has none, a free loopback TCP port.
LineChoice DefaultLine();

// What differs between the platforms in the help: the --pty and --device
// options, and what a control socket is (open_line_posix.cpp, open_line_win32.cpp).
struct LineHelp {
  const char* pty;
  const char* device;
  const char* control;
  const char* ctlSocket;
};
const LineHelp& PlatformLineHelp();

// Refused with the reason when `url` is no URL to listen on; empty when it is.
std::string CheckListenUrl(const std::string& url);

// Serves `reader` on the line. Throws Failure: 69 for a device or TCP port
// that cannot be opened, 71 when the system refuses a pty, 64 for a pty on
// Windows; a TCP port another address than this machine's can reach is
// said on stderr.
std::unique_ptr<LineHost> OpenLine(const LineChoice& line, VirtualReader& reader, LineHost::Events events,
                                   bool takeOver);
// The pty of OpenLine, one file per platform.
std::unique_ptr<LineHost> OpenPtyLine(VirtualReader& reader, LineHost::Events events);

}  // namespace vqsim::program
