#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "sim/control/control_socket.h"
#include "sim/hosts/platform/posix_io.h"

namespace vqsim {

struct ControlSocket::Listener {
  io::UniqueFd fd;
  // The socket file it bound: at exit the path may hold another's.
  dev_t device = 0;
  ino_t inode = 0;
};

namespace {

constexpr int kRequestWaitMs = 2000;  // a client that sends nothing is dropped
constexpr time_t kReplyWaitSeconds = 10;  // a reader that never answers (stopped, say) fails the request

sockaddr_un Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    io::ThrowErrno(path);
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

void WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// One line, or what came before the client closed its side; none from a
// client that sent nothing in time. A line longer than
// kLongestControlRequest comes back longer than that, to be refused.
std::optional<std::string> ReadRequest(int connection) {
  std::string request;
  std::vector<char> buffer(65536);
  size_t end = std::string::npos;
  while (end == std::string::npos && request.size() <= kLongestControlRequest) {
    pollfd fd{connection, POLLIN, 0};
    if (::poll(&fd, 1, kRequestWaitMs) <= 0) return std::nullopt;
    const ssize_t n = ::recv(connection, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    const size_t searched = request.size();  // a long line is searched once, not again with every piece
    request.append(buffer.data(), static_cast<size_t>(n));
    end = request.find('\n', searched);
  }
  if (end != std::string::npos && end <= kLongestControlRequest) request.resize(end);
  return request;
}

// Whether something listens at the socket: a socket nobody listens at
// refuses the connection.
bool Answers(const sockaddr_un& address) {
  const io::UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return probe && ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

ControlSocket::ControlSocket(std::string path, Handler handler)
    : path_(std::move(path)), handler_(std::move(handler)), listener_(std::make_unique<Listener>()) {
  const sockaddr_un address = Address(path_);
  listener_->fd = io::UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener_->fd) io::ThrowErrno("control socket");
  // A socket left by an earlier run goes; one that answers is a running
  // vqhw-sim's, and any other file at the path somebody's: they stay.
  struct stat existing{};
  if (::lstat(path_.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      errno = EEXIST;
      io::ThrowErrno(path_ + " is there and is no socket");
    }
    if (Answers(address)) throw ControlSocketInUse(path_ + " is in use by another vqhw-sim");
    ::unlink(path_.c_str());
  }
  struct stat bound{};
  if (::bind(listener_->fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::lstat(path_.c_str(), &bound) != 0) {
    io::ThrowErrno(path_);
  }
  listener_->device = bound.st_dev;
  listener_->inode = bound.st_ino;
  if (::listen(listener_->fd.get(), 4) != 0) io::ThrowErrno(path_);
  thread_ = std::thread([this] { Serve(); });
}

ControlSocket::~ControlSocket() {
  stop_.Set();
  thread_.join();
  struct stat now{};
  if (::lstat(path_.c_str(), &now) == 0 && now.st_dev == listener_->device && now.st_ino == listener_->inode) {
    ::unlink(path_.c_str());
  }
}

void ControlSocket::Serve() {
  while (true) {
    pollfd fds[2] = {{listener_->fd.get(), POLLIN, 0}, {stop_.Native().read.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const io::UniqueFd connection(::accept4(listener_->fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!connection) continue;
    if (const std::optional<std::string> request = ReadRequest(connection.get())) {
      WriteAll(connection.get(), request->size() > kLongestControlRequest
                                     ? "error the request is longer than " + std::to_string(kLongestControlRequest) +
                                           " bytes\n"
                                     : handler_(*request));
    }
  }
}

std::string SendControlRequest(const std::string& path, const std::string& request) {
  const sockaddr_un address = Address(path);
  const io::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) io::ThrowErrno("control socket");
  const timeval wait{kReplyWaitSeconds, 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) io::ThrowErrno(path);
  WriteAll(fd.get(), request + "\n");
  std::string reply;
  char buffer[512];
  ssize_t n;
  while ((n = ::recv(fd.get(), buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
  if (n < 0 && reply.empty()) io::ThrowErrno(path + ": no answer");
  return reply;
}

}  // namespace vqsim
