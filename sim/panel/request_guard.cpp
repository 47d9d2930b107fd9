#include "sim/panel/request_guard.h"

#include <algorithm>
#include <cctype>
#include <random>

namespace vqsim::panel {

namespace {

std::string Lower(std::string text) {
  std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A constant-time comparison: the token is a secret.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

// The value of `name` in a Cookie header ("a=1; vqhw-token=..."), if any.
std::string CookieValue(const std::string& header, const std::string& name) {
  size_t at = 0;
  while (at < header.size()) {
    const size_t end = std::min(header.find(';', at), header.size());
    std::string pair = header.substr(at, end - at);
    pair.erase(0, pair.find_first_not_of(' '));
    if (pair.starts_with(name + "=")) return pair.substr(name.size() + 1);
    at = end + 1;
  }
  return {};
}

// The value of `name` in the query of `target` ("/?token=..."), if any.
std::string QueryValue(const std::string& target, const std::string& name) {
  const size_t query = target.find('?');
  if (query == std::string::npos) return {};
  std::string pairs = target.substr(query + 1);
  std::ranges::replace(pairs, '&', ';');
  return CookieValue(pairs, name);
}

bool StartsWithMediaType(const std::string& contentType, const std::string& type) {
  const std::string lower = Lower(contentType);
  return lower == type || lower.starts_with(type + ";");
}

constexpr const char* kTokenCookie = "vqhw-token";

}  // namespace

bool RequestGuard::IsLoopback(const std::string& address) {
  return address == "::1" || address.starts_with("127.");
}

RequestGuard::RequestGuard(std::string address, int port, std::string token) : token_(std::move(token)) {
  const std::string suffix = ":" + std::to_string(port);
  const bool v6 = address.find(':') != std::string::npos;
  hosts_.push_back(Lower(v6 ? "[" + address + "]" + suffix : address + suffix));
  if (IsLoopback(address)) {
    for (const char* name : {"localhost", "127.0.0.1", "[::1]"}) hosts_.push_back(name + suffix);
  }
}

bool RequestGuard::HostAllowed(const std::string& host) const {
  // Off loopback the panel is reached by whatever name the network gives
  // it; the token guards it there.
  return !token_.empty() || std::ranges::find(hosts_, Lower(host)) != hosts_.end();
}

// The panel's own origin: the scheme and the host the request was sent to,
// which HostAllowed has checked.
bool RequestGuard::OriginAllowed(const Guarded& request) const {
  return Lower(request.origin) == "http://" + Lower(request.host);
}

bool RequestGuard::TokenGiven(const Guarded& request) const {
  if (token_.empty()) return true;
  if (request.authorization.starts_with("Bearer ") && SameSecret(request.authorization.substr(7), token_)) return true;
  return SameSecret(CookieValue(request.cookie, kTokenCookie), token_) || CarriesToken(request.target);
}

bool RequestGuard::CarriesToken(const std::string& target) const {
  return !token_.empty() && SameSecret(QueryValue(target, "token"), token_);
}

std::string RequestGuard::TokenCookie() const {
  return std::string(kTokenCookie) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

std::optional<Refusal> RequestGuard::Check(const Guarded& request) const {
  if (request.host.empty()) return Refusal{400, "a request without a Host header"};
  if (!HostAllowed(request.host)) return Refusal{403, "the panel does not answer to the host " + request.host};
  if (!request.origin.empty() && !OriginAllowed(request)) {
    return Refusal{403, "requests from " + request.origin + " may not drive the panel"};
  }
  if (!TokenGiven(request)) return Refusal{401, "the panel is served off loopback: give the token printed at start"};
  if (request.method == "GET" || request.method == "HEAD") return std::nullopt;
  if (request.method != "POST") return Refusal{405, request.method + " is not answered: GET reads, POST changes"};
  if (!StartsWithMediaType(request.contentType, "application/json") &&
      !StartsWithMediaType(request.contentType, "text/plain")) {
    return Refusal{415, "a POST carries application/json (or a record as text/plain)"};
  }
  return std::nullopt;
}

std::string NewToken() {
  std::random_device random;
  std::uniform_int_distribution<int> digit(0, 15);
  std::string token;
  for (int i = 0; i < 32; ++i) token += "0123456789abcdef"[digit(random)];
  return token;
}

}  // namespace vqsim::panel
