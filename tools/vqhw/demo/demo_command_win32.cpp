// `vqhw demo` on Windows: refused. The virtual lane needs pseudo-terminals,
// and the purchase's MACs need libcrypto, which the Windows build lacks.

#include "vqhw/demo/demo_command.h"

namespace vqtool {

void AddDemoCommand(CLI::App& parent, CommandRegistry& registry) {
  CLI::App* demo = registry.Add(
      parent, "demo", "the lane demonstration: not in the Windows build (run it with vqhw on Linux)",
      [](Context& context) {
        return context.out.UsageError(
            "demo: not in the Windows build, which has neither the virtual lane nor the purse arithmetic; "
            "run it with vqhw on Linux");
      });
  // Whatever follows is the demo's, kept from the parser: refused as a whole.
  demo->fallthrough(false)->allow_extras();
}

}  // namespace vqtool
