#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "sim/hosts/platform/posix_io.h"

namespace vqsim::io {

namespace {

// The time left to `deadline` for ppoll(); null for no limit.
const timespec* Left(Deadline deadline, timespec& left) {
  if (!deadline) return nullptr;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::max(*deadline - Clock::now(), Clock::duration::zero()));
  left = {static_cast<time_t>(ns.count() / 1'000'000'000), static_cast<long>(ns.count() % 1'000'000'000)};
  return &left;
}

// The descriptor ready for `events`, the deadline, or the event first.
Wake WaitFor(int fd, short events, Deadline deadline, const Event& event) {
  while (true) {
    std::array<pollfd, 2> fds{{{event.Native().read.get(), POLLIN, 0}, {fd, events, 0}}};
    timespec left{};
    const int ready = ::ppoll(fds.data(), fd < 0 ? 1 : fds.size(), Left(deadline, left), nullptr);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[0].revents != 0) return Wake::kEvent;
    if (ready > 0) return Wake::kReady;  // hang-ups and errors too: the next read or write finds them
    return Wake::kDeadline;
  }
}

}  // namespace

void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) ThrowErrno("fcntl(O_NONBLOCK)");
}

Event::Event() : handles_(std::make_unique<Handles>()) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("pipe2");
  handles_->read = UniqueFd(fds[0]);
  handles_->write = UniqueFd(fds[1]);
}

Event::~Event() = default;

void Event::Set() {
  const char set = 1;
  // A full pipe is set already.
  [[maybe_unused]] const ssize_t written = ::write(handles_->write.get(), &set, 1);
}

void Event::Reset() {
  char drained[64];
  while (::read(handles_->read.get(), drained, sizeof drained) > 0) {
  }
}

bool Event::WaitUntil(Deadline deadline) const { return WaitFor(-1, 0, deadline, *this) == Wake::kEvent; }

Stream::Stream(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
Stream::~Stream() = default;
Stream::Stream(Stream&&) noexcept = default;
Stream& Stream::operator=(Stream&&) noexcept = default;

Wake Stream::WaitInput(Deadline deadline, const Event& event) const {
  return WaitFor(handles_->fd.get(), POLLIN, deadline, event);
}

Wake Stream::WaitRoom(Deadline deadline, const Event& event) const {
  return WaitFor(handles_->fd.get(), POLLOUT, deadline, event);
}

std::optional<size_t> Stream::Read(std::span<uint8_t> buffer) {
  const ssize_t count = ::read(handles_->fd.get(), buffer.data(), buffer.size());
  if (count > 0) return static_cast<size_t>(count);
  if (count < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  return std::nullopt;
}

std::optional<size_t> Stream::Write(std::span<const uint8_t> bytes) {
  const int fd = handles_->fd.get();
  const ssize_t count = handles_->socket ? ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                         : ::write(fd, bytes.data(), bytes.size());
  if (count >= 0) return static_cast<size_t>(count);
  if (errno == EAGAIN || errno == EINTR) return 0;
  return std::nullopt;
}

Wake WaitInputOnEither(const Stream& first, const Stream& second, const Event& event, bool& firstReady) {
  while (true) {
    std::array<pollfd, 3> fds{{{event.Native().read.get(), POLLIN, 0},
                               {first.Native().fd.get(), POLLIN, 0},
                               {second.Native().fd.get(), POLLIN, 0}}};
    const int ready = ::ppoll(fds.data(), fds.size(), nullptr, nullptr);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[0].revents != 0) return Wake::kEvent;
    firstReady = fds[1].revents != 0;
    return Wake::kReady;
  }
}

void WakeOnTime() { ::prctl(PR_SET_TIMERSLACK, 1UL); }

}  // namespace vqsim::io
