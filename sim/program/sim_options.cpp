#include "sim/program/sim_options.h"

#include <cstdlib>
#include <filesystem>
#include <set>

#include "VqhwLibVersion.h"
#include "shared/command_line.h"
#include "shared/exit_codes.h"

namespace vqsim::program {

namespace {

constexpr long kMany = 1L << 30;

// A list given once for every reader, or once a reader.
std::string CountRefused(const std::string& option, size_t given, size_t readers, bool oncePerReader) {
  if (given == 0 || given == readers || (given == 1 && !oncePerReader)) return {};
  return option + " is given " + std::to_string(given) + (given == 1 ? " time" : " times") + " for " +
         std::to_string(readers) + (readers == 1 ? " reader" : " readers") + ": give it " +
         (oncePerReader ? "" : "once for all of them, or ") + "once a reader";
}

}  // namespace

ReaderOptions SimOptions::ForReader(size_t index) const {
  ReaderOptions reader = common;
  const auto pick = [index](const std::vector<std::string>& list) {
    return list.empty() ? std::string() : list[list.size() == 1 ? 0 : index];
  };
  reader.fieldFile = pick(fields);
  reader.scenarioFile = pick(scenarios);
  reader.stateFile = states.empty() ? std::string() : states[index];
  reader.recordFile = records.empty() ? std::string() : records[index];
  reader.index = index;
  reader.readers = Readers();
  return reader;
}

void DefineOptions(CLI::App& app, SimOptions& options) {
  ReaderOptions& common = options.common;
  app.add_flag("--no-psam", common.noPsam, "No PSAM in the reader: the PSAM reset fails");
  app.add_option("--silent", common.silent, "Leave the first N commands unanswered")
      ->check(vqshared::WholeNumber(0, kMany, "a number of commands"));
  app.add_option("--late", common.lateMs, "Answer every command MS milliseconds late")
      ->check(vqshared::WholeNumber(0, 600000, "a time in milliseconds"));
  app.add_option("--wrong-sequence", common.wrongSequence,
                 "Answer the first N commands with a wrong sequence number")
      ->check(vqshared::WholeNumber(0, kMany, "a number of commands"));
  app.add_option("--timing", common.timing,
                 "real: bytes take their time on the line and cards theirs (default); instant: no time at all")
      ->check(vqshared::OneOf({"real", "instant"}, "a timing"));
  app.add_option("--seed", options.common.seed,
                 "Start the randoms of the cards (the challenges of the CPU card and the PSAM, the card's "
                 "random of each purchase) from N, so that a run repeats; default: fresh randoms every run")
      ->type_name("N")
      ->check(vqshared::WholeNumber(0, 4294967295LL, "a seed"));
  app.add_flag("--log", options.log,
               "Print every byte string received and sent, timed and in hex, on stderr (with several readers, "
               "each line names its reader)");
  const LineHelp& lineHelp = PlatformLineHelp();
  app.add_flag("--pty")->description(lineHelp.pty);
  app.add_option("--device", options.devices, lineHelp.device)
      ->type_name("PATH")
      ->allow_extra_args(false);
  app.add_option("--listen", options.listens,
                 "Serve a reader on a TCP port: socket://HOST:PORT (the reader's bytes) or rfc2217://HOST:PORT "
                 "(telnet with the com port option); HOST 127.0.0.1 when left out (socket://:4001), PORT 0 any "
                 "free one; may repeat. Anyone who can reach the port can drive the reader: give another "
                 "address than this machine's only on a network you trust")
      ->type_name("URL")
      ->allow_extra_args(false)
      ->check(CLI::Validator(CheckListenUrl, ""));
  app.add_flag("--take-over", options.takeOver,
               "A client that calls while another is served takes the TCP port over (default: refused)");
  app.add_option("--field", options.fields,
                 "The cards in the field and the PSAM, from a JSON file: once for every reader, or once a "
                 "reader in the order of their lines; a file of {\"readers\": [FIELD, ...]} names each "
                 "reader's field")
      ->type_name("FILE");
  app.add_option("--scenario", options.scenarios,
                 "A lane scenario from a JSON file: its cards, and what happens when (cards come and go, "
                 "tearing, line faults, power, the PSAM); once for every reader, or once a reader")
      ->type_name("FILE");
  app.add_option("--replay", options.replayFile,
                 "Answer from a session record (vqhw trace --record) and stop at the first command that "
                 "differs from it, exiting 79; exit 0 at SIGINT/SIGTERM when every recorded command came")
      ->type_name("FILE");
  app.add_flag("--any-sequence", options.anySequence,
               "With --replay: take a command whatever its sequence number, and answer with it (a lane program "
               "may start at another number than the one recorded)");
  app.add_option("--control", options.controlPath, lineHelp.control)
      ->type_name("PATH");
  app.add_option("--http", options.http,
                 "Serve the panel, a page to drive the readers from a browser, at HOST:PORT (host 127.0.0.1 "
                 "unless given; port 0 picks one); another address than loopback needs the token printed at start")
      ->type_name("HOST:PORT");
  app.add_option("--state", options.states,
                 "The field from this file when it is there, saved back into it on exit; with --scenario, "
                 "the field the scenario leaves is saved into it (the scenario names its own start); once a reader")
      ->type_name("FILE");
  app.add_option("--record", options.records,
                 "Record the session the reader serves into this file, every frame both ways with its time, "
                 "in the format --replay plays (and vqhw trace --record writes); once a reader")
      ->type_name("FILE");
  app.add_option("--card", common.card,
                 "The card of the default field: mifare-one (default) or cpu; the PSAM is always there")
      ->check(vqshared::OneOf({"mifare-one", "cpu"}, "a card kind"));
  app.set_version_flag("--version", "vqhw-sim " VQHW_VERSION_STRING);
  app.footer(vqshared::ExitCodeText());

  // `vqhw-sim ctl ...`: a request to a running vqhw-sim's control socket.
  options.ctl = app.add_subcommand(
      "ctl", "Tell a running vqhw-sim: present FILE [clone] | remove [SERIAL] | leave SERIAL | enter SERIAL | "
      "write SERIAL BLOCK HEX | tear OUTCOME [write|debit] | fault KIND ... | power-off MS | "
      "psam present|locked|removed | scenario FILE | scenario stop | state [--json] | dump | timing "
      "(a FILE is read here and sent inline)");
  options.ctlSocket = std::getenv("VQHW_SIM_CONTROL") ? std::getenv("VQHW_SIM_CONTROL") : "";
  options.ctl->add_option("--socket", options.ctlSocket, lineHelp.ctlSocket);
  options.ctl->add_option("--reader", options.ctlReader, "the reader the request is for (1: the first line)")
      ->check(vqshared::WholeNumber(1, 100000, "a reader's number"));
  options.ctl->add_flag("--json", options.ctlJson, "state as JSON, with each card's contents (what dump answers)");
  options.ctl->add_option("request", options.ctlWords, "the request, e.g. present card.json")->required();
}

std::string Settle(const CLI::App& app, SimOptions& options) {
  for (const CLI::Option* option : app.parse_order()) {
    const std::string name = option->get_name();
    if (name == "--pty") {
      options.lines.push_back({LineChoice::Kind::kPty, {}});
    } else if (name == "--device" || name == "--listen") {
      // The option's values so far, in order: this occurrence is the next.
      const LineChoice::Kind kind = name == "--device" ? LineChoice::Kind::kDevice : LineChoice::Kind::kListen;
      const std::vector<std::string>& names = kind == LineChoice::Kind::kDevice ? options.devices : options.listens;
      const auto taken = std::ranges::count_if(options.lines, [&](const LineChoice& line) { return line.kind == kind; });
      options.lines.push_back({kind, names.at(static_cast<size_t>(taken))});
    }
  }
  const size_t readers = options.Readers();
  if (app.count("--scenario") > 0) {
    // --state with a scenario saves the field the scenario leaves; the
    // scenario alone names where it starts.
    for (const char* other : {"--field", "--card", "--replay"}) {
      if (app.count(other) > 0) return std::string(other) + " and --scenario both name the field: give one of them";
    }
  }
  if (app.count("--replay") > 0) {
    // The record answers: the reader's field, faults and randoms would go unused.
    for (const char* other :
         {"--field", "--state", "--card", "--no-psam", "--silent", "--late", "--wrong-sequence", "--seed"}) {
      if (app.count(other) > 0) {
        return std::string("--replay answers from the record alone: ") + other + " cannot apply";
      }
    }
    if (readers > 1) return "--replay answers one reader from its record";
  }
  if (app.count("--any-sequence") > 0 && app.count("--replay") == 0) {
    return "--any-sequence applies to a replay (--replay)";
  }
  if (app.count("--http") > 0) {
    options.httpAddress = panel::ParseHttpAddress(options.http);
    if (!options.httpAddress) return "--http takes HOST:PORT, [IPv6]:PORT or PORT, not " + options.http;
  }
  if (app.count("--take-over") > 0 && app.count("--listen") == 0) return "--take-over applies to a TCP port (--listen)";
  if (app.count("--field") > 0 && app.count("--state") > 0) {
    return "--field and --state both name the field: copy the field file to the state file to start from it";
  }
  if (app.count("--field") > 0 && app.count("--card") > 0) {
    return "--card chooses the card of the default field, and --field names another field";
  }
  for (const auto& [option, given, once] : {std::tuple{"--field", options.fields.size(), false},
                                            std::tuple{"--scenario", options.scenarios.size(), false},
                                            std::tuple{"--state", options.states.size(), true},
                                            std::tuple{"--record", options.records.size(), true}}) {
    if (std::string refused = CountRefused(option, given, readers, once); !refused.empty()) return refused;
  }
  if (std::set<std::string>(options.states.begin(), options.states.end()).size() != options.states.size()) {
    return "--state names the same file for two readers: each reader saves its own";
  }
  if (std::set<std::string>(options.records.begin(), options.records.end()).size() != options.records.size()) {
    return "--record names the same file for two readers: each reader records its own";
  }
  if (app.count("--card") > 0) {
    for (const std::string& state : options.states) {
      if (std::filesystem::exists(state)) {
        return "--card chooses the card of a new state file, and the state file already holds the field";
      }
    }
  }
  return {};
}

}  // namespace vqsim::program
