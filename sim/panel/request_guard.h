#pragma once
// Who may drive the panel. A page elsewhere in the user's browser must not
// reach the reader: the Host header must name the address served (against
// DNS rebinding), an Origin must be the panel's own (against cross-site
// requests), a state change must be a POST of JSON (a cross-site form
// cannot send one without asking, and the panel answers no such asking),
// and off loopback every request needs the token printed at start.

#include <optional>
#include <string>
#include <vector>

namespace vqsim::panel {

struct Guarded {
  std::string method;
  std::string target;       // path and query
  std::string host;         // the headers, empty when absent
  std::string origin;
  std::string contentType;
  std::string authorization;
  std::string cookie;
};

struct Refusal {
  int status;  // 400, 401, 403, 405, 415
  std::string message;
};

class RequestGuard {
 public:
  // `address` as served ("127.0.0.1", "::1", "0.0.0.0", ...), `port` the
  // port bound; `token` empty on loopback, where none is needed.
  RequestGuard(std::string address, int port, std::string token);

  std::optional<Refusal> Check(const Guarded& request) const;
  // Whether `target` carries the token as ?token=: the page's first load
  // off loopback, which gets the cookie.
  bool CarriesToken(const std::string& target) const;
  const std::string& Token() const { return token_; }
  // The cookie that carries the token: HttpOnly, SameSite=Strict.
  std::string TokenCookie() const;

  static bool IsLoopback(const std::string& address);

 private:
  bool HostAllowed(const std::string& host) const;
  bool OriginAllowed(const Guarded& request) const;
  bool TokenGiven(const Guarded& request) const;

  std::vector<std::string> hosts_;  // as the Host header names them, lower case
  std::string token_;
};

// A token for an address off loopback: 32 hex digits from the system's randoms.
std::string NewToken();

}  // namespace vqsim::panel
