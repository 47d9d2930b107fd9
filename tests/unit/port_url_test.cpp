// Port names that are URLs: what is taken as a network endpoint, what is a
// device, and what is refused before any connection is tried.

#include <gtest/gtest.h>

#include <string>

#include "serial/net/endpoint.h"

namespace vqhw::net {
namespace {

TEST(PortUrl, TakesAddressesNamesAndBracketedIpv6) {
  struct Case {
    const char* name;
    const char* scheme;
    const char* host;
    const char* port;
  } cases[] = {
      {"socket://127.0.0.1:4001", "socket", "127.0.0.1", "4001"},
      {"RFC2217://[::1]:23", "rfc2217", "::1", "23"},
      {"rfc2217://lane-07.plaza:65535", "rfc2217", "lane-07.plaza", "65535"},
      {"socket://[fe80::1%eth0]:4001", "socket", "fe80::1%eth0", "4001"},
      {"socket://[::ffff:127.0.0.1]:1", "socket", "::ffff:127.0.0.1", "1"},
      {"telnet://localhost:4001", "telnet", "localhost", "4001"},  // known or not is the table's word
  };
  for (const Case& c : cases) {
    Endpoint endpoint;
    std::string why;
    ASSERT_EQ(ParseUrl(c.name, endpoint, why), UrlVerdict::kUrl) << c.name << ": " << why;
    EXPECT_EQ(endpoint.scheme, c.scheme) << c.name;
    EXPECT_EQ(endpoint.host, c.host) << c.name;
    EXPECT_EQ(endpoint.port, c.port) << c.name;
  }
}

TEST(PortUrl, NamesWithoutASchemeAreDevices) {
  for (const char* name : {"/dev/ttyUSB0", "\\\\.\\COM12", "COM3", "", "socket:/host:1"}) {
    Endpoint endpoint;
    std::string why;
    EXPECT_EQ(ParseUrl(name, endpoint, why), UrlVerdict::kNotUrl) << name;
  }
}

TEST(PortUrl, RefusesWhatCannotBeAnEndpointAndSaysWhy) {
  for (const char* name :
       {"socket://", "socket://host", "socket://:4001", "socket://host:", "socket://host:0",
        "socket://host:65536", "socket://host:4001x", "socket://host:+401", "socket://host:000004001",
        "socket://host:4001/path", "socket://host:4001?timeout=3", "socket://user@host:4001",
        "socket://::1:4001", "socket://[::1]4001", "socket://[::1", "socket://[]:4001",
        "socket://[nothex]:4001", "socket://ho st:4001", "socket://-host:4001", "://host:4001",
        "so cket://host:4001"}) {
    Endpoint endpoint;
    std::string why;
    EXPECT_EQ(ParseUrl(name, endpoint, why), UrlVerdict::kMalformed) << name;
    EXPECT_FALSE(why.empty()) << name;
  }
}

}  // namespace
}  // namespace vqhw::net
