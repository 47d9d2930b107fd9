#include <cstdlib>
#include <system_error>

#include "shared/exit_codes.h"
#include "sim/hosts/pty_host.h"
#include "vqhw/tool_error.h"
#include "vqhw/virtual_line.h"

namespace vqtool {

void PointPortAt(int port, const std::string& name) {
  ::setenv(("VQHW_COM" + std::to_string(port)).c_str(), name.c_str(), 1);
}

std::unique_ptr<vqsim::LineHost> ServeVirtualReader(vqsim::VirtualReader& reader, vqsim::LineHost::Events events,
                                                    int port) {
  std::unique_ptr<vqsim::PtyHost> host;
  try {
    host = std::make_unique<vqsim::PtyHost>(reader, std::move(events));
  } catch (const std::system_error& error) {
    throw ToolError(vqshared::kExitOsError, std::string("no pseudo-terminal for the virtual reader: ") + error.what());
  }
  PointPortAt(port, host->SlavePath());
  return host;
}

}  // namespace vqtool
