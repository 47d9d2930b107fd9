#pragma once
// The panel's HTTP server (Boost.Beast on Asio, one thread of its own):
// answers each request through the RequestGuard and the PanelApi, and
// streams the events (server-sent events) of /api/events. At most
// kMostConnections at once, kMostStreams of them event streams; an idle
// connection is closed after kIdle.

#include <chrono>
#include <memory>
#include <string>

#include "sim/panel/frame_feed.h"
#include "sim/panel/http_address.h"
#include "sim/panel/panel_api.h"

namespace vqsim::panel {

class PanelServer {
 public:
  static constexpr int kMostConnections = 64;
  static constexpr int kMostStreams = 16;
  static constexpr std::chrono::seconds kIdle{30};

  // Listens at `address`; off loopback every request needs a token, made
  // here. `api` and `feed` must outlive the server. Throws
  // std::system_error when the address cannot be bound.
  PanelServer(const HttpAddress& address, PanelApi& api, FrameFeed& feed);
  // Stops the thread and closes every connection.
  ~PanelServer();
  PanelServer(const PanelServer&) = delete;
  PanelServer& operator=(const PanelServer&) = delete;

  // What to open in a browser: http://HOST:PORT/, with ?token= off loopback.
  std::string Url() const;
  int Port() const;

  struct Impl;  // panel_server.cpp's, with the connections' classes

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace vqsim::panel
