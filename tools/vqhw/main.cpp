// vqhw: ask the reader what lane engineers ask it, on a real reader or on
// the built-in virtual one. Every subcommand exists twice: at the top, and
// under `trace`, which shows every frame on the line as it passes.

#include <CLI/CLI.hpp>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "vqhw/commands.h"
#include "vqhw/frame_record.h"
#include "vqhw/frame_trace.h"
#include "vqhw/output.h"
#include "vqhw/reader_session.h"
#include "vqhw/text.h"

namespace {

using namespace vqtool;

void AddEveryCommand(CLI::App& parent, CommandRegistry& registry) {
  AddConnectionCommands(parent, registry);
  AddCardCommands(parent, registry);
  AddDumpCommand(parent, registry);
  AddFileCommands(parent, registry);
  AddApduCommands(parent, registry);
}

}  // namespace

int main(int argc, char** argv) {
  const Utf8Console console;
  CLI::App app{std::string("vqhw: talk to the lane's contactless card reader") + ReaderSession::PlatformNote()};
  app.footer(
      "Exit codes: 0 success; N (1..254) the failed status -N, explained by `vqhw status -N` "
      "(101: no card in the field); 255 the time-out or a status beyond -254; 64 a refused command line.");
  SessionOptions options;
  bool json = false;
  app.add_option("--port", options.port, "serial port number, 1 = COM1")->check(CLI::Range(1, 99));
  CLI::Option* device =
      app.add_option("--device", options.device, "device path of the port (sets VQHW_COM<port>)");
  app.add_flag("--sim", options.simulate, "use the built-in virtual reader on a pseudo-terminal")
      ->excludes(device);
  app.add_option("--sim-field", options.fieldFile,
                 "the virtual reader's cards and PSAM from a JSON file (implies --sim)")
      ->check(CLI::ExistingFile)
      ->excludes(device);
  app.add_option("--sim-timing", options.timing, "the virtual reader's timing: real (default) or instant")
      ->check(CLI::IsMember({"real", "instant"}));
  app.add_flag("--json", json, "machine-readable output: one JSON document on stdout");
  app.set_version_flag("--version", "vqhw " VQHW_VERSION_STRING);
  app.require_subcommand(1);
  app.fallthrough();

  std::vector<CommandRegistry> registries{CommandRegistry(false), CommandRegistry(true)};
  AddEveryCommand(app, registries[0]);
  CLI::App* trace = app.add_subcommand("trace", ReaderSession::TraceDescription());
  trace->require_subcommand(1);
  trace->fallthrough();
  AddEveryCommand(*trace, registries[1]);
  // The trace's own options: a session record for `vqhw-sim --replay`, and each frame's bytes.
  std::string recordFile;
  bool raw = false;
  trace->add_option("--record", recordFile, "also write every frame, both ways and timed, to this file");
  trace->add_flag("--raw", raw, "show each frame's bytes too");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kUsageExit;
  }
  if (!options.fieldFile.empty()) options.simulate = true;

  const CommandRegistry::Entry* chosen = CommandRegistry::Chosen(registries);
  Output out(json);
  if (chosen == nullptr) return out.Finish(out.UsageError("no command chosen"));
  if (const std::string why = ReaderSession::Inapplicable(options); !why.empty()) {
    return out.Finish(out.UsageError(why));
  }
  FrameTrace frames(out);
  frames.ShowRaw(raw);
  std::unique_ptr<FrameRecord> record;
  int exitCode = 0;
  try {
    if (!recordFile.empty()) frames.RecordTo((record = std::make_unique<FrameRecord>(recordFile)).get());
    ReaderSession session(options, chosen->traced ? &frames : nullptr);
    Context context{out, session.Port()};
    exitCode = chosen->run(context);
  } catch (const std::exception& error) {
    exitCode = out.Error(error.what(), ExitCodeFor(VQHW_FAILED));
  }
  try {
    if (chosen->traced) frames.Finish();
  } catch (const std::exception& error) {
    exitCode = out.Error(error.what(), ExitCodeFor(VQHW_FAILED));
  }
  return out.Finish(exitCode);
}
