#pragma once
// The subcommands. Each family adds its own to a parent (the top level, or
// `trace`, which runs any of them with every frame shown) and tells the
// registry what each does when chosen.

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

#include "vqhw/output.h"

namespace vqtool {

struct Context {
  Output& out;
  int port;
};

// Which reader a command talks to: the one the global options name, its
// own virtual lane (demo), or none (status): the reader options of the
// last two are refused, never ignored.
enum class Reach { kNamedReader, kOwnLane, kNoReader };

class CommandRegistry {
 public:
  using Run = std::function<int(Context&)>;
  struct Entry {
    CLI::App* command;
    Run run;
    bool traced;  // chosen under `trace`, or shows its frames anyway
    Reach reach;
  };

  explicit CommandRegistry(bool traced) : traced_(traced) {}
  // Adds a subcommand that does `run`; `alwaysTraced` for one that shows its frames anyway.
  CLI::App* Add(CLI::App& parent, const std::string& name, const std::string& description, Run run,
                bool alwaysTraced = false, Reach reach = Reach::kNamedReader);
  // The one subcommand the command line chose, or null.
  static const Entry* Chosen(const std::vector<CommandRegistry>& registries);

 private:
  bool traced_;
  std::vector<Entry> entries_;
};

// Family by family: connection (info, open, status, demo), the MIFARE ONE
// card (card, read, write, trailer), dump and restore, card files (file
// read|write), and APDUs (apdu pro|sam).
void AddConnectionCommands(CLI::App& parent, CommandRegistry& registry);
void AddCardCommands(CLI::App& parent, CommandRegistry& registry);
void AddDumpCommands(CLI::App& parent, CommandRegistry& registry);  // dump, and restore beside it
void AddRestoreCommand(CLI::App& parent, CommandRegistry& registry);
void AddFileCommands(CLI::App& parent, CommandRegistry& registry);
void AddApduCommands(CLI::App& parent, CommandRegistry& registry);

}  // namespace vqtool
