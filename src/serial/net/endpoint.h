#pragma once
// A port name that is a URL: `socket://HOST:PORT` (raw TCP) or
// `rfc2217://HOST:PORT` (telnet with the COM-PORT option), as serial
// libraries have long spelt them. HOST is an IPv4 address, an IPv6 address
// in brackets, or a name.

#include <cstdint>
#include <string>

namespace vqhw::net {

struct Endpoint {
  std::string scheme;  // in lower case
  std::string host;    // without the brackets of an IPv6 address
  std::string port;    // the decimal number as given, 1..65535
};

enum class UrlVerdict {
  kNotUrl,     // no "://": the name of a device
  kUrl,        // scheme, host and port are sound
  kMalformed,  // a URL whose host or port cannot be right
};

// Splits `name`; on kMalformed, `why` says what is wrong.
UrlVerdict ParseUrl(const char* name, Endpoint& endpoint, std::string& why);

}  // namespace vqhw::net
