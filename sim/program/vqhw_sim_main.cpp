// vqhw-sim: serves virtual card readers until it is asked to stop (SIGINT,
// SIGTERM): each on a pseudo-terminal, a real serial device (to stand in
// for a reader on a null-modem cable) or a TCP port. The first lines on
// stdout are the names to open as the ports, one a reader: the pty's slave,
// the device, or the URL. With a state file, the field a run leaves is there
// for the next one. `vqhw-sim ctl` talks to a running one through its
// control socket.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "shared/command_line.h"
#include "shared/exit_codes.h"
#include "sim/control/control_client.h"
#include "sim/files/field_file.h"
#include "sim/files/file_exit_code.h"
#include "sim/program/failure.h"
#include "sim/program/plaza.h"
#include "sim/program/sim_options.h"

int main(int argc, char** argv) {
  CLI::App app{"Virtual card readers on pseudo-terminals, serial devices or TCP ports", "vqhw-sim"};
  vqsim::program::SimOptions options;
  vqsim::program::DefineOptions(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& asked) {
    return app.exit(asked);
  } catch (const CLI::CallForVersion& asked) {
    return app.exit(asked);
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "vqhw-sim: %s\n", vqshared::DescribeParseError(app, error).c_str());
    return vqshared::kExitUsage;
  }
  if (options.ctl->parsed()) {
    if (options.ctlJson) options.ctlWords.push_back("--json");
    return vqsim::RunControlClient(options.ctlSocket, options.ctlWords, options.ctlReader);
  }
  if (const std::string refused = vqsim::program::Settle(app, options); !refused.empty()) {
    std::fprintf(stderr, "vqhw-sim: %s\n", refused.c_str());
    return vqshared::kExitUsage;
  }

  try {
    return vqsim::program::ServeReaders(options);
  } catch (const vqsim::program::Failure& failure) {
    std::fprintf(stderr, "vqhw-sim: %s\n", failure.message.c_str());
    return failure.exitCode;
  } catch (const vqsim::FieldFileError& error) {
    std::fprintf(stderr, "vqhw-sim: %s\n", error.what());
    return vqsim::ExitCodeOf(error);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vqhw-sim: %s\n", error.what());
    return vqshared::kExitOsError;
  }
}
