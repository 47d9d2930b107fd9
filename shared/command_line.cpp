#include "shared/command_line.h"

#include <algorithm>
#include <charconv>
#include <numeric>

namespace vqshared {

namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The command the parser got to: the last subcommand chosen on the way down.
const CLI::App* Deepest(const CLI::App& app) {
  const CLI::App* at = &app;
  while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
  return at;
}

// "apdu sam" for that command, empty for the program itself (whose name starts every error line).
std::string CommandPath(const CLI::App* command) {
  std::string path;
  for (const CLI::App* at = command; at->get_parent() != nullptr; at = at->get_parent()) {
    path = path.empty() ? at->get_name() : at->get_name() + " " + path;
  }
  return path;
}

std::string Prefix(const CLI::App* command) {
  const std::string path = CommandPath(command);
  return path.empty() ? path : path + ": ";
}

// "vqhw apdu sam --help", as people type it.
std::string HelpCall(const CLI::App* command) {
  const CLI::App* root = command;
  while (root->get_parent() != nullptr) root = root->get_parent();
  const std::string path = CommandPath(command);
  return root->get_name() + (path.empty() ? "" : " " + path) + " --help";
}

std::vector<std::string> SubcommandNames(const CLI::App* command) {
  std::vector<std::string> names;
  for (const CLI::App* sub : command->get_subcommands([](const CLI::App*) { return true; })) {
    names.push_back(sub->get_name());
  }
  return names;
}

// The long and short names of the options of the command and of those above it.
std::vector<std::string> OptionNames(const CLI::App* command) {
  std::vector<std::string> names;
  for (const CLI::App* at = command; at != nullptr; at = at->get_parent()) {
    for (const CLI::Option* option : at->get_options()) {
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
      for (const std::string& name : option->get_snames()) names.push_back("-" + name);
    }
  }
  return names;
}

std::string Join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

std::string UnknownWord(const CLI::App* command, const std::string& word) {
  const bool option = word.starts_with("-");
  const std::vector<std::string> candidates = option ? OptionNames(command) : SubcommandNames(command);
  if (!option && candidates.empty()) {
    return Prefix(command) + Quoted(word) + " is not one of its arguments; " + HelpCall(command) + " shows them";
  }
  std::string text = Prefix(command) + (option ? "unknown option " : "unknown command ") + Quoted(word);
  if (const std::string nearest = NearestWord(word, candidates); !nearest.empty()) {
    text += "; did you mean " + Quoted(nearest) + "?";
  } else if (!option) {
    text += "; the commands are " + Join(candidates);
  } else {
    text += "; " + HelpCall(command) + " lists the options";
  }
  return text;
}

// The option that a parser message starting "NAME: ..." names, in the command or above it.
const CLI::Option* NamedOption(const CLI::App* command, const std::string& message, std::string& rest) {
  const size_t colon = message.find(": ");
  if (colon == std::string::npos) return nullptr;
  const std::string name = message.substr(0, colon);
  rest = message.substr(colon + 2);
  for (const CLI::App* at = command; at != nullptr; at = at->get_parent()) {
    if (const CLI::Option* option = at->get_option_no_throw(name)) return option;
  }
  return nullptr;
}

std::string Described(const CLI::Option* option) {
  const std::string name = option->get_name(false, true);
  return option->get_description().empty() ? name : name + " (" + option->get_description() + ")";
}

}  // namespace

CLI::Validator WholeNumber(long long lowest, long long highest, const std::string& what) {
  const std::string range = what + " from " + std::to_string(lowest) + " to " + std::to_string(highest);
  return CLI::Validator(
      [lowest, highest, range](std::string& text) -> std::string {
        long long value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error == std::errc{} && stop == end && value >= lowest && value <= highest) return {};
        return Quoted(text) + " is not " + range;
      },
      range);
}

CLI::Validator OneOf(const std::vector<std::string>& words, const std::string& what) {
  const std::string accepted = what + ": one of " + Join(words);
  return CLI::Validator(
      [words, accepted](std::string& text) -> std::string {
        if (std::ranges::find(words, text) != words.end()) return {};
        return Quoted(text) + " is not " + accepted;
      },
      accepted);
}

std::string NearestWord(std::string_view word, const std::vector<std::string>& candidates) {
  std::string nearest;
  size_t best = std::string::npos;
  for (const std::string& candidate : candidates) {
    const size_t distance = candidate.starts_with(word) && !word.empty() ? 1 : EditDistance(word, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  // A slip is a third of the word at most ("durnp" for "dump"), and at least one edit.
  return best <= std::max<size_t>(1, (word.size() + 1) / 3) ? nearest : std::string();
}

std::string DescribeParseError(const CLI::App& app, const CLI::ParseError& error) {
  const CLI::App* command = Deepest(app);
  const std::vector<std::string> leftover = app.remaining(true);
  if (!leftover.empty()) return UnknownWord(command, leftover.front());
  const std::string message = error.what();
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    for (const CLI::Option* option : command->get_options()) {
      if (option->get_required() && option->count() == 0) return Prefix(command) + "needs " + Described(option);
    }
    const std::vector<std::string> names = SubcommandNames(command);
    if (!names.empty()) return Prefix(command) + "a command is needed: one of " + Join(names);
  }
  std::string rest;
  if (const CLI::Option* option = NamedOption(command, message, rest)) {
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
      return Prefix(command) + option->get_name(false, true) + ": " + rest;
    }
    return Prefix(command) + Described(option) + " needs one value";
  }
  return Prefix(command) + "the command line is not understood; " + HelpCall(command) + " shows it";
}

}  // namespace vqshared
