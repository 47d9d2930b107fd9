#pragma once
// The files built into vqhw-sim for the panel: its page ("page/index.html",
// "page/panel.js", "page/panel.css") and the example cards and scenarios
// ("examples/lane.json", "examples/scenarios/power-off.json", ...), from
// sim/panel/page and sim/examples at build time.

#include <span>
#include <string_view>

namespace vqsim::panel {

struct EmbeddedFile {
  std::string_view name;
  std::string_view content;
};

std::span<const EmbeddedFile> EmbeddedFiles();

}  // namespace vqsim::panel
