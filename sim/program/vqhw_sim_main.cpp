// vqhw-sim: serves a virtual card reader until it is asked to stop
// (SIGINT, SIGTERM), on a pseudo-terminal or on a real serial device (to
// stand in for a reader on a null-modem cable). The first line on stdout is
// the path to open as the port: the pty's slave, or the device itself. With
// a state file, the field a run leaves is there for the next one.
// `vqhw-sim ctl` talks to a running one through its control socket.

#include <CLI/CLI.hpp>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "VqhwLibVersion.h"
#include "shared/command_line.h"
#include "shared/exit_codes.h"
#include "sim/control/control_client.h"
#include "sim/control/control_commands.h"
#include "sim/control/control_socket.h"
#include "sim/files/field_file.h"
#include "sim/files/file_exit_code.h"
#include "sim/hosts/line_host.h"
#include "sim/hosts/platform/line_io.h"
#include "sim/program/failure.h"
#include "sim/program/frame_log.h"
#include "sim/program/open_line.h"
#include "sim/program/reader_setup.h"
#include "sim/program/replay_run.h"
#include "sim/program/stop_signals.h"

namespace {

using vqsim::program::Failure;

// What the command line names besides the reader itself.
struct ProgramOptions {
  bool log = false;
  vqsim::program::LineChoice line;  // a pty unless a device or a TCP port is named
  bool takeOver = false;            // a new client of a TCP port takes it over
  std::string replayFile;           // a session record to answer from
  std::string controlPath;  // the control socket to serve
};

// Options that cannot go together, refused with the reason; empty when they can.
std::string RefusedOptions(const CLI::App& app) {
  if (app.count("--scenario") > 0) {
    for (const char* other : {"--field", "--state", "--card", "--replay"}) {
      if (app.count(other) > 0) return std::string(other) + " and --scenario both name the field: give one of them";
    }
  }
  if (app.count("--replay") > 0 && (app.count("--field") > 0 || app.count("--state") > 0)) {
    return "--replay answers from the record alone: --field and --state cannot apply";
  }
  if (app.count("--device") > 0 && app.count("--listen") > 0) {
    return "--device and --listen both name the reader's line: give one of them";
  }
  if (app.count("--take-over") > 0 && app.count("--listen") == 0) return "--take-over applies to a TCP port (--listen)";
  if (app.count("--field") > 0 && app.count("--state") > 0) {
    return "--field and --state both name the field: copy the field file to the state file to start from it";
  }
  if (app.count("--field") > 0 && app.count("--card") > 0) {
    return "--card chooses the card of the default field, and --field names another field";
  }
  const CLI::Option* state = app.get_option("--state");
  if (app.count("--card") > 0 && state->count() > 0 && std::filesystem::exists(state->as<std::string>())) {
    return "--card chooses the card of a new state file, and the state file already holds the field";
  }
  return {};
}

// Serves the reader until a stop is asked for or the run ends from inside
// (the line lost, the replay left); returns the exit code.
int Run(const vqsim::program::ReaderOptions& readerOptions, const ProgramOptions& options) {
  vqsim::io::Event stop;
  vqsim::program::StopOnRequest(stop);
  std::atomic<bool> lineLost{false};
  vqsim::VirtualReader reader;
  const std::string loaded = vqsim::program::SetUp(reader, readerOptions);
  const std::shared_ptr<vqsim::SessionReplay> replay =
      options.replayFile.empty() ? nullptr
                                 : vqsim::program::StartReplay(reader, options.replayFile, [&stop] { stop.Set(); });
  // Listening before the path is printed: whoever read the path can send requests.
  std::unique_ptr<vqsim::ControlSocket> control;
  if (!options.controlPath.empty()) {
    control = std::make_unique<vqsim::ControlSocket>(
        options.controlPath, [&reader](const std::string& request) { return vqsim::RunControlRequest(reader, request); });
  }
  vqsim::LineHost::Events events;
  events.clients = [](const std::string& note) { std::fprintf(stderr, "vqhw-sim: %s\n", note.c_str()); };
  if (options.log) {
    events.traffic = vqsim::program::FrameLog();
    events.settings = [](const std::string& note) { std::fprintf(stderr, "vqhw-sim: rfc2217: %s\n", note.c_str()); };
  }
  std::string lostWhy;
  events.lost = [&](const std::string& why) {
    lostWhy = why;
    lineLost = true;
    stop.Set();
  };
  {
    const std::unique_ptr<vqsim::LineHost> host =
        vqsim::program::OpenLine(options.line, reader, events, options.takeOver);
    std::printf("%s\n", host->PortName().c_str());
    std::fflush(stdout);
    stop.WaitUntil(std::nullopt);
    if (options.log) std::fprintf(stderr, "stopping\n");
  }  // the line is closed: the field no longer changes
  if (!readerOptions.stateFile.empty()) vqsim::SaveFieldState(readerOptions.stateFile, loaded, reader);
  if (lineLost) throw Failure{vqshared::kExitNoDevice, lostWhy};
  if (replay) return vqsim::program::ReplayResult(*replay, options.replayFile);
  return vqshared::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Virtual card reader on a pseudo-terminal, a serial device or a TCP port", "vqhw-sim"};
  vqsim::program::ReaderOptions readerOptions;
  ProgramOptions options;
  app.add_flag("--no-psam", readerOptions.noPsam, "No PSAM in the reader: the PSAM reset fails");
  constexpr long kMany = 1L << 30;
  app.add_option("--silent", readerOptions.silent, "Leave the first N commands unanswered")
      ->check(vqshared::WholeNumber(0, kMany, "a number of commands"));
  app.add_option("--late", readerOptions.lateMs, "Answer every command MS milliseconds late")
      ->check(vqshared::WholeNumber(0, 600000, "a time in milliseconds"));
  app.add_option("--wrong-sequence", readerOptions.wrongSequence,
                 "Answer the first N commands with a wrong sequence number")
      ->check(vqshared::WholeNumber(0, kMany, "a number of commands"));
  app.add_option("--timing", readerOptions.timing,
                 "real: bytes take their time on the line and cards theirs (default); instant: no time at all")
      ->check(vqshared::OneOf({"real", "instant"}, "a timing"));
  app.add_flag("--log", options.log, "Print every byte string received and sent, timed and in hex, on stderr");
  app.add_option("--device", options.line.name, "Serve on this serial device (e.g. /dev/ttyUSB0) instead of a pty");
  app.add_option("--listen", options.line.name,
                 "Serve on a TCP port instead of a pty: socket://HOST:PORT (the reader's bytes) or "
                 "rfc2217://HOST:PORT (telnet with the com port option); HOST 127.0.0.1 when left out "
                 "(socket://:4001), PORT 0 any free one; the first line printed is the URL to put in "
                 "VQHW_COM<n>. Anyone who can reach the port can drive the reader: give another address "
                 "than this machine's only on a network you trust")
      ->check(CLI::Validator(vqsim::program::CheckListenUrl, "URL"));
  app.add_flag("--take-over", options.takeOver,
               "A client that calls while another is served takes the TCP port over (default: refused)");
  app.add_option("--field", readerOptions.fieldFile, "The cards in the field and the PSAM, from a JSON file");
  app.add_option("--scenario", readerOptions.scenarioFile,
                 "A lane scenario from a JSON file: its cards, and what happens when (cards come and go, "
                 "tearing, line faults, power, the PSAM)");
  app.add_option("--replay", options.replayFile,
                 "Answer from a session record (vqhw trace --record) and stop at the first command that "
                 "differs from it, exiting 79; exit 0 at SIGINT/SIGTERM when every recorded command came");
  app.add_option("--control", options.controlPath,
                 "Serve a control socket at PATH, for `vqhw-sim ctl` while the reader runs");
  // `vqhw-sim ctl ...`: a request to a running vqhw-sim's control socket.
  CLI::App* ctl = app.add_subcommand(
      "ctl", "Tell a running vqhw-sim: present FILE | remove [SERIAL] | fault KIND ... | state");
  std::string ctlSocket = std::getenv("VQHW_SIM_CONTROL") ? std::getenv("VQHW_SIM_CONTROL") : "";
  std::vector<std::string> ctlWords;
  ctl->add_option("--socket", ctlSocket, "its control socket (default: $VQHW_SIM_CONTROL)");
  ctl->add_option("request", ctlWords, "the request, e.g. present card.json")->required();
  app.add_option("--state", readerOptions.stateFile,
                 "The field from this file when it is there, saved back into it on exit");
  app.add_option("--card", readerOptions.card,
                 "The card of the default field: mifare-one (default) or cpu; the PSAM is always there")
      ->check(vqshared::OneOf({"mifare-one", "cpu"}, "a card kind"));
  app.set_version_flag("--version", "vqhw-sim " VQHW_VERSION_STRING);
  app.footer(vqshared::ExitCodeText());
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
  if (const std::string refused = RefusedOptions(app); !refused.empty()) {
    std::fprintf(stderr, "vqhw-sim: %s\n", refused.c_str());
    return vqshared::kExitUsage;
  }
  if (ctl->parsed()) return vqsim::RunControlClient(ctlSocket, ctlWords);
  if (app.count("--device") > 0) options.line.kind = vqsim::program::LineChoice::Kind::kDevice;
  if (app.count("--listen") > 0) options.line.kind = vqsim::program::LineChoice::Kind::kListen;

  try {
    return Run(readerOptions, options);
  } catch (const Failure& failure) {
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
