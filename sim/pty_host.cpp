#include "sim/pty_host.h"

#include <poll.h>
#include <unistd.h>

#include <array>

namespace vqsim {

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
  std::array<uint8_t, 1024> buffer{};
  while (true) {
    std::array<pollfd, 2> fds{{{pty_.master.get(), POLLIN, 0}, {stop_.Fd(), POLLIN, 0}}};
    if (PollRetrying(fds, -1) < 0 || fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;

    const ssize_t count = ::read(pty_.master.get(), buffer.data(), buffer.size());
    if (count <= 0) continue;  // EAGAIN: nothing after all
    const std::span<const uint8_t> received(buffer.data(), static_cast<size_t>(count));
    if (log_) log_(Direction::kFromHost, received);

    for (const AnswerChunk& chunk : reader_.Receive(received)) {
      if (!Deliver(chunk)) return;
    }
  }
}

// Writes never block the thread beyond a stop request, even when the host
// reads slowly or not at all.
bool PtyHost::Deliver(const AnswerChunk& chunk) {
  if (!PauseUnlessStopped(chunk.pauseBefore, stop_) ||
      !WriteAllUnlessStopped(pty_.master.get(), chunk.bytes, stop_)) {
    return false;
  }
  if (log_) log_(Direction::kToHost, chunk.bytes);
  return true;
}

}  // namespace vqsim
