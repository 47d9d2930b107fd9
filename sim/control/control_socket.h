#pragma once
// A control socket beside the reader's line, named by a path, served from
// its own thread. Each connection sends one request line and gets one
// reply (any number of lines), then the socket closes it. On POSIX it is
// a Unix socket at the path (control_socket_posix.cpp); on Windows a
// loopback TCP port whose number and token a file at the path holds,
// readable by its owner alone (control_socket_win32.cpp).

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "sim/hosts/platform/line_io.h"

namespace vqsim {

// The longest request line the socket takes, its end of line left out: a
// field or scenario file of 1 MiB sent inline (ctl present FILE) with room
// to spare. A longer one is refused, not cut short.
inline constexpr size_t kLongestControlRequest = size_t{2} << 20;

// The path is another running vqhw-sim's control socket (or control file).
class ControlSocketInUse : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ControlSocket {
 public:
  using Handler = std::function<std::string(const std::string& request)>;

  // Throws ControlSocketInUse when something answers at `path`, and
  // std::system_error when the socket cannot be set up; a stale socket (or
  // control file) at `path` is replaced, any other file there is kept.
  ControlSocket(std::string path, Handler handler);
  // Stops the thread and removes the socket (or control file) when the
  // path still holds its own, not one put there since.
  ~ControlSocket();
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  const std::string& Path() const { return path_; }

 private:
  struct Listener;
  void Serve();

  std::string path_;
  Handler handler_;
  std::unique_ptr<Listener> listener_;
  io::Event stop_;
  std::thread thread_;
};

// Sends one request to the socket at `path`; returns the reply. Throws
// std::system_error when nothing listens there or no answer comes.
std::string SendControlRequest(const std::string& path, const std::string& request);

}  // namespace vqsim
