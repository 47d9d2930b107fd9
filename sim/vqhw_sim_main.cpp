// vqhw-sim: serves a virtual card reader until SIGINT or SIGTERM, on a
// pseudo-terminal or on a real serial device (to stand in for a reader on
// a null-modem cable). The first line on stdout is the path to open as the
// port: the pty's slave, or the device itself. With a state file, the field
// a run leaves is there for the next one.

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <system_error>

#include "VqhwLibVersion.h"
#include "shared/command_line.h"
#include "shared/exit_codes.h"
#include "sim/field_file.h"
#include "sim/pty_host.h"
#include "sim/serial_device_host.h"

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
  std::string timing = "real";
};

// A failure with the exit code of the table in shared/exit_codes.h.
struct Failure {
  int exitCode;
  std::string message;
};

int ExitCodeOf(const vqsim::FieldFileError& error) {
  switch (error.FileKind()) {
    case vqsim::FieldFileError::Kind::kUnreadable: return vqshared::kExitNoInput;
    case vqsim::FieldFileError::Kind::kUnwritable: return vqshared::kExitCannotWrite;
    case vqsim::FieldFileError::Kind::kMalformed: break;
  }
  return vqshared::kExitBadFile;
}

// Options that cannot go together, refused with the reason; empty when they can.
std::string RefusedOptions(const CLI::App& app) {
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
  const std::string& file = options.fieldFile.empty() ? options.stateFile : options.fieldFile;
  std::string loaded;
  if (!file.empty() && (file == options.fieldFile || std::filesystem::exists(file))) {
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

  // Block the stop signals before any thread starts, then wait for them here.
  // SIGUSR1 is the serial-device link telling that its device went away.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    vqsim::VirtualReader reader;
    const std::string loaded = SetUp(reader, options);
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
  } catch (const Failure& failure) {
    std::fprintf(stderr, "vqhw-sim: %s\n", failure.message.c_str());
    return failure.exitCode;
  } catch (const vqsim::FieldFileError& error) {
    std::fprintf(stderr, "vqhw-sim: %s\n", error.what());
    return ExitCodeOf(error);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vqhw-sim: %s\n", error.what());
    return vqshared::kExitOsError;
  }
  return 0;
}
