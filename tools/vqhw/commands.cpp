#include "vqhw/commands.h"

namespace vqtool {

CLI::App* CommandRegistry::Add(CLI::App& parent, const std::string& name,
                               const std::string& description, Run run, bool alwaysTraced, Reach reach) {
  CLI::App* command = parent.add_subcommand(name, description);
  entries_.push_back({command, std::move(run), traced_ || alwaysTraced, reach});
  return command;
}

const CommandRegistry::Entry* CommandRegistry::Chosen(const std::vector<CommandRegistry>& registries) {
  for (const CommandRegistry& registry : registries) {
    for (const Entry& entry : registry.entries_) {
      if (entry.command->parsed()) return &entry;
    }
  }
  return nullptr;
}

}  // namespace vqtool
