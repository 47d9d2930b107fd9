#pragma once
// Runs vqhw with the given arguments; its JSON document when it printed one.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tool_process.h"

namespace vqtest {

// The virtual reader answers at once: these runs test what the tool says, not its time.
inline ProgramRun Vqhw(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {VQHW_TOOL, "--sim-timing", "instant"});
  return RunProgram(std::move(arguments));
}

// The document of a --json run, or a discarded value when stdout is no JSON.
inline nlohmann::json Document(const ProgramRun& run) {
  return nlohmann::json::parse(run.out, nullptr, false);
}

inline std::string Example(const std::string& name) { return std::string(VQHW_EXAMPLES_DIR) + "/" + name; }

}  // namespace vqtest
