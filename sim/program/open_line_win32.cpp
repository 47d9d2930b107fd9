// Windows has no pseudo-terminals: a reader the command line names no line
// for listens on a free loopback TCP port, whose URL it prints.

#include "shared/exit_codes.h"
#include "sim/program/failure.h"
#include "sim/program/open_line.h"

namespace vqsim::program {

LineChoice DefaultLine() { return {LineChoice::Kind::kListen, "socket://127.0.0.1:0"}; }

const LineHelp& PlatformLineHelp() {
  static const LineHelp help{
      "Not on Windows, which has no pseudo-terminals: a reader without a line listens on a free loopback "
      "port (socket://127.0.0.1:0)",
      "Serve a reader on this serial port (e.g. COM5, \\\\.\\COM12), for a null-modem cable; may repeat",
      "Serve live control at PATH, for `vqhw-sim ctl` while the readers run: a loopback TCP port whose "
      "address and token PATH holds, a file only its owner can read",
      "the control file of the running vqhw-sim (default: %VQHW_SIM_CONTROL%)"};
  return help;
}

std::unique_ptr<LineHost> OpenPtyLine(VirtualReader&, LineHost::Events) {
  throw Failure{vqshared::kExitUsage,
                "--pty: Windows has no pseudo-terminals; serve the reader with --listen socket://127.0.0.1:PORT "
                "(or --device COMn)"};
}

}  // namespace vqsim::program
