#include <system_error>

#include "shared/exit_codes.h"
#include "sim/hosts/pty_host.h"
#include "sim/program/failure.h"
#include "sim/program/open_line.h"

namespace vqsim::program {

LineChoice DefaultLine() { return {LineChoice::Kind::kPty, {}}; }

const LineHelp& PlatformLineHelp() {
  static const LineHelp help{
      "Serve a reader on a fresh pseudo-terminal (the default for one reader); repeat it, with --device and "
      "--listen, for as many readers",
      "Serve a reader on this serial device (e.g. /dev/ttyUSB0); may repeat",
      "Serve a control socket (a Unix socket) at PATH, for `vqhw-sim ctl` while the readers run",
      "its control socket (default: $VQHW_SIM_CONTROL)"};
  return help;
}

std::unique_ptr<LineHost> OpenPtyLine(VirtualReader& reader, LineHost::Events events) {
  try {
    return std::make_unique<PtyHost>(reader, std::move(events));
  } catch (const std::system_error& error) {
    throw Failure{vqshared::kExitOsError, std::string("no pseudo-terminal: ") + error.what()};
  }
}

}  // namespace vqsim::program
