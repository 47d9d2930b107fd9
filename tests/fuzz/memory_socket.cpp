// The sockets in memory: one lock and one condition for the whole network,
// which is small, so that a waiting reader wakes for its data, its waker
// or its end alike.

#include "memory_socket.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "serial/net/tcp_socket.h"

namespace vqhw {

namespace memory_socket {

namespace {
std::mutex network;
std::condition_variable changed;
Server* server = nullptr;
}  // namespace

struct Connection::State {
  std::deque<std::vector<uint8_t>> pieces;
  bool closedByServer = false;
  bool shutDownByClient = false;
};

struct Access {
  static Connection::State& Of(Connection& c) { return *c.state_; }
};

Connection::Connection() : state_(std::make_shared<State>()) {}

void Connection::Send(std::vector<uint8_t> bytes) {
  if (bytes.empty()) return;
  std::lock_guard lock(network);
  if (!state_->closedByServer) state_->pieces.push_back(std::move(bytes));
  changed.notify_all();
}

void Connection::Close() {
  std::lock_guard lock(network);
  state_->closedByServer = true;
  changed.notify_all();
}

void SetServer(Server* s) {
  std::lock_guard lock(network);
  server = s;
}

}  // namespace memory_socket

namespace net {

using memory_socket::Access;
using memory_socket::changed;
using memory_socket::network;

struct Waker::Handles {
  bool pending = false;
};

Waker::Waker() : handles_(std::make_unique<Handles>()) {}
Waker::~Waker() = default;
bool Waker::Ready() const { return true; }

void Waker::Wake() {
  std::lock_guard lock(network);
  handles_->pending = true;
  changed.notify_all();
}

void Waker::Clear() {
  std::lock_guard lock(network);
  handles_->pending = false;
}

void Waker::Wait() {
  std::unique_lock lock(network);
  changed.wait(lock, [&] { return handles_->pending; });
}

void Waker::Abandon() {}

struct TcpSocket::Handles {
  std::shared_ptr<memory_socket::Connection> connection;
};

TcpSocket::TcpSocket() : handles_(std::make_unique<Handles>()) {}

TcpSocket::~TcpSocket() { Shutdown(); }

ReaderStatus TcpSocket::Connect(const char*, const char*, Clock::time_point) {
  memory_socket::Server* s = nullptr;
  {
    std::lock_guard lock(network);
    s = memory_socket::server;
  }
  auto connection = std::make_shared<memory_socket::Connection>();
  if (s == nullptr || !s->Accept(connection)) return status::kCannotOpen;
  handles_->connection = std::move(connection);
  return status::kOk;
}

ReaderStatus TcpSocket::Send(const uint8_t* bytes, size_t count, Clock::time_point) {
  auto& connection = handles_->connection;
  if (!connection) return status::kCannotSend;
  memory_socket::Server* s = nullptr;
  {
    std::lock_guard lock(network);
    const auto& state = Access::Of(*connection);
    if (state.closedByServer || state.shutDownByClient) return status::kCannotSend;
    s = memory_socket::server;
  }
  if (s != nullptr) s->Received(*connection, {bytes, count});
  return status::kOk;
}

TcpSocket::Received TcpSocket::Receive(uint8_t* buffer, size_t capacity, size_t& count, Waker* waker,
                                       Clock::time_point deadline) {
  count = 0;
  if (!handles_->connection) return Received::kClosed;
  auto& state = Access::Of(*handles_->connection);
  std::unique_lock lock(network);
  for (;;) {
    if (state.shutDownByClient) return Received::kClosed;
    if (!state.pieces.empty()) {
      auto& piece = state.pieces.front();
      count = std::min(capacity, piece.size());
      std::copy_n(piece.begin(), count, buffer);
      piece.erase(piece.begin(), piece.begin() + static_cast<long>(count));
      if (piece.empty()) state.pieces.pop_front();
      return Received::kData;
    }
    if (state.closedByServer) return Received::kClosed;
    if (waker != nullptr && waker->handles_->pending) return Received::kWoken;
    if (deadline != Clock::time_point::max()) return Received::kTimeout;
    changed.wait(lock);
  }
}

void TcpSocket::Shutdown() {
  if (!handles_->connection) return;
  std::lock_guard lock(network);
  Access::Of(*handles_->connection).shutDownByClient = true;
  changed.notify_all();
}

void TcpSocket::Abandon() {}

}  // namespace net

}  // namespace vqhw
