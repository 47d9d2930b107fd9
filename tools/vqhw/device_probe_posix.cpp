#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "vqhw/device_probe.h"

namespace vqtool {

std::string WhyDeviceCannotOpen(const std::string& path) {
  // Opened as the library opens it, and closed at once: no byte is sent.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // Another program's exclusive hold on a terminal shows as busy.
    return errno == EBUSY ? std::string("held by another program (") + std::strerror(errno) + ")"
                          : std::strerror(errno);
  }
  std::string why;
  if (::isatty(fd) != 1) {
    why = "not a serial port (not a terminal)";
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    why = errno == EWOULDBLOCK ? "held by another program" : std::strerror(errno);
  }
  ::close(fd);
  return why;
}

}  // namespace vqtool
