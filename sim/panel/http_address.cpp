#include "sim/panel/http_address.h"

#include <charconv>

namespace vqsim::panel {

std::optional<HttpAddress> ParseHttpAddress(const std::string& text) {
  HttpAddress address;
  std::string port = text;
  if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
    std::string host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.starts_with('[') && host.ends_with(']')) {
      host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
      return std::nullopt;  // an IPv6 address goes in brackets
    }
    if (host == "localhost") host = "127.0.0.1";
    if (!host.empty()) address.host = host;
  }
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), address.port);
  if (port.empty() || error != std::errc{} || end != port.data() + port.size() || address.port < 0 ||
      address.port > 65535) {
    return std::nullopt;
  }
  return address;
}

}  // namespace vqsim::panel
