#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>

#include <array>

#include "sim/hosts/platform/posix_io.h"
#include "sim/hosts/platform/pty.h"

namespace vqsim::io {

Pty Pty::Open() {
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master) ThrowErrno("posix_openpt");
  if (::grantpt(master.get()) != 0) ThrowErrno("grantpt");
  if (::unlockpt(master.get()) != 0) ThrowErrno("unlockpt");
  std::array<char, 128> name{};
  if (const int error = ::ptsname_r(master.get(), name.data(), name.size()); error != 0) {
    throw std::system_error(error, std::generic_category(), "ptsname_r");
  }
  const std::string slavePath = name.data();
  UniqueFd slave(::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave) ThrowErrno("open " + slavePath);
  termios settings{};
  if (::tcgetattr(slave.get(), &settings) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&settings);  // no echo, no line editing: bytes pass unchanged
  if (::tcsetattr(slave.get(), TCSANOW, &settings) != 0) ThrowErrno("tcsetattr");
  SetNonBlocking(master.get());
  return Pty(StreamOf(std::move(master)), StreamOf(std::move(slave)), slavePath);
}

}  // namespace vqsim::io
