// The network port. The calling thread writes and, when the connection
// broke, connects again; the receive worker reads the current connection.
// A connection is shared by both until the last of them lets go of it, so
// that neither ever uses a handle the other closed: the writer replaces a
// broken connection, shuts the old one down (which ends the worker's wait on
// it) and wakes the worker, which then takes up the new one.

#include "serial/ports/network_port.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "util/trace.h"

namespace vqhw {

namespace {

using net::Clock;

// How long one connection may take to be made, negotiation included.
constexpr std::chrono::milliseconds kConnectBound{3000};
// How long the worker may take to send what the protocol owes the server.
constexpr std::chrono::milliseconds kReplyBound{500};

void Note(const std::string& line) { trace::Note(line.c_str()); }

// The port's name for the trace, an IPv6 address in its brackets again.
std::string UrlOf(const net::Endpoint& e) {
  const bool ipv6 = e.host.find(':') != std::string::npos;
  return e.scheme + "://" + (ipv6 ? "[" + e.host + "]" : e.host) + ":" + e.port;
}

class NetworkPort final : public Port {
 public:
  NetworkPort(const net::Endpoint& endpoint, std::unique_ptr<LineProtocol> (*protocol)())
      : endpoint_(endpoint), name_(UrlOf(endpoint)), protocol_(protocol) {}

  ReaderStatus Open(const LineSettings& settings) {
    settings_ = settings;
    if (!waker_.Ready()) {
      Note("os error: no waker for " + name_);
      return status::kCannotOpen;
    }
    std::shared_ptr<Connection> fresh;
    const ReaderStatus connected = Connect(Clock::now() + kConnectBound, fresh);
    if (connected != status::kOk) return connected;
    current_ = std::move(fresh);
    return status::kOk;
  }

  ReaderStatus Apply(const LineSettings& settings) override {
    settings_ = settings;
    std::vector<uint8_t> out;
    const auto connection = Current();
    if (!connection || connection->broken) return status::kOk;  // the next connection asks for them
    connection->protocol->EncodeSettings(settings, out);
    if (!out.empty()) Send(*connection, out, Clock::now() + kReplyBound);
    return status::kOk;
  }

  ReaderStatus Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds bound) override {
    const auto deadline = Clock::now() + bound;
    auto connection = Current();
    if (!connection || connection->broken) {
      Note("connecting again to " + name_);
      std::shared_ptr<Connection> fresh;
      if (Connect(std::min(deadline, Clock::now() + kConnectBound), fresh) != status::kOk) {
        return status::kCannotSend;
      }
      Publish(fresh);
      connection = std::move(fresh);
    }
    frame_.clear();  // its room stays from one frame to the next
    connection->protocol->Encode({bytes, count}, purgeAsked_.exchange(false), frame_);
    return Send(*connection, frame_, deadline);
  }

  // After a failed attempt the server drops what it holds too, before the
  // next frame: a late answer may wait in its buffers. Not before every
  // frame: the purge's answer would go ahead of the reader's, and a server
  // that delays small writes (Nagle) would hold the reader's back.
  void Purge(PurgeOccasion occasion) override {
    if (occasion == PurgeOccasion::kAfterFailure) purgeAsked_ = true;
  }

  size_t WaitAndRead(uint8_t* buffer, size_t capacity) override {
    uint8_t input[256];
    std::vector<uint8_t> replies;
    for (;;) {
      if (stopping_) return 0;
      const auto connection = Current();
      if (!connection || connection->broken) {
        waker_.Wait();
        waker_.Clear();  // the state is looked at again after this: no wake-up is lost
        continue;
      }
      size_t count = 0;
      switch (connection->socket.Receive(input, std::min(capacity, sizeof input), count, &waker_,
                                         Clock::time_point::max())) {
        case net::TcpSocket::Received::kData:
          break;
        case net::TcpSocket::Received::kWoken:
          waker_.Clear();
          continue;
        default:
          if (!connection->broken.exchange(true)) Note("the connection to " + name_ + " ended");
          continue;
      }
      replies.clear();
      const size_t produced = connection->protocol->Decode(input, count, buffer, replies);
      if (!replies.empty()) Send(*connection, replies, Clock::now() + kReplyBound);
      if (produced > 0) return produced;
    }
  }

  void StopWaiting() override {
    stopping_ = true;
    waker_.Wake();
  }

  void Abandon() override {
    // The child runs alone: the lock may have been held by a thread that
    // is not there, and the connection is the parent's to end.
    if (current_) current_->socket.Abandon();
    waker_.Abandon();
  }

 private:
  struct Connection {
    net::TcpSocket socket;
    std::unique_ptr<LineProtocol> protocol;
    std::atomic<bool> broken{false};
  };

  std::shared_ptr<Connection> Current() {
    std::lock_guard lock(lock_);
    return current_;
  }

  ReaderStatus Connect(Clock::time_point deadline, std::shared_ptr<Connection>& fresh) {
    fresh = std::make_shared<Connection>();
    fresh->protocol = protocol_();
    Note("connect: " + name_);
    ReaderStatus result = fresh->socket.Connect(endpoint_.host.c_str(), endpoint_.port.c_str(), deadline);
    if (result == status::kOk) result = fresh->protocol->Start(fresh->socket, settings_, deadline);
    Note(result == status::kOk ? "connected: " + name_
                               : "cannot connect: " + name_ + " (status " + std::to_string(result) + ")");
    if (result != status::kOk) fresh.reset();
    return result;
  }

  void Publish(std::shared_ptr<Connection> fresh) {
    std::shared_ptr<Connection> old;
    {
      std::lock_guard lock(lock_);
      old = std::exchange(current_, std::move(fresh));
    }
    if (old) old->socket.Shutdown();
    waker_.Wake();
  }

  ReaderStatus Send(Connection& connection, const std::vector<uint8_t>& bytes, Clock::time_point deadline) {
    std::lock_guard lock(sendLock_);
    const ReaderStatus sent = connection.socket.Send(bytes.data(), bytes.size(), deadline);
    if (sent == status::kCannotSend && !connection.broken.exchange(true)) {
      Note("the connection to " + name_ + " broke");
    }
    return sent;
  }

  const net::Endpoint endpoint_;
  const std::string name_;
  std::unique_ptr<LineProtocol> (*const protocol_)();
  LineSettings settings_;
  std::vector<uint8_t> frame_;  // what Write sends, on the calling thread
  net::Waker waker_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> purgeAsked_{false};
  std::mutex lock_;  // current_
  std::shared_ptr<Connection> current_;
  std::mutex sendLock_;  // one sender at a time on a connection
};

}  // namespace

ReaderStatus OpenNetworkPort(const net::Endpoint& endpoint, std::unique_ptr<LineProtocol> (*protocol)(),
                             const LineSettings& settings, std::unique_ptr<Port>& port) {
  auto network = std::make_unique<NetworkPort>(endpoint, protocol);
  const ReaderStatus opened = network->Open(settings);
  if (opened == status::kOk) port = std::move(network);
  return opened;
}

}  // namespace vqhw
