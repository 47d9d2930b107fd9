#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "sim/hosts/platform/posix_io.h"
#include "sim/hosts/platform/serial_device.h"

namespace vqsim::io {

Stream OpenSerialDevice(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) ThrowErrno("open " + path);
  if (::ioctl(fd.get(), TIOCEXCL) != 0) ThrowErrno("exclusive use of " + path);
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) ThrowErrno("lock " + path);
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
  return StreamOf(std::move(fd));
}

}  // namespace vqsim::io
