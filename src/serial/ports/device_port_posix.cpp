// A serial device on POSIX: termios, poll() with a wake-up pipe, and an
// advisory lock so that a second opener, root included, is refused.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "serial/ports/device_port.h"
#include "util/trace.h"

namespace vqhw {

namespace {

constexpr int kWriteFailureLimit = 3;
// How long the worker rests before looking again at a port that failed or
// hung up (a USB adapter pulled out): waiting, not spinning.
constexpr int kFailedPortRestMs = 100;

struct BaudCode {
  int32_t baud;
  speed_t code;
};
constexpr std::array<BaudCode, 14> kBaudCodes{{{4800, B4800},
                                               {9600, B9600},
                                               {19200, B19200},
                                               {38400, B38400},
                                               {57600, B57600},
                                               {115200, B115200},
                                               {230400, B230400},
                                               {460800, B460800},
                                               {576000, B576000},
                                               {921600, B921600},
                                               {1152000, B1152000},
                                               {1500000, B1500000},
                                               {2000000, B2000000},
                                               {4000000, B4000000}}};

bool ToTermios(const LineSettings& settings, termios& tio) {
  const auto* baud = std::find_if(kBaudCodes.begin(), kBaudCodes.end(),
                                  [&](const BaudCode& b) { return b.baud == settings.baud; });
  if (baud == kBaudCodes.end()) return false;
  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  switch (settings.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return false;
  }
  switch (settings.parity) {
    case 'N': break;
    case 'E': tio.c_cflag |= PARENB; break;
    case 'O': tio.c_cflag |= PARENB | PARODD; break;
    default: return false;
  }
  if (settings.stopBits == 2) {
    tio.c_cflag |= CSTOPB;
  } else if (settings.stopBits != 1) {
    return false;
  }
  // The port imposes no time-out of its own: reads return what is there.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, baud->code);
  cfsetospeed(&tio, baud->code);
  return true;
}

// The trace gets errno of the call that failed, which the status folds away.
void TraceOsError(const char* operation, const char* subject) {
  trace::OsError(operation, subject, static_cast<unsigned long>(errno));
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

bool FormatPortName(int32_t portNumber, char* name, size_t size) {
  char variable[16];
  std::snprintf(variable, sizeof variable, "VQHW_COM%d", static_cast<int>(portNumber));
  const char* configured = std::getenv(variable);
  int n = configured != nullptr && configured[0] != '\0'
              ? std::snprintf(name, size, "%s", configured)
              : std::snprintf(name, size, "/dev/ttyS%d", static_cast<int>(portNumber - 1));
  return n > 0 && static_cast<size_t>(n) < size;
}

namespace {

class DevicePort final : public Port {
 public:
  ~DevicePort() override { Close(); }

  ReaderStatus Open(const char* deviceName, const LineSettings& settings);
  ReaderStatus Apply(const LineSettings& settings) override;
  ReaderStatus Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds bound) override;
  void Purge(PurgeOccasion) override { Flush(); }
  size_t WaitAndRead(uint8_t* buffer, size_t capacity) override;
  void StopWaiting() override;
  void Abandon() override;

 private:
  void Close();
  void Flush();  // aborts transfers, discards both queues

  int port_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
};

ReaderStatus DevicePort::Open(const char* deviceName, const LineSettings& settings) {
  port_ = ::open(deviceName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (port_ < 0) {
    TraceOsError("open", deviceName);
    return status::kCannotOpen;
  }
  // TIOCEXCL keeps other users out, but root passes it: the lock refuses a
  // second opener in this process or another one.
  if (::flock(port_, LOCK_EX | LOCK_NB) != 0) {
    TraceOsError("lock", deviceName);
    CloseIfOpen(port_);
    return status::kCannotOpen;
  }
  ::ioctl(port_, TIOCEXCL);
  ReaderStatus result = Apply(settings);
  if (result == status::kOk) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0) {
      wakeRead_ = wake[0];
      wakeWrite_ = wake[1];
    } else {
      TraceOsError("pipe for", deviceName);
      result = status::kCannotOpen;
    }
  }
  if (result != status::kOk) {
    Close();
    return result;
  }
  Flush();
  return status::kOk;
}

ReaderStatus DevicePort::Apply(const LineSettings& settings) {
  termios tio{};
  if (::tcgetattr(port_, &tio) != 0) {
    TraceOsError("tcgetattr", "of the port");
    return status::kSettingsUnreadable;
  }
  if (!ToTermios(settings, tio)) return status::kSettingsRejected;
  // As on Windows, the outcome changes no result; the trace still tells it.
  if (::tcsetattr(port_, TCSANOW, &tio) != 0) TraceOsError("tcsetattr", "of the port");
  return status::kOk;
}

ReaderStatus DevicePort::Write(const uint8_t* bytes, size_t count, std::chrono::milliseconds bound) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + bound;
  size_t written = 0;
  int failures = 0;
  while (written < count) {
    ssize_t n = ::write(port_, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    const int error = n < 0 ? errno : 0;
    if (error == EINTR) continue;
    if (n < 0 && error != EAGAIN) TraceOsError("write", "to the port");
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      trace::Note("time-out: the write did not finish in time");
      return status::kTimeout;
    }
    if (error == EAGAIN) {
      pollfd out{port_, POLLOUT, 0};
      ::poll(&out, 1, static_cast<int>(left.count()));
      continue;
    }
    // The port refuses the write outright: try a few times, then give up.
    if (++failures >= kWriteFailureLimit) return status::kCannotSend;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status::kOk;
}

void DevicePort::Flush() {
  if (port_ >= 0) ::tcflush(port_, TCIOFLUSH);
}

size_t DevicePort::WaitAndRead(uint8_t* buffer, size_t capacity) {
  bool portFailed = false;
  for (;;) {
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {port_, POLLIN, 0}};
    // A failed port is left out of the poll for a while, so that a
    // hang-up that is reported again and again cannot make us spin.
    int ready = ::poll(fds, portFailed ? 1 : 2, portFailed ? kFailedPortRestMs : -1);
    if (ready < 0 && errno != EINTR) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kFailedPortRestMs));
      continue;
    }
    if (fds[0].revents != 0) return 0;
    if (portFailed) {
      portFailed = false;
      continue;
    }
    if (fds[1].revents == 0) continue;
    ssize_t n = ::read(port_, buffer, capacity);
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    portFailed = true;  // end of file, EIO after a hang-up, or another failure
  }
}

void DevicePort::StopWaiting() {
  if (wakeWrite_ >= 0) {
    const uint8_t wake = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wakeWrite_, &wake, 1);
  }
}

void DevicePort::Abandon() {
  // The descriptors are copies of the parent's: closing them leaves the
  // parent's port, its lock and its wake-up pipe as they are, where
  // TIOCNXCL, a purge or a wake-up would reach the parent's.
  CloseIfOpen(port_);
  CloseIfOpen(wakeRead_);
  CloseIfOpen(wakeWrite_);
}

void DevicePort::Close() {
  if (port_ >= 0) ::ioctl(port_, TIOCNXCL);
  CloseIfOpen(port_);  // closing also releases the lock
  CloseIfOpen(wakeRead_);
  CloseIfOpen(wakeWrite_);
}

}  // namespace

ReaderStatus OpenDevicePort(const char* name, const LineSettings& settings, std::unique_ptr<Port>& port) {
  auto device = std::make_unique<DevicePort>();
  const ReaderStatus opened = device->Open(name, settings);
  if (opened == status::kOk) port = std::move(device);
  return opened;
}

}  // namespace vqhw
