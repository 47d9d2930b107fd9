#include "sim/hosts/pty_host.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace vqsim {

namespace {

using Clock = std::chrono::steady_clock;

timespec Timespec(Clock::duration left) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(left, Clock::duration::zero()));
  return {static_cast<time_t>(ns.count() / 1'000'000'000), static_cast<long>(ns.count() % 1'000'000'000)};
}

}  // namespace

PtyHost::PtyHost(VirtualReader& reader, TrafficLog log)
    : reader_(reader), log_(std::move(log)), pty_(OpenPtyPair()) {
  thread_ = std::thread([this] { Serve(); });
}

PtyHost::~PtyHost() {
  stop_.Raise();
  thread_.join();
}

const std::string& PtyHost::SlavePath() const { return pty_.slavePath; }

void PtyHost::Serve() {
  // Byte times are tens of microseconds: the kernel's default timer slack
  // (50 us) would stretch every one of them.
  ::prctl(PR_SET_TIMERSLACK, 1UL);
  while (true) {
    while (!inbox_.empty()) {
      Arrival arrival = std::move(inbox_.front());
      inbox_.pop_front();
      for (const AnswerChunk& chunk : reader_.Receive(arrival.bytes, arrival.at)) {
        if (!Deliver(chunk)) return;
      }
    }
    if (!WaitUntil(std::nullopt)) return;
  }
}

// A pty carries the host's frame at once; on a wire its last byte arrives
// one byte time per byte after the first, and never before the bytes ahead
// of it are in.
void PtyHost::ReadFromHost() {
  std::array<uint8_t, 1024> buffer{};
  const ssize_t count = ::read(pty_.master.get(), buffer.data(), buffer.size());
  if (count <= 0) return;  // EAGAIN: nothing after all
  const Clock::time_point now = Clock::now();
  const std::span<const uint8_t> received(buffer.data(), static_cast<size_t>(count));
  if (log_) log_(Direction::kFromHost, received);
  lineInFreeAt_ = std::max(now, lineInFreeAt_) + static_cast<int64_t>(count) * reader_.ByteTime();
  inbox_.push_back({{received.begin(), received.end()}, lineInFreeAt_});
}

// Sleeps until `deadline` (none: until the host writes), taking in what the
// host writes meanwhile, as a reader's receiver does while it is busy.
// False when a stop was requested.
bool PtyHost::WaitUntil(std::optional<Clock::time_point> deadline) {
  while (true) {
    const Clock::time_point now = Clock::now();
    if (deadline && now >= *deadline) return !stop_.Raised();
    std::array<pollfd, 2> fds{{{pty_.master.get(), POLLIN, 0}, {stop_.Fd(), POLLIN, 0}}};
    const timespec left = deadline ? Timespec(*deadline - now) : timespec{};
    const int ready = ::ppoll(fds.data(), fds.size(), deadline ? &left : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) {
      ReadFromHost();
      if (!deadline) return true;
    }
  }
}

// Each byte goes out when its time on the line is over, so the host's
// receiver meets them one by one. Writes never block the thread beyond a
// stop request, even when the host reads slowly or not at all.
bool PtyHost::Deliver(const AnswerChunk& chunk) {
  // The bytes are timed from when the answer is due, not from when this
  // thread woke up for it: the thread's own lateness is not the line's, and
  // the bytes it held up go out together.
  const Clock::time_point start = std::max(chunk.notBefore, Clock::now()) + chunk.pauseBefore;
  if (!WaitUntil(start)) return false;
  const std::span<const uint8_t> bytes(chunk.bytes);
  if (chunk.byteTime.count() == 0) {
    if (!WriteAllUnlessStopped(pty_.master.get(), bytes, stop_)) return false;
  } else {
    for (size_t sent = 0; sent < bytes.size();) {
      const size_t due = std::min<size_t>(
          bytes.size(), std::max<size_t>(sent + 1, static_cast<size_t>((Clock::now() - start) / chunk.byteTime)));
      if (!WaitUntil(start + static_cast<int64_t>(due) * chunk.byteTime) ||
          !WriteAllUnlessStopped(pty_.master.get(), bytes.subspan(sent, due - sent), stop_)) {
        return false;
      }
      sent = due;
    }
  }
  if (log_) log_(Direction::kToHost, bytes);
  return true;
}

}  // namespace vqsim
