#include "sim/hosts/line_server.h"

#include <algorithm>
#include <array>
#include <string>

namespace vqsim {

LineServer::LineServer(VirtualReader& reader, LineHost::Events events, Wire wire)
    : reader_(reader), events_(std::move(events)), wire_(wire) {}

LineServer::End LineServer::Serve(io::Stream& line, const io::Event& event, ComPortServer* comPort) {
  line_ = &line;
  event_ = &event;
  comPort_ = comPort;
  inbox_.clear();
  backlog_ = 0;
  overrun_ = false;
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
      backlog_ -= arrival.bytes.size();
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
        switch (ReadFromLane()) {
          case Read::kGone:
            end_ = End::kLineGone;
            return false;
          case Read::kEvent:
            end_ = End::kEvent;
            return false;
          case Read::kOk:
            break;
        }
        // A lane that writes without pause does not hold up an answer that is due.
        if (!deadline || Clock::now() >= *deadline) return true;
        break;
    }
  }
}

LineServer::Read LineServer::ReadFromLane() {
  std::array<uint8_t, 1024> buffer{};
  const std::optional<size_t> count = line_->Read(buffer);
  if (!count) return Read::kGone;
  if (*count == 0) return Read::kOk;
  const Clock::time_point now = Clock::now();
  const std::span<const uint8_t> received(buffer.data(), *count);
  if (!comPort_) {
    TakeIn(received, now);
    return Read::kOk;
  }
  ComPortServer::Incoming in = comPort_->Take(received);
  if (events_.settings) {
    for (const std::string& note : in.notes) events_.settings(note);
  }
  if (!io::WriteAll(*line_, in.reply, *event_)) return Read::kEvent;
  for (const ComPortServer::Piece& piece : in.pieces) {
    if (piece.purge) {
      inbox_.clear();
      backlog_ = 0;
    }
    if (!piece.data.empty()) TakeIn(piece.data, now);
  }
  return Read::kOk;
}

// A pty or a socket carries the lane's bytes at once; on a wire the last
// byte arrives one byte time per byte after the first, and never before
// the bytes ahead of it are in.
void LineServer::TakeIn(std::span<const uint8_t> bytes, Clock::time_point now) {
  if (events_.traffic) events_.traffic(LineHost::Direction::kFromHost, bytes);
  const size_t room = kLongestBacklog - backlog_;
  if (bytes.size() > room) {
    if (!overrun_) Note("the lane sends faster than the reader takes in: bytes lost");
    overrun_ = true;
    bytes = bytes.first(room);
  } else {
    overrun_ = false;
  }
  if (bytes.empty()) return;
  Clock::time_point at = now;
  if (wire_ != Wire::kOwn) {
    lineInFreeAt_ = std::max(now, lineInFreeAt_) + static_cast<int64_t>(bytes.size()) * reader_.ByteTime();
    at = lineInFreeAt_;
  }
  inbox_.push_back({{bytes.begin(), bytes.end()}, at});
  backlog_ += bytes.size();
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
  const std::chrono::nanoseconds byteTime = wire_ == Wire::kOwn ? std::chrono::nanoseconds{0} : chunk.byteTime;
  if (wire_ == Wire::kWholeChunk && byteTime.count() != 0 &&
      !WaitUntil(start + static_cast<int64_t>(bytes.size()) * byteTime)) {
    return false;
  }
  size_t sent = 0;
  while (sent < bytes.size()) {
    size_t due = bytes.size();
    if (wire_ == Wire::kEveryByte && byteTime.count() != 0) {
      due = std::min(bytes.size(),
                     std::max(sent + 1, static_cast<size_t>((Clock::now() - start) / byteTime)));
      if (!WaitUntil(start + static_cast<int64_t>(due) * byteTime)) return false;
    }
    if (!Send(bytes.subspan(sent, due - sent))) return false;
    sent = due;
  }
  if (events_.traffic) events_.traffic(LineHost::Direction::kToHost, bytes);
  return true;
}

bool LineServer::Send(std::span<const uint8_t> bytes) {
  const bool written = comPort_ ? io::WriteAll(*line_, ComPortServer::Outgoing(bytes), *event_)
                                : io::WriteAll(*line_, bytes, *event_);
  if (!written) end_ = End::kEvent;
  return written;
}

void LineServer::Note(const std::string& text) const {
  if (events_.clients) events_.clients(text);
}

}  // namespace vqsim
