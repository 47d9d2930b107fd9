#pragma once
// The reader's side of one connected line, served on the calling thread:
// what the lane sends goes to the VirtualReader, the answers it plans go
// back at their time, and the lane may write meanwhile, as a reader's
// receiver takes bytes in while the reader is busy. Every host serves its
// line with it.
//
// A line without a wire of its own (a pty, a TCP connection) gets the
// time of one here: a command counts as arrived after its bytes' time on
// the line, and an answer's bytes go out when their time on the line is
// over: on a pty one byte time apart, as a UART gives them; on a TCP
// connection together, as a device server sends on in one segment what
// came off the line at once. On a serial device the wire takes that time
// itself, and only the card's time is waited out here.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "sim/hosts/line_host.h"
#include "sim/hosts/platform/line_io.h"
#include "sim/hosts/tcp/com_port_server.h"
#include "sim/reader/reader_model.h"

namespace vqsim {

class LineServer {
 public:
  // The lane's bytes that the reader has not taken in are kept up to this;
  // beyond it they are lost, as an overrun receiver loses them, so that a
  // flood cannot grow the memory.
  static constexpr size_t kLongestBacklog = 64 * 1024;

  enum class End { kEvent, kLineGone };
  enum class Wire {
    kOwn,         // a serial device: its wire keeps the time
    kEveryByte,   // a pty: each byte when its time is over
    kWholeChunk,  // a TCP port: the bytes of an answer together, when the last one's time is over
  };

  LineServer(VirtualReader& reader, LineHost::Events events, Wire wire);

  // Serves `line` until `event` is set or the line goes. With `comPort`,
  // the line carries telnet with the com port option (RFC 2217).
  End Serve(io::Stream& line, const io::Event& event, ComPortServer* comPort = nullptr);

 private:
  using Clock = std::chrono::steady_clock;
  // Lane bytes with the time their last one is in, on the wire's clock.
  struct Arrival {
    std::vector<uint8_t> bytes;
    Clock::time_point at;
  };
  enum class Read { kOk, kGone, kEvent };

  bool WaitUntil(io::Deadline deadline);
  Read ReadFromLane();
  void TakeIn(std::span<const uint8_t> bytes, Clock::time_point now);
  bool Deliver(const AnswerChunk& chunk);
  bool Send(std::span<const uint8_t> bytes);
  void Note(const std::string& text) const;

  VirtualReader& reader_;
  const LineHost::Events events_;
  const Wire wire_;

  // The line being served, and what it holds; the serving thread's own.
  io::Stream* line_ = nullptr;
  const io::Event* event_ = nullptr;
  ComPortServer* comPort_ = nullptr;
  End end_ = End::kEvent;
  std::deque<Arrival> inbox_;
  size_t backlog_ = 0;  // bytes in inbox_
  bool overrun_ = false;
  std::deque<AnswerChunk> answers_;
  Clock::time_point lineInFreeAt_{};
};

}  // namespace vqsim
