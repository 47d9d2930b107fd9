#include "vqhw/help_command.h"

#include <cstdio>

#include "shared/command_line.h"

namespace vqtool {

namespace {

// The global options as lines, from the app's own options, so they never disagree.
std::string GlobalOptionsText(const CLI::App& app) {
  std::string text = "Global options (before the command, e.g. vqhw --sim read 4):";
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_lnames().empty() || option->get_lnames().front() == "help") continue;
    std::string name = option->get_name(false, true);
    if (option->get_type_size() != 0) name += " " + option->get_type_name();
    char line[160];
    std::snprintf(line, sizeof line, "\n  %-24s %s", name.c_str(), option->get_description().c_str());
    text += line;
  }
  return text;
}

void AddFooters(CLI::App& command, const std::string& footer) {
  for (CLI::App* sub : command.get_subcommands([](CLI::App*) { return true; })) {
    sub->footer(footer);
    AddFooters(*sub, footer);
  }
}

}  // namespace

HelpCommand::HelpCommand(CLI::App& app) : app_(app) {
  command_ = app.add_subcommand("help", "the help of vqhw or of a command, e.g. vqhw help read");
  command_->add_option("command", words_, "the command, e.g. read, or apdu sam");
  AddFooters(app, GlobalOptionsText(app));
}

int HelpCommand::Show(Output& out) const {
  const CLI::App* target = &app_;
  std::string path = app_.get_name();
  for (const std::string& word : words_) {
    const CLI::App* next = nullptr;
    for (const CLI::App* sub : target->get_subcommands([](const CLI::App*) { return true; })) {
      if (sub->get_name() == word) next = sub;
    }
    if (next == nullptr) {
      std::vector<std::string> names;
      for (const CLI::App* sub : target->get_subcommands([](const CLI::App*) { return true; })) {
        names.push_back(sub->get_name());
      }
      const std::string nearest = vqshared::NearestWord(word, names);
      return out.UsageError("help: no command \"" + path + " " + word + "\"" +
                            (nearest.empty() ? "" : "; did you mean \"" + nearest + "\"?"));
    }
    target = next;
    path += " " + word;
  }
  // The formatter itself: the app's own help would show the chosen `help` command.
  std::fputs(target->get_formatter()->make_help(target, path, CLI::AppFormatMode::Normal).c_str(), stdout);
  return 0;
}

}  // namespace vqtool
