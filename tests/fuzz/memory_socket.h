#pragma once
// Connections in memory, for tests only: they stand behind the socket
// interface (serial/net/tcp_socket.h) in place of the platform's sockets,
// and a test plays the server. Every read the client makes takes one piece
// the server sent, so the test decides where the server's bytes are split.
// A client's wait with a deadline ends at once when nothing is there: the
// server stays silent until then, and no time is spent on it.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vqhw::memory_socket {

// One accepted connection, as the server sees it.
class Connection {
 public:
  Connection();
  // Queues `bytes` as one read of the client's (a read with less room
  // leaves the rest for the next).
  void Send(std::vector<uint8_t> bytes);
  // Ends the connection from the server's side: the client reads what was
  // sent before, then the end.
  void Close();

 private:
  friend struct Access;
  struct State;
  std::shared_ptr<State> state_;
};

class Server {
 public:
  virtual ~Server() = default;
  // A client calls: true accepts it on `connection`.
  virtual bool Accept(const std::shared_ptr<Connection>& connection) = 0;
  // What the client sent on `connection`. Called on the sending thread,
  // with no lock of the network held.
  virtual void Received(Connection& connection, std::span<const uint8_t> bytes) = 0;
};

// The server behind every connect from now on (none: every connect fails).
void SetServer(Server* server);

}  // namespace vqhw::memory_socket
