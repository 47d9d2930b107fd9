// vqhw: ask the reader what lane engineers ask it, on a real reader or on
// the built-in virtual one. Every subcommand exists twice: at the top, and
// under `trace`, which shows every frame on the line as it passes.

#include <CLI/CLI.hpp>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "VqhwLib.h"
#include "shared/command_line.h"
#include "shared/exit_codes.h"
#include "vqhw/commands.h"
#include "vqhw/frame_record.h"
#include "vqhw/frame_trace.h"
#include "vqhw/help_command.h"
#include "vqhw/option_rules.h"
#include "vqhw/output.h"
#include "vqhw/reader_session.h"
#include "vqhw/text.h"
#include "vqhw/tool_error.h"

namespace {

using namespace vqtool;

void AddEveryCommand(CLI::App& parent, CommandRegistry& registry) {
  AddConnectionCommands(parent, registry);
  AddCardCommands(parent, registry);
  AddDumpCommands(parent, registry);
  AddFileCommands(parent, registry);
  AddApduCommands(parent, registry);
}

void AddGlobalOptions(CLI::App& app, SessionOptions& options, bool& json) {
  app.add_option("--port", options.port, "serial port number, 1 = COM1")
      ->check(vqshared::WholeNumber(1, 99, "a port number"));
  app.add_option("--device", options.device, "device path of the port (sets VQHW_COM<port>)");
  app.add_flag("--sim", options.simulate, "use the built-in virtual reader (on a pseudo-terminal; on Windows a loopback TCP port)");
  app.add_option("--sim-field", options.fieldFile,
                 "the virtual reader's cards and PSAM from a JSON field file (implies --sim)");
  app.add_option("--sim-state", options.stateFile,
                 "the virtual reader's field from this file when it is there, saved back into it at the end "
                 "(implies --sim)");
  app.add_option("--sim-card", options.card,
                 "the card of the default field: mifare-one (default) or cpu; the PSAM is always there")
      ->check(vqshared::OneOf({"mifare-one", "cpu"}, "a card kind"));
  app.add_option("--sim-timing", options.timing, "the virtual reader's timing: real (default) or instant")
      ->check(vqshared::OneOf({"real", "instant"}, "a timing"));
  app.add_flag("--json", json, "machine-readable output: one JSON document on stdout");
  app.set_version_flag("--version", "vqhw " VQHW_VERSION_STRING);
}

// The trace's own options: a session record for `vqhw-sim --replay`, and each frame's bytes.
struct TraceOptions {
  std::string recordFile;
  bool raw = false;
};

int Run(const CLI::App& app, const CommandRegistry::Entry& chosen, SessionOptions options,
        const TraceOptions& traceOptions, Output& out) {
  const std::string refused = RefusedOptions(app, chosen.command->get_name(), chosen.reach);
  if (!refused.empty()) return out.UsageError(refused);
  options.simulate = options.simulate || !options.fieldFile.empty() || !options.stateFile.empty();
  FrameTrace frames(out);
  frames.ShowRaw(traceOptions.raw);
  std::unique_ptr<FrameRecord> record;
  int exitCode = 0;
  try {
    if (!traceOptions.recordFile.empty()) {
      record = std::make_unique<FrameRecord>(traceOptions.recordFile);
      frames.RecordTo(record.get());
    }
    ReaderSession session(options, chosen.traced ? &frames : nullptr);
    Context context{out, session.Port()};
    exitCode = chosen.run(context);
    session.SaveState();
  } catch (const ToolError& error) {
    exitCode = out.Error(error.what(), exitCode == 0 ? error.ExitCode() : exitCode);
  } catch (const std::exception& error) {
    exitCode = out.Error(error.what(), vqshared::kExitOsError);
  }
  try {
    if (chosen.traced) frames.Finish();
  } catch (const ToolError& error) {  // the record could not be written in full
    exitCode = out.Error(error.what(), exitCode == 0 ? error.ExitCode() : exitCode);
  }
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  const Utf8Console console;
  CLI::App app{std::string("vqhw: talk to the lane's contactless card reader") + ReaderSession::PlatformNote(), "vqhw"};
  app.footer(vqshared::ExitCodeText());
  SessionOptions options;
  bool json = false;
  AddGlobalOptions(app, options, json);
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
  const HelpCommand help(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& asked) {
    return app.exit(asked);
  } catch (const CLI::CallForVersion& asked) {
    return app.exit(asked);
  } catch (const CLI::ParseError& error) {
    Output out(json);
    return out.Finish(out.UsageError(vqshared::DescribeParseError(app, error)));
  }
  Output out(json);
  if (help.Chosen()) {
    const std::string refused = RefusedOptions(app, "help", Reach::kNoReader);
    return out.Finish(refused.empty() ? help.Show(out) : out.UsageError(refused));
  }
  const CommandRegistry::Entry* chosen = CommandRegistry::Chosen(registries);
  if (chosen == nullptr) return out.Finish(out.UsageError("vqhw needs a command; vqhw help lists them"));
  return out.Finish(Run(app, *chosen, options, TraceOptions{recordFile, raw}, out));
}
