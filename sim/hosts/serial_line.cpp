#include "sim/hosts/serial_line.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace vqsim {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) ThrowErrno("fcntl(O_NONBLOCK)");
}

}  // namespace

UniqueFd OpenSerialDevice(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) ThrowErrno("open " + path);
  if (::ioctl(fd.get(), TIOCEXCL) != 0) ThrowErrno("exclusive use of " + path);
  termios settings{};
  if (::tcgetattr(fd.get(), &settings) != 0) ThrowErrno(path + " is not a serial line");
  ::cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  settings.c_cflag |= CLOCAL | CREAD | CS8;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (::cfsetispeed(&settings, B115200) != 0 || ::cfsetospeed(&settings, B115200) != 0 ||
      ::tcsetattr(fd.get(), TCSANOW, &settings) != 0) {
    ThrowErrno("set up " + path);
  }
  ::tcflush(fd.get(), TCIOFLUSH);
  return fd;
}

PtyPair OpenPtyPair() {
  PtyPair pair;
  pair.master = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pair.master) ThrowErrno("posix_openpt");
  if (::grantpt(pair.master.get()) != 0) ThrowErrno("grantpt");
  if (::unlockpt(pair.master.get()) != 0) ThrowErrno("unlockpt");
  std::array<char, 128> name{};
  if (const int error = ::ptsname_r(pair.master.get(), name.data(), name.size()); error != 0) {
    throw std::system_error(error, std::generic_category(), "ptsname_r");
  }
  pair.slavePath = name.data();
  pair.slave = UniqueFd(::open(pair.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pair.slave) ThrowErrno("open " + pair.slavePath);
  termios settings{};
  if (::tcgetattr(pair.slave.get(), &settings) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&settings);  // no echo, no line editing: bytes pass unchanged
  if (::tcsetattr(pair.slave.get(), TCSANOW, &settings) != 0) ThrowErrno("tcsetattr");
  SetNonBlocking(pair.master.get());
  return pair;
}

StopSignal::StopSignal() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
  read_ = UniqueFd(fds[0]);
  write_ = UniqueFd(fds[1]);
}

void StopSignal::Raise() {
  const char stop = 1;
  // The pipe is empty until now, so this one byte cannot fail for lack of room.
  [[maybe_unused]] const ssize_t written = ::write(write_.get(), &stop, 1);
}

bool StopSignal::Raised() const {
  std::array<pollfd, 1> fds{{{read_.get(), POLLIN, 0}}};
  return PollRetrying(fds, 0) != 0;
}

int PollRetrying(std::span<pollfd> fds, int timeoutMs) {
  int ready;
  do {
    ready = ::poll(fds.data(), fds.size(), timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready;
}

bool WriteAllUnlessStopped(int fd, std::span<const uint8_t> bytes, const StopSignal& stop) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes = bytes.subspan(static_cast<size_t>(written));
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return true;
    std::array<pollfd, 2> fds{{{fd, POLLOUT, 0}, {stop.Fd(), POLLIN, 0}}};
    if (PollRetrying(fds, -1) < 0 || fds[1].revents != 0) return false;
  }
  return true;
}

bool PauseUnlessStopped(std::chrono::milliseconds pause, const StopSignal& stop) {
  const auto deadline = std::chrono::steady_clock::now() + pause;
  while (true) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return !stop.Raised();
    std::array<pollfd, 1> fds{{{stop.Fd(), POLLIN, 0}}};
    if (PollRetrying(fds, static_cast<int>(left.count())) != 0) return false;
  }
}

}  // namespace vqsim
