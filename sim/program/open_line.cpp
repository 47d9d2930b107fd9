#include "sim/program/open_line.h"

#include <cstdio>
#include <system_error>

#include "shared/exit_codes.h"
#include "sim/hosts/serial_device_host.h"
#include "sim/hosts/tcp/listen_url.h"
#include "sim/hosts/tcp/tcp_host.h"
#include "sim/program/failure.h"

namespace vqsim::program {

std::string CheckListenUrl(const std::string& url) {
  std::string why;
  return ListenUrl::Parse(url, why) ? std::string() : "\"" + url + "\": " + why;
}

std::unique_ptr<LineHost> OpenLine(const LineChoice& line, VirtualReader& reader, LineHost::Events events,
                                   bool takeOver) {
  switch (line.kind) {
    case LineChoice::Kind::kPty:
      return OpenPtyLine(reader, std::move(events));
    case LineChoice::Kind::kDevice:
      try {
        return std::make_unique<SerialDeviceHost>(reader, line.name, std::move(events));
      } catch (const std::system_error& error) {
        throw Failure{vqshared::kExitNoDevice, line.name + ": cannot be opened: " + error.code().message()};
      }
    case LineChoice::Kind::kListen:
      break;
  }
  std::string why;
  const std::optional<ListenUrl> url = ListenUrl::Parse(line.name, why);
  if (!url) throw Failure{vqshared::kExitUsage, "\"" + line.name + "\": " + why};
  std::unique_ptr<TcpHost> host;
  try {
    host = std::make_unique<TcpHost>(reader, *url, std::move(events), takeOver);
  } catch (const std::system_error& error) {
    throw Failure{vqshared::kExitNoDevice, line.name + ": cannot listen on " + error.what()};
  }
  if (!host->IsLoopback()) {
    std::fprintf(stderr, "vqhw-sim: %s: anyone who reaches this port can drive the reader\n",
                 host->PortName().c_str());
  }
  return host;
}

}  // namespace vqsim::program
