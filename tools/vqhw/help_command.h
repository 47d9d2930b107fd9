#pragma once
// `vqhw help [COMMAND...]`: the help of the tool or of one command, as
// --help shows it. Every command's help also lists the global options,
// which go before the command.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "vqhw/output.h"

namespace vqtool {

class HelpCommand {
 public:
  // Adds `help` to the app and the global options to the help of every command; call it last.
  explicit HelpCommand(CLI::App& app);
  bool Chosen() const { return command_->parsed(); }
  // Prints the help asked for; returns the exit code (64 for a command that is not there).
  int Show(Output& out) const;

 private:
  CLI::App& app_;
  CLI::App* command_;
  std::vector<std::string> words_;
};

}  // namespace vqtool
