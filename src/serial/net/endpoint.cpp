#include "serial/net/endpoint.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vqhw::net {

namespace {

bool IsSchemeCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

// Letters, digits, '-' and '.' in a name; hex digits, ':' and '.' (an IPv4
// tail) in an IPv6 address, with a zone after '%'.
bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.';
}
bool IsIpv6Character(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
}

bool IsPortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const long value = std::stol(text);
  return value >= 1 && value <= 65535;
}

}  // namespace

UrlVerdict ParseUrl(const char* name, Endpoint& endpoint, std::string& why) {
  const char* separator = std::strstr(name, "://");
  if (separator == nullptr) return UrlVerdict::kNotUrl;
  endpoint = Endpoint{};
  endpoint.scheme.assign(name, separator);
  if (endpoint.scheme.empty() ||
      !std::all_of(endpoint.scheme.begin(), endpoint.scheme.end(), IsSchemeCharacter)) {
    why = "the scheme before \"://\" is empty or holds other characters than letters and digits";
    return UrlVerdict::kMalformed;
  }
  std::transform(endpoint.scheme.begin(), endpoint.scheme.end(), endpoint.scheme.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });

  const std::string rest = separator + 3;
  if (rest.find_first_of("/?#@") != std::string::npos) {
    why = "a path, options, a fragment or a user may not follow HOST:PORT";
    return UrlVerdict::kMalformed;
  }
  std::string::size_type colon;
  if (!rest.empty() && rest[0] == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) {
      why = "an IPv6 address opened with '[' is not closed with ']'";
      return UrlVerdict::kMalformed;
    }
    endpoint.host = rest.substr(1, close - 1);
    const auto zone = endpoint.host.find('%');
    const std::string address = endpoint.host.substr(0, zone);
    if (address.find(':') == std::string::npos ||
        !std::all_of(address.begin(), address.end(), IsIpv6Character) ||
        (zone != std::string::npos &&
         !std::all_of(endpoint.host.begin() + static_cast<long>(zone) + 1, endpoint.host.end(),
                      IsNameCharacter))) {
      why = "the address in brackets is no IPv6 address";
      return UrlVerdict::kMalformed;
    }
    colon = close + 1;
    if (colon >= rest.size() || rest[colon] != ':') {
      why = "the port is missing: write [ADDRESS]:PORT";
      return UrlVerdict::kMalformed;
    }
  } else {
    colon = rest.rfind(':');
    if (colon == std::string::npos) {
      why = "the port is missing: write HOST:PORT";
      return UrlVerdict::kMalformed;
    }
    endpoint.host = rest.substr(0, colon);
    if (endpoint.host.find(':') != std::string::npos) {
      why = "an IPv6 address goes in brackets: [ADDRESS]:PORT";
      return UrlVerdict::kMalformed;
    }
    if (endpoint.host.empty() ||
        !std::all_of(endpoint.host.begin(), endpoint.host.end(), IsNameCharacter) ||
        endpoint.host.front() == '-' || endpoint.host.front() == '.') {
      why = "the host is empty or no address or name";
      return UrlVerdict::kMalformed;
    }
  }
  endpoint.port = rest.substr(colon + 1);
  if (!IsPortNumber(endpoint.port)) {
    why = "the port is no number from 1 to 65535";
    return UrlVerdict::kMalformed;
  }
  return UrlVerdict::kUrl;
}

}  // namespace vqhw::net
