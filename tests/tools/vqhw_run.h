#pragma once
// Runs vqhw with the given arguments; its JSON document when it printed one.

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tool_process.h"

namespace vqtest {

// The virtual reader answers at once: these runs test what the tool says,
// not its time. A run without the built-in reader, or of demo with its own
// lane, would refuse the timing option.
inline ProgramRun Vqhw(std::vector<std::string> arguments) {
  const auto named = [&](const char* word) { return std::ranges::find(arguments, word) != arguments.end(); };
  const bool builtIn = named("--sim") || named("--sim-field") || named("--sim-state");
  if (builtIn && !named("demo")) arguments.insert(arguments.begin(), {"--sim-timing", "instant"});
  arguments.insert(arguments.begin(), VQHW_TOOL);
  return RunProgram(std::move(arguments));
}

// The document of a --json run, or a discarded value when stdout is no JSON.
inline nlohmann::json Document(const ProgramRun& run) {
  return nlohmann::json::parse(run.out, nullptr, false);
}

inline std::string Example(const std::string& name) { return std::string(VQHW_EXAMPLES_DIR) + "/" + name; }

}  // namespace vqtest
