// The kinds of port, chosen by the port's name: a URL names its scheme
// here, anything else is a device. This table is the one place a new kind
// of port is added.

#include <cstring>
#include <string>

#include "serial/net/endpoint.h"
#include "serial/ports/device_port.h"
#include "serial/ports/network_port.h"
#include "util/trace.h"

namespace vqhw {

namespace {

struct Scheme {
  const char* name;
  std::unique_ptr<LineProtocol> (*protocol)();
};

constexpr Scheme kSchemes[] = {
    {"socket", MakeRawLine},
    {"rfc2217", MakeRfc2217Line},
};

}  // namespace

ReaderStatus OpenPort(const char* name, const LineSettings& settings, std::unique_ptr<Port>& port) {
  net::Endpoint endpoint;
  std::string why;
  switch (net::ParseUrl(name, endpoint, why)) {
    case net::UrlVerdict::kNotUrl:
      return OpenDevicePort(name, settings, port);
    case net::UrlVerdict::kMalformed:
      trace::Note(("port name refused: " + std::string(name) + ": " + why).c_str());
      return status::kCannotOpen;
    case net::UrlVerdict::kUrl:
      break;
  }
  for (const Scheme& scheme : kSchemes) {
    if (endpoint.scheme == scheme.name) return OpenNetworkPort(endpoint, scheme.protocol, settings, port);
  }
  trace::Note(("port name refused: " + std::string(name) +
               ": unknown scheme (socket://HOST:PORT and rfc2217://HOST:PORT are known)")
                  .c_str());
  return status::kCannotOpen;
}

}  // namespace vqhw
