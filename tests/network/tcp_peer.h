#pragma once
// A TCP server of the test's own on the loopback address, for what no real
// device server does on cue: each connection it accepts is served by the
// test's script on the peer's thread, one connection at a time. The
// destructor stops it: no more connections, the one being served closed,
// the thread joined.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace vqtest {

class PeerConnection {
 public:
  PeerConnection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
  ~PeerConnection();
  PeerConnection(const PeerConnection&) = delete;
  PeerConnection& operator=(const PeerConnection&) = delete;

  // Waits up to `timeout` for bytes; empty when none came, the client
  // closed or the peer is stopping (see Open()).
  std::vector<uint8_t> Receive(std::chrono::milliseconds timeout);
  // One write.
  void Send(std::span<const uint8_t> bytes);
  // One segment a byte, `pause` apart.
  void SendByteByByte(std::span<const uint8_t> bytes, std::chrono::microseconds pause);
  // False once the client closed or the peer is stopping.
  bool Open() const { return open_ && !stopping_; }
  void Close();

 private:
  int fd_;
  const std::atomic<bool>& stopping_;
  bool open_ = true;
};

class TcpPeer {
 public:
  using Script = std::function<void(PeerConnection&)>;
  enum class Family { kIpv4, kIpv6 };

  // Listens on 127.0.0.1 (or ::1) at `port`, 0 for one the system picks;
  // with `nagle`, small writes wait for the acknowledgement of the last.
  explicit TcpPeer(Script script, uint16_t port = 0, Family family = Family::kIpv4, bool nagle = false);
  ~TcpPeer();
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  uint16_t Port() const { return port_; }
  // "scheme://127.0.0.1:PORT" (or [::1]).
  std::string Url(const std::string& scheme) const;
  int Connections() const { return connections_; }

 private:
  void Serve();

  Script script_;
  Family family_;
  bool nagle_;
  uint16_t port_ = 0;  // before listener_, which sets it
  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
uint16_t ClosedPort();

}  // namespace vqtest
