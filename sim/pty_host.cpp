#include "sim/pty_host.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace vqsim {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) ThrowErrno("fcntl(O_NONBLOCK)");
}

// poll() that retries when a signal interrupts it.
int PollRetrying(std::span<pollfd> fds, int timeoutMs) {
  int ready;
  do {
    ready = ::poll(fds.data(), fds.size(), timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready;
}

}  // namespace

PtyHost::PtyHost(VirtualReader& reader, TrafficLog log) : reader_(reader), log_(std::move(log)) {
  master_ = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master_) ThrowErrno("posix_openpt");
  if (::grantpt(master_.get()) != 0) ThrowErrno("grantpt");
  if (::unlockpt(master_.get()) != 0) ThrowErrno("unlockpt");
  std::array<char, 128> name{};
  if (const int error = ::ptsname_r(master_.get(), name.data(), name.size()); error != 0) {
    throw std::system_error(error, std::generic_category(), "ptsname_r");
  }
  slavePath_ = name.data();

  slave_ = UniqueFd(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave_) ThrowErrno("open pty slave");
  termios settings{};
  if (::tcgetattr(slave_.get(), &settings) != 0) ThrowErrno("tcgetattr");
  ::cfmakeraw(&settings);  // no echo, no line editing: bytes pass unchanged
  if (::tcsetattr(slave_.get(), TCSANOW, &settings) != 0) ThrowErrno("tcsetattr");

  // Writes must never block the thread beyond a stop request.
  SetNonBlocking(master_.get());

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
  wakeRead_ = UniqueFd(pipeFds[0]);
  wakeWrite_ = UniqueFd(pipeFds[1]);

  thread_ = std::thread([this] { Serve(); });
}

PtyHost::~PtyHost() {
  const char stop = 1;
  // The pipe is empty until now, so this one byte cannot fail for lack of room.
  [[maybe_unused]] const ssize_t written = ::write(wakeWrite_.get(), &stop, 1);
  thread_.join();
}

const std::string& PtyHost::SlavePath() const { return slavePath_; }

void PtyHost::Serve() {
  std::array<uint8_t, 1024> buffer{};
  while (true) {
    std::array<pollfd, 2> fds{{{master_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}}};
    if (PollRetrying(fds, -1) < 0 || fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;

    const ssize_t count = ::read(master_.get(), buffer.data(), buffer.size());
    if (count <= 0) continue;  // EAGAIN: nothing after all
    const std::span<const uint8_t> received(buffer.data(), static_cast<size_t>(count));
    if (log_) log_(Direction::kFromHost, received);

    for (const AnswerChunk& chunk : reader_.Receive(received)) {
      if (!Deliver(chunk)) return;
    }
  }
}

bool PtyHost::Deliver(const AnswerChunk& chunk) {
  if (!Pause(chunk.pauseBefore) || !WriteAll(chunk.bytes)) return false;
  if (log_) log_(Direction::kToHost, chunk.bytes);
  return true;
}

// Waits out `pause` on the wake-up pipe; false when a stop was requested.
bool PtyHost::Pause(std::chrono::milliseconds pause) {
  const auto deadline = std::chrono::steady_clock::now() + pause;
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return !StopRequested();
    std::array<pollfd, 1> fds{{{wakeRead_.get(), POLLIN, 0}}};
    if (PollRetrying(fds, static_cast<int>(left.count())) != 0) return false;
  }
}

// Writes everything, waiting for room in the pty when the host reads slowly
// or not at all; false when a stop was requested. A write error drops the
// rest of the bytes, as a broken line would.
bool PtyHost::WriteAll(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(master_.get(), bytes.data(), bytes.size());
    if (written > 0) {
      bytes = bytes.subspan(static_cast<size_t>(written));
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return true;
    std::array<pollfd, 2> fds{{{master_.get(), POLLOUT, 0}, {wakeRead_.get(), POLLIN, 0}}};
    if (PollRetrying(fds, -1) < 0 || fds[1].revents != 0) return false;
  }
  return true;
}

bool PtyHost::StopRequested() const {
  std::array<pollfd, 1> fds{{{wakeRead_.get(), POLLIN, 0}}};
  return PollRetrying(fds, 0) != 0;
}

}  // namespace vqsim
