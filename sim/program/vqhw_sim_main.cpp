// vqhw-sim: serves a virtual card reader until SIGINT or SIGTERM, on a
// pseudo-terminal or on a real serial device (to stand in for a reader on
// a null-modem cable). The first line on stdout is the path to open as the
// port: the pty's slave, or the device itself. With a state file, the field
// a run leaves is there for the next one. `vqhw-sim ctl` talks to a running
// one through its control socket.

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "VqhwLibVersion.h"
#include "shared/command_line.h"
#include "shared/exit_codes.h"
#include "sim/files/file_exit_code.h"
#include "shared/file_text.h"
#include "sim/control/control_client.h"
#include "sim/control/control_commands.h"
#include "sim/control/control_socket.h"
#include "sim/files/field_file.h"
#include "sim/cards/psam.h"
#include "sim/hosts/pty_host.h"
#include "sim/files/scenario_file.h"
#include "sim/hosts/serial_device_host.h"
#include "sim/lane/session_replay.h"

namespace {

struct Options {
  bool noPsam = false;
  int silent = 0;
  int lateMs = 0;
  int wrongSequence = 0;
  bool log = false;
  std::string device;     // serve on this serial device instead of a pty
  std::string fieldFile;  // cards and PSAM, JSON
  std::string stateFile;  // the field from here when it is there, saved back on exit
  std::string card = "mifare-one";  // the default field's card
  std::string scenarioFile;  // a lane scenario, JSON: its own field
  std::string replayFile;    // a session record to answer from
  std::string controlPath;   // the control socket to serve
  std::string timing = "real";
};

// A failure with the exit code of the table in shared/exit_codes.h.
struct Failure {
  int exitCode;
  std::string message;
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

// One line per byte string on the line: time since start, direction, hex.
vqsim::PtyHost::TrafficLog FrameLog() {
  const auto start = std::chrono::steady_clock::now();
  return [start](vqsim::PtyHost::Direction direction, std::span<const uint8_t> bytes) {
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::string line;
    char hex[4];
    for (uint8_t b : bytes) {
      std::snprintf(hex, sizeof hex, " %02X", b);
      line += hex;
    }
    std::fprintf(stderr, "%10.1f ms  %s%s\n", ms,
                 direction == vqsim::PtyHost::Direction::kFromHost ? "host->reader" : "reader->host",
                 line.c_str());
  };
}

// Sets the reader up; returns the description its field came from.
std::string SetUp(vqsim::VirtualReader& reader, const Options& options) {
  reader.LimitHistory(1000);  // nobody reads the history here; keep memory flat
  reader.SetTiming(options.timing == "real" ? vqsim::TimingProfile::Real() : vqsim::TimingProfile::Instant());
  std::string loaded;
  const std::string& file = options.fieldFile.empty() ? options.stateFile : options.fieldFile;
  if (!options.scenarioFile.empty()) {
    reader.WithState([](vqsim::ReaderState& state) { state.psam = std::make_shared<vqsim::Psam>(); });
    vqsim::LoadScenarioFile(options.scenarioFile, reader);
  } else if (!file.empty() && (file == options.fieldFile || std::filesystem::exists(file))) {
    loaded = vqsim::LoadFieldFile(file, reader);
  } else {
    loaded = vqsim::DefaultField(options.card == "cpu" ? vqsim::DefaultCard::kCpu : vqsim::DefaultCard::kMifareOne);
    vqsim::LoadField(loaded, reader);
  }
  if (options.noPsam) reader.SetPsamPresent(false);
  reader.Faults().StaySilent(options.silent);
  reader.Faults().WrongSequence(options.wrongSequence);
  if (options.lateMs > 0) reader.Faults().AnswerLate(std::chrono::milliseconds{options.lateMs}, -1);
  return loaded;
}

std::atomic<bool> lineLost{false};

// --replay: the record's answers in place of the reader's; the first
// command that differs from the record stops the program.
std::shared_ptr<vqsim::SessionReplay> StartReplay(vqsim::VirtualReader& reader, const std::string& path) {
  std::string why;
  const std::optional<std::string> text = vqshared::ReadWholeFile(path, why);
  if (!text) throw Failure{vqshared::kExitNoInput, path + ": cannot be read: " + why};
  std::vector<vqsim::RecordedBytes> record;
  try {
    record = vqsim::ParseSessionRecord(*text);
  } catch (const vqsim::SessionRecordError& error) {
    throw Failure{vqshared::kExitBadFile, path + ": " + error.what()};
  }
  auto replay = std::make_shared<vqsim::SessionReplay>(std::move(record), [] { ::kill(::getpid(), SIGUSR2); });
  reader.SetReplay(replay);
  return replay;
}

// 0 when the session went as recorded; else says where it did not.
int ReplayResult(const vqsim::SessionReplay& replay, const std::string& path) {
  const auto difference = replay.DifferenceAtEnd();
  if (!difference) {
    std::fprintf(stderr, "vqhw-sim: %zu commands as recorded in %s\n", replay.RecordedCommands(), path.c_str());
    return 0;
  }
  std::fprintf(stderr, "vqhw-sim: command frame %zu differs from %s", difference->command, path.c_str());
  if (difference->line > 0) std::fprintf(stderr, " line %d", difference->line);
  std::fprintf(stderr, ":\n  expected %s\n  got      %s\n", difference->expected.c_str(), difference->got.c_str());
  return vqshared::kExitReplayDiffers;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Virtual card reader on a pseudo-terminal or a serial device", "vqhw-sim"};
  Options options;
  app.add_flag("--no-psam", options.noPsam, "No PSAM in the reader: the PSAM reset fails");
  constexpr long kMany = 1L << 30;
  app.add_option("--silent", options.silent, "Leave the first N commands unanswered")
      ->check(vqshared::WholeNumber(0, kMany, "a number of commands"));
  app.add_option("--late", options.lateMs, "Answer every command MS milliseconds late")
      ->check(vqshared::WholeNumber(0, 600000, "a time in milliseconds"));
  app.add_option("--wrong-sequence", options.wrongSequence,
                 "Answer the first N commands with a wrong sequence number")
      ->check(vqshared::WholeNumber(0, kMany, "a number of commands"));
  app.add_option("--timing", options.timing,
                 "real: bytes take their time on the line and cards theirs (default); instant: no time at all")
      ->check(vqshared::OneOf({"real", "instant"}, "a timing"));
  app.add_flag("--log", options.log, "Print every byte string received and sent, timed and in hex, on stderr");
  app.add_option("--device", options.device, "Serve on this serial device (e.g. /dev/ttyUSB0) instead of a pty");
  app.add_option("--field", options.fieldFile, "The cards in the field and the PSAM, from a JSON file");
  app.add_option("--scenario", options.scenarioFile,
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
  app.add_option("--state", options.stateFile,
                 "The field from this file when it is there, saved back into it on exit");
  app.add_option("--card", options.card,
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

  // Block the stop signals before any thread starts, then wait for them here.
  // SIGUSR1 is the serial-device link telling that its device went away.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  sigaddset(&stopSignals, SIGUSR2);  // the replay found a command that differs
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    vqsim::VirtualReader reader;
    const std::string loaded = SetUp(reader, options);
    const std::shared_ptr<vqsim::SessionReplay> replay =
        options.replayFile.empty() ? nullptr : StartReplay(reader, options.replayFile);
    // Listening before the path is printed: whoever read the path can send requests.
    std::unique_ptr<vqsim::ControlSocket> control;
    if (!options.controlPath.empty()) {
      control = std::make_unique<vqsim::ControlSocket>(
          options.controlPath, [&reader](const std::string& request) { return vqsim::RunControlRequest(reader, request); });
    }
    const vqsim::PtyHost::TrafficLog traffic = options.log ? FrameLog() : vqsim::PtyHost::TrafficLog{};
    {
      std::unique_ptr<vqsim::PtyHost> ptyHost;
      std::unique_ptr<vqsim::SerialDeviceHost> deviceHost;
      if (options.device.empty()) {
        ptyHost = std::make_unique<vqsim::PtyHost>(reader, traffic);
        std::printf("%s\n", ptyHost->SlavePath().c_str());
      } else {
        try {
          deviceHost = std::make_unique<vqsim::SerialDeviceHost>(reader, options.device, traffic, [] {
            lineLost = true;
            ::kill(::getpid(), SIGUSR1);
          });
        } catch (const std::system_error& error) {
          throw Failure{vqshared::kExitNoDevice, options.device + ": cannot be opened: " + error.code().message()};
        }
        std::printf("%s\n", options.device.c_str());
      }
      std::fflush(stdout);

      int signal = 0;
      sigwait(&stopSignals, &signal);
      if (options.log) std::fprintf(stderr, "stopping on signal %d\n", signal);
    }  // the line is closed: the field no longer changes
    if (!options.stateFile.empty()) vqsim::SaveFieldState(options.stateFile, loaded, reader);
    if (lineLost) throw Failure{vqshared::kExitNoDevice, options.device + " went away"};
    if (replay) return ReplayResult(*replay, options.replayFile);
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
  return 0;
}
