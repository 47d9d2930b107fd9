#pragma once
// The reader's side of one connected line, served on the calling thread:
// what the lane sends goes to the VirtualReader, the answers it plans go
// back at their time, and the lane may write meanwhile, as a reader's
// receiver takes bytes in while the reader is busy. Every host serves its
// line with it.
//
// A line without a wire of its own (a pty, a TCP connection) gets the
// time of one here: a command counts as arrived after its bytes' time on
// the line, and answer bytes go out one byte time apart. On a serial
// device the wire takes that time itself, and only the card's time is
// waited out here.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "sim/hosts/line_host.h"
#include "sim/hosts/platform/line_io.h"
#include "sim/reader/reader_model.h"

namespace vqsim {

class LineServer {
 public:
  enum class End { kEvent, kLineGone };

  LineServer(VirtualReader& reader, LineHost::Events events, bool ownWire);

  // Serves `line` until `event` is set or the line goes.
  End Serve(io::Stream& line, const io::Event& event);

 private:
  using Clock = std::chrono::steady_clock;
  // Lane bytes with the time their last one is in, on the wire's clock.
  struct Arrival {
    std::vector<uint8_t> bytes;
    Clock::time_point at;
  };

  bool WaitUntil(io::Deadline deadline);
  bool ReadFromLane();
  bool Deliver(const AnswerChunk& chunk);

  VirtualReader& reader_;
  const LineHost::Events events_;
  const bool ownWire_;

  // The line being served, and what it holds; the serving thread's own.
  io::Stream* line_ = nullptr;
  const io::Event* event_ = nullptr;
  End end_ = End::kEvent;
  std::deque<Arrival> inbox_;
  std::deque<AnswerChunk> answers_;
  Clock::time_point lineInFreeAt_{};
};

}  // namespace vqsim
