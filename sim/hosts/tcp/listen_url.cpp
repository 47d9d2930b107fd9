#include "sim/hosts/tcp/listen_url.h"

#include <algorithm>
#include <cctype>

namespace vqsim {

namespace {

constexpr std::string_view kSeparator = "://";
constexpr char kForms[] = "socket://HOST:PORT or rfc2217://HOST:PORT";

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::optional<uint16_t> PortNumber(std::string_view text) {
  if (text.empty() || text.size() > 5 || !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  unsigned long value = 0;
  for (char c : text) value = value * 10 + static_cast<unsigned long>(c - '0');
  if (value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

}  // namespace

std::optional<ListenUrl> ListenUrl::Parse(std::string_view text, std::string& why) {
  const size_t separator = text.find(kSeparator);
  if (separator == std::string_view::npos) {
    why = "not a URL: " + std::string(kForms);
    return std::nullopt;
  }
  ListenUrl url;
  const std::string scheme = Lower(text.substr(0, separator));
  if (scheme == "socket") {
    url.scheme = Scheme::kSocket;
  } else if (scheme == "rfc2217") {
    url.scheme = Scheme::kRfc2217;
  } else {
    why = "the scheme \"" + scheme + "\" is not one of " + kForms;
    return std::nullopt;
  }
  std::string_view rest = text.substr(separator + kSeparator.size());
  if (rest.find_first_of("/?#") != std::string_view::npos) {
    why = "nothing may follow the port (no path, no options): " + std::string(kForms);
    return std::nullopt;
  }
  std::string_view host;
  std::string_view port;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      why = "an address in brackets is followed by :PORT, as in rfc2217://[::1]:4001";
      return std::nullopt;
    }
    host = rest.substr(1, close - 1);
    port = rest.substr(close + 2);
    if (host.empty()) {
      why = "empty brackets name no address";
      return std::nullopt;
    }
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) {
      why = "no port: " + std::string(kForms) + " (PORT 0: any free port)";
      return std::nullopt;
    }
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) {
      why = "an IPv6 address goes in brackets, as in socket://[::1]:4001";
      return std::nullopt;
    }
  }
  const std::optional<uint16_t> number = PortNumber(port);
  if (!number) {
    why = "\"" + std::string(port) + "\" is not a port number from 0 to 65535";
    return std::nullopt;
  }
  url.port = *number;
  if (!host.empty()) url.host = std::string(host);
  return url;
}

std::string ListenUrl::Text(const std::string& address, uint16_t boundPort) const {
  const std::string shown = address.find(':') != std::string::npos ? "[" + address + "]" : address;
  return std::string(scheme == Scheme::kSocket ? "socket" : "rfc2217") + "://" + shown + ":" + std::to_string(boundPort);
}

}  // namespace vqsim
