#include "sim/hosts/line_server.h"

#include <algorithm>
#include <array>

namespace vqsim {

LineServer::LineServer(VirtualReader& reader, LineHost::Events events, bool ownWire)
    : reader_(reader), events_(std::move(events)), ownWire_(ownWire) {}

LineServer::End LineServer::Serve(io::Stream& line, const io::Event& event) {
  line_ = &line;
  event_ = &event;
  inbox_.clear();
  answers_.clear();
  lineInFreeAt_ = {};
  while (true) {
    if (!answers_.empty()) {
      const AnswerChunk chunk = std::move(answers_.front());
      answers_.pop_front();
      if (!Deliver(chunk)) return end_;
    } else if (!inbox_.empty()) {
      const Arrival arrival = std::move(inbox_.front());
      inbox_.pop_front();
      for (AnswerChunk& chunk : reader_.Receive(arrival.bytes, arrival.at)) answers_.push_back(std::move(chunk));
    } else if (!WaitUntil(std::nullopt)) {
      return end_;
    }
  }
}

// Sleeps until `deadline` (none: until the lane writes), taking in what the
// lane writes meanwhile. False when the line ends, `end_` says how.
bool LineServer::WaitUntil(io::Deadline deadline) {
  while (true) {
    switch (line_->WaitInput(deadline, *event_)) {
      case io::Wake::kEvent:
        end_ = End::kEvent;
        return false;
      case io::Wake::kDeadline:
        return true;
      case io::Wake::kReady:
        if (!ReadFromLane()) {
          end_ = End::kLineGone;
          return false;
        }
        if (!deadline) return true;
        break;
    }
  }
}

// A pty carries the lane's bytes at once; on a wire the last byte arrives
// one byte time per byte after the first, and never before the bytes
// ahead of it are in. False when the line is gone.
bool LineServer::ReadFromLane() {
  std::array<uint8_t, 1024> buffer{};
  const std::optional<size_t> count = line_->Read(buffer);
  if (!count) return false;
  if (*count == 0) return true;
  const Clock::time_point now = Clock::now();
  const std::span<const uint8_t> received(buffer.data(), *count);
  if (events_.traffic) events_.traffic(LineHost::Direction::kFromHost, received);
  Clock::time_point at = now;
  if (!ownWire_) {
    lineInFreeAt_ = std::max(now, lineInFreeAt_) + static_cast<int64_t>(received.size()) * reader_.ByteTime();
    at = lineInFreeAt_;
  }
  inbox_.push_back({{received.begin(), received.end()}, at});
  return true;
}

// Each byte goes out when its time on the line is over, so the lane's
// receiver meets them one by one. Writes never block the thread beyond the
// event, even when the lane reads slowly or not at all.
bool LineServer::Deliver(const AnswerChunk& chunk) {
  // The bytes are timed from when the answer is due, not from when this
  // thread woke up for it: the thread's own lateness is not the line's, and
  // the bytes it held up go out together.
  const Clock::time_point start = std::max(chunk.notBefore, Clock::now()) + chunk.pauseBefore;
  if (!WaitUntil(start)) return false;
  const std::span<const uint8_t> bytes(chunk.bytes);
  const std::chrono::nanoseconds byteTime = ownWire_ ? std::chrono::nanoseconds{0} : chunk.byteTime;
  for (size_t sent = 0; sent < bytes.size();) {
    size_t due = bytes.size();
    if (byteTime.count() != 0) {
      due = std::min(bytes.size(),
                     std::max(sent + 1, static_cast<size_t>((Clock::now() - start) / byteTime)));
      if (!WaitUntil(start + static_cast<int64_t>(due) * byteTime)) return false;
    }
    if (!io::WriteAll(*line_, bytes.subspan(sent, due - sent), *event_)) {
      end_ = End::kEvent;
      return false;
    }
    sent = due;
  }
  if (events_.traffic) events_.traffic(LineHost::Direction::kToHost, bytes);
  return true;
}

}  // namespace vqsim
