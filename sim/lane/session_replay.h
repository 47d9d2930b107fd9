#pragma once
// Plays a session record back (its format: sim/README.md): each command
// frame from the host is compared with the next one recorded; when they are
// the same, the reader answers what was recorded after it, as long after it
// as recorded. The first command that differs is kept (which one, expected,
// got) and from then on nothing is answered. Thread-safe.
//
// With Sequence::kAny a command's sequence number is not compared (nor,
// with it, its check byte), and the recorded answer frames go out
// renumbered to the command's (one recorded with a wrong number stays as
// far off): a lane program recorded in one run may count from another
// number in the next.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/lane/fault_plan.h"
#include "sim/protocol/frame_parser.h"

namespace vqsim {

struct RecordedBytes {
  int line = 0;             // in the record
  double ms = 0;            // since the record began
  bool toReader = false;    // '>' host to reader, else '<'
  bool isFrame = true;      // '?': bytes that were no frame
  std::vector<uint8_t> bytes;
};

class SessionRecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws SessionRecordError naming the line of what is wrong.
std::vector<RecordedBytes> ParseSessionRecord(std::string_view text);

class SessionReplay {
 public:
  struct Difference {
    size_t command = 0;  // 1: the first command frame
    int line = 0;        // of the expected frame in the record; 0 past its end
    std::string expected;  // hex, or "the end of the record" / "nothing"
    std::string got;
  };

  enum class Sequence { kAsRecorded, kAny };

  // `onDifference` (may be empty) is called once, under the reader's lock,
  // when the first difference is found.
  explicit SessionReplay(std::vector<RecordedBytes> record, std::function<void()> onDifference = {},
                         Sequence sequence = Sequence::kAsRecorded);

  // `lineTime` is the frame's own time on the line before `frame.at`: the
  // record timed its answers from when the command was sent, which is when
  // its first byte went out.
  std::vector<AnswerChunk> Answer(const ReceivedFrame& frame, std::chrono::nanoseconds lineTime = {});

  std::optional<Difference> FirstDifference() const;
  // The difference of a session that stopped now: the first recorded
  // command that never came ("nothing" got), unless one differed before.
  std::optional<Difference> DifferenceAtEnd() const;
  size_t RecordedCommands() const;

 private:
  std::vector<RecordedBytes> record_;
  std::vector<size_t> commands_;  // indexes of the host's frames in record_
  std::function<void()> onDifference_;
  Sequence sequence_;
  mutable std::mutex mutex_;
  size_t next_ = 0;  // of commands_
  std::optional<Difference> difference_;
};

}  // namespace vqsim
