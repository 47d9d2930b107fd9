#pragma once
// Where vqhw-sim listens for a lane, as a URL in the forms a lane names
// its port with: socket://HOST:PORT (the reader's bytes as they are) or
// rfc2217://HOST:PORT (telnet with the com port option). HOST may be left
// out (socket://:4001): 127.0.0.1, this machine alone; an IPv6 address
// goes in brackets ([::1]). PORT 0 lets the system choose a free port.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vqsim {

struct ListenUrl {
  enum class Scheme { kSocket, kRfc2217 };
  static constexpr char kDefaultHost[] = "127.0.0.1";

  Scheme scheme = Scheme::kSocket;
  std::string host = kDefaultHost;  // without brackets
  uint16_t port = 0;

  // Refused with the reason in `why` (e.g. "no port: socket://HOST:PORT").
  static std::optional<ListenUrl> Parse(std::string_view text, std::string& why);

  // The URL a lane puts in VQHW_COM<n>: this scheme, `address` and `boundPort`.
  std::string Text(const std::string& address, uint16_t boundPort) const;
};

}  // namespace vqsim
