#include <stdlib.h>

#include <system_error>

#include "shared/exit_codes.h"
#include "sim/hosts/tcp/listen_url.h"
#include "sim/hosts/tcp/tcp_host.h"
#include "vqhw/tool_error.h"
#include "vqhw/virtual_line.h"

namespace vqtool {

// _putenv, not SetEnvironmentVariable: the library reads the C runtime's copy.
void PointPortAt(int port, const std::string& name) {
  _putenv(("VQHW_COM" + std::to_string(port) + "=" + name).c_str());
}

std::unique_ptr<vqsim::LineHost> ServeVirtualReader(vqsim::VirtualReader& reader, vqsim::LineHost::Events events,
                                                    int port) {
  vqsim::ListenUrl url;  // socket://127.0.0.1:0: this machine alone, a port the system picks
  std::unique_ptr<vqsim::TcpHost> host;
  try {
    host = std::make_unique<vqsim::TcpHost>(reader, url, std::move(events));
  } catch (const std::system_error& error) {
    throw ToolError(vqshared::kExitOsError, std::string("no loopback port for the virtual reader: ") + error.what());
  }
  PointPortAt(port, host->PortName());
  return host;
}

}  // namespace vqtool
