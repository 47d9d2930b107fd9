#pragma once
// Where --http serves the panel: HOST:PORT, [IPv6]:PORT, :PORT or PORT
// (the host then 127.0.0.1). The host is an address or "localhost"
// (127.0.0.1); port 0 picks a free one.

#include <optional>
#include <string>

namespace vqsim::panel {

struct HttpAddress {
  std::string host = "127.0.0.1";  // an address, as the system takes it
  int port = 0;
};

// None when `text` is none of those forms.
std::optional<HttpAddress> ParseHttpAddress(const std::string& text);

}  // namespace vqsim::panel
