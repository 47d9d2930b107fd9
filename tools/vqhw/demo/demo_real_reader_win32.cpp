#include "shared/exit_codes.h"
#include "vqhw/demo/demo_line.h"
#include "vqhw/tool_error.h"

namespace vqtool {

// The steps show their frames from a relay in front of the reader, which
// needs a pseudo-terminal.
std::unique_ptr<DemoLine> DemoLine::RealReader(int) {
  throw ToolError(vqshared::kExitUsage,
                  "demo --port: not on Windows, which has no relay to show the frames of a real reader; "
                  "vqhw.exe demo runs on its own virtual lane");
}

}  // namespace vqtool
