#pragma once
// Serves a VirtualReader on a TCP port, as a serial device server serves a
// reader's line: socket:// carries the reader's bytes as they are,
// rfc2217:// carries them in telnet with the com port option. One client
// at a time: another that calls meanwhile is refused with the reason, or,
// with take-over, the newcomer takes the line and the client before it is
// let go. A client that goes, however it goes, leaves the reader to the
// next one, with nothing of a frame it cut short. A socket has no wire:
// the line's time is kept here, and each answer goes out in one segment
// when its last byte is off the reader's line.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "sim/hosts/line_host.h"
#include "sim/hosts/line_server.h"
#include "sim/hosts/platform/line_io.h"
#include "sim/hosts/platform/tcp.h"
#include "sim/hosts/tcp/listen_url.h"
#include "sim/reader/reader_model.h"

namespace vqsim {

class TcpHost : public LineHost {
 public:
  // A client that hung up a moment ago may not be seen off yet when it (or
  // its successor) calls again: a newcomer is refused only when the client
  // served is still there after this.
  static constexpr std::chrono::milliseconds kLeavingGrace{250};

  // Listens at the URL's address; throws std::system_error when it cannot
  // (the port in use, the address not this machine's, a name unknown).
  TcpHost(VirtualReader& reader, const ListenUrl& url, Events events, bool takeOver = false);
  ~TcpHost() override;
  TcpHost(const TcpHost&) = delete;
  TcpHost& operator=(const TcpHost&) = delete;

  // The URL with the address and port it listens on.
  std::string PortName() const override;
  // Whether only this machine can reach it.
  bool IsLoopback() const { return listener_.IsLoopback(); }

 private:
  void Accept();
  void Serve();
  std::optional<io::Listener::Call> NextClient();
  void Refuse(io::Listener::Call& call, const std::string& busyWith) const;
  void Tell(const std::string& text) const;

  VirtualReader& reader_;
  const ListenUrl url_;
  const Events events_;
  const bool takeOver_;
  io::Listener listener_;
  LineServer server_;
  io::Event stop_;  // for the acceptor
  io::Event wake_;  // for the server: a stop, or a client waiting

  std::mutex mutex_;
  std::condition_variable served_;  // the client served went
  bool stopping_ = false;
  std::string serving_;                        // the client served, empty: none
  std::optional<io::Listener::Call> waiting_;  // the client to serve next

  std::thread acceptorThread_;
  std::thread serverThread_;
};

}  // namespace vqsim
