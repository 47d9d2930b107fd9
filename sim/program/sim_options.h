#pragma once
// vqhw-sim's command line: its options, those that cannot go together, and
// the readers it names, each on its own line.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "sim/program/open_line.h"
#include "sim/panel/http_address.h"
#include "sim/program/reader_setup.h"

namespace vqsim::program {

struct SimOptions {
  ReaderOptions common;            // what every reader takes: faults, timing, the default card
  std::vector<LineChoice> lines;   // a reader each, in the order named; none: one on DefaultLine()
  std::vector<std::string> devices;  // as --device names them
  std::vector<std::string> listens;  // as --listen names them
  std::vector<std::string> fields;     // one for every reader, or one a reader
  std::vector<std::string> scenarios;  // the same
  std::vector<std::string> states;     // one a reader
  std::vector<std::string> records;    // one a reader
  bool log = false;
  bool takeOver = false;      // a new client of a TCP port takes it over
  std::string replayFile;     // a session record to answer from
  bool anySequence = false;   // the replay takes commands of any sequence number
  std::string controlPath;    // the control socket to serve
  std::string http;           // where to serve the panel (HOST:PORT), empty: nowhere
  std::optional<panel::HttpAddress> httpAddress;  // it, parsed by Settle

  // vqhw-sim ctl
  CLI::App* ctl = nullptr;
  std::string ctlSocket;
  int ctlReader = 0;  // 0: none named
  bool ctlJson = false;  // state --json
  std::vector<std::string> ctlWords;

  size_t Readers() const { return lines.empty() ? 1 : lines.size(); }
  // What reader `index` (from 0) takes of the lists.
  ReaderOptions ForReader(size_t index) const;
};

void DefineOptions(CLI::App& app, SimOptions& options);
// After parsing: the lines in the order they were named, and the options
// that cannot go together refused with the reason (empty when they can).
std::string Settle(const CLI::App& app, SimOptions& options);

}  // namespace vqsim::program
