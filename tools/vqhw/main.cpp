// vqhw: ask the reader what lane engineers ask it, on a real reader or on
// the built-in virtual one. Every subcommand exists twice: at the top, and
// under `trace`, which shows every frame on the line as it passes.

#include <CLI/CLI.hpp>

#include <exception>
#include <vector>

#include "VqhwLib.h"
#include "shared/command_line.h"
#include "shared/exit_codes.h"
#include "vqhw/commands.h"
#include "vqhw/frame_trace.h"
#include "vqhw/help_command.h"
#include "vqhw/option_rules.h"
#include "vqhw/output.h"
#include "vqhw/reader_session.h"
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
  app.add_flag("--sim", options.simulate, "use the built-in virtual reader on a pseudo-terminal");
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

int Run(const CLI::App& app, const CommandRegistry::Entry& chosen, SessionOptions options, Output& out) {
  const std::string refused = RefusedOptions(app, chosen.command->get_name(), chosen.reach);
  if (!refused.empty()) return out.UsageError(refused);
  options.simulate = options.simulate || !options.fieldFile.empty() || !options.stateFile.empty();
  FrameTrace frames(out);
  int exitCode = 0;
  try {
    ReaderSession session(options, chosen.traced ? &frames : nullptr);
    Context context{out, session.Port()};
    exitCode = chosen.run(context);
    session.SaveState();
  } catch (const ToolError& error) {
    exitCode = out.Error(error.what(), exitCode == 0 ? error.ExitCode() : exitCode);
  } catch (const std::exception& error) {
    exitCode = out.Error(error.what(), vqshared::kExitOsError);
  }
  if (chosen.traced) frames.Finish();
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vqhw: talk to the lane's contactless card reader", "vqhw"};
  app.footer(vqshared::ExitCodeText());
  SessionOptions options;
  bool json = false;
  AddGlobalOptions(app, options, json);
  app.require_subcommand(1);
  app.fallthrough();

  std::vector<CommandRegistry> registries{CommandRegistry(false), CommandRegistry(true)};
  AddEveryCommand(app, registries[0]);
  CLI::App* trace = app.add_subcommand("trace", "run any command with every frame on the line shown");
  trace->require_subcommand(1);
  trace->fallthrough();
  AddEveryCommand(*trace, registries[1]);
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
  return out.Finish(Run(app, *chosen, options, out));
}
