// vqhw-sim: serves a virtual card reader on a pseudo-terminal until SIGINT or
// SIGTERM. The first line on stdout is the slave path to open as the port.

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <span>
#include <string>

#include "sim/pty_host.h"

namespace {

void PrintHex(const char* arrow, std::span<const uint8_t> bytes) {
  std::string line = arrow;
  char hex[4];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Virtual card reader on a pseudo-terminal"};
  bool noPsam = false;
  int silent = 0;
  int lateMs = 0;
  int wrongSequence = 0;
  bool log = false;
  app.add_flag("--no-psam", noPsam, "No PSAM in the reader: the PSAM reset fails");
  app.add_option("--silent", silent, "Leave the first N commands unanswered")->check(CLI::NonNegativeNumber);
  app.add_option("--late", lateMs, "Answer every command MS milliseconds late")->check(CLI::Range(0, 600000));
  app.add_option("--wrong-sequence", wrongSequence, "Answer the first N commands with a wrong sequence number")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--log", log, "Print every frame received and sent, in hex, on stderr");
  CLI11_PARSE(app, argc, argv);

  // Block the stop signals before any thread starts, then wait for them here.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    vqsim::VirtualReader reader;
    reader.LimitHistory(1000);  // nobody reads the history here; keep memory flat
    reader.SetPsamPresent(!noPsam);
    reader.Faults().StaySilent(silent);
    reader.Faults().WrongSequence(wrongSequence);
    if (lateMs > 0) reader.Faults().AnswerLate(std::chrono::milliseconds{lateMs}, -1);

    vqsim::PtyHost::TrafficLog traffic;
    if (log) {
      traffic = [](vqsim::PtyHost::Direction direction, std::span<const uint8_t> bytes) {
        PrintHex(direction == vqsim::PtyHost::Direction::kFromHost ? "host->reader" : "reader->host", bytes);
      };
    }
    vqsim::PtyHost host(reader, traffic);
    std::printf("%s\n", host.SlavePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (log) std::fprintf(stderr, "stopping on signal %d\n", signal);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vqhw-sim: %s\n", error.what());
    return 1;
  }
  return 0;
}
