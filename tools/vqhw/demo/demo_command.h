#pragma once
// `vqhw demo`, the main job: a lane transaction for a MIFARE ONE card and
// one for a CPU card, on the built-in virtual lane, or with --port on a
// real reader whose field holds the cards.

#include <CLI/CLI.hpp>

#include "vqhw/commands.h"

namespace vqtool {

void AddDemoCommand(CLI::App& parent, CommandRegistry& registry);

}  // namespace vqtool
