#pragma once
// A control socket beside the pty: a Unix stream socket at a path, served
// from its own thread. Each connection sends one request line and gets one
// reply (any number of lines), then the socket closes it.

#include <functional>
#include <string>
#include <thread>

#include "sim/hosts/serial_line.h"
#include "sim/hosts/unique_fd.h"

namespace vqsim {

class ControlSocket {
 public:
  using Handler = std::function<std::string(const std::string& request)>;

  // Throws std::system_error when the socket cannot be set up; a stale
  // socket file at `path` is replaced.
  ControlSocket(std::string path, Handler handler);
  ~ControlSocket();  // stops the thread and removes the socket file
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  const std::string& Path() const { return path_; }

 private:
  void Serve();
  void Answer(int connection);

  std::string path_;
  Handler handler_;
  UniqueFd listener_;
  StopSignal stop_;
  std::thread thread_;
};

// Sends one request to the socket at `path`; returns the reply. Throws
// std::system_error when nothing listens there.
std::string SendControlRequest(const std::string& path, const std::string& request);

}  // namespace vqsim
