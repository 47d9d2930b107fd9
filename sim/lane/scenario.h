#pragma once
// A lane scenario: a timeline of what happens around the reader while a
// host drives it. Each event fires at a time, after the n-th command (of a
// code, or of an APDU instruction), or during such a command:
//   a card enters or leaves the field; the card leaves during a command
//   (tearing); a fault on the line; the reader loses power for a while; the
//   PSAM is locked, removed or put back.
// The VirtualReader runs it under its own lock, command by command: what
// fell due since the last command is applied when the next one arrives,
// which no host can tell from applying it on time.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sim/cards/card.h"
#include "sim/lane/fault_plan.h"
#include "sim/lane/power_and_psam.h"
#include "sim/protocol/frame_parser.h"
#include "sim/commands/reader_state.h"

namespace vqsim {

// Which commands an event counts: every command frame, those of a code, or
// APDUs (0x60, 0x61) of an instruction byte.
struct CommandFilter {
  std::optional<uint8_t> command;
  std::optional<uint8_t> instruction;

  bool Matches(const ReceivedFrame& frame) const;
};

struct ScenarioTrigger {
  enum class Kind { kAt, kAfter, kDuring };
  Kind kind = Kind::kAt;
  std::chrono::milliseconds at{0};  // kAt: since the scenario started
  CommandFilter filter;             // kAfter, kDuring
  int count = 1;                    // the count-th matching command, 1 the first
  int times = 1;                    // kDuring: that one and the next times-1 matching ones
};

struct CardEnters {
  std::shared_ptr<Card> card;
};
struct CardLeaves {
  std::shared_ptr<Card> card;  // null: every card in the field
};
// The card the command is for leaves in the middle of it.
struct Tear {
  enum class Outcome {
    kDone,     // the card did it all; only the answer is lost
    kNotDone,  // the card did nothing
    kCorrupt,  // a MIFARE ONE block write stopped half way: the block's first
               // 8 bytes are new, the rest as before (a CPU card, which
               // commits whole transactions, does nothing instead)
  };
  Outcome outcome = Outcome::kDone;
  bool silent = false;  // the reader says nothing; else it answers "card timed out"
};
struct LineFault {
  FrameFaults faults;  // silent, late, garbage, wrong sequence
};
struct PowerOff {
  std::chrono::milliseconds duration{0};
};
struct PsamChange {
  using To = PsamTo;
  To to = To::kPresent;
};

struct ScenarioEvent {
  ScenarioTrigger when;
  std::variant<CardEnters, CardLeaves, Tear, LineFault, PowerOff, PsamChange> what;
};

// What the reader does with one command frame.
struct CommandPlan {
  bool unpowered = false;      // no power: nothing is run or answered
  std::optional<Tear> tear;
  FrameFaults faults;          // to add to the fault plan's own
};

class Scenario {
 public:
  explicit Scenario(std::vector<ScenarioEvent> events);

  // The clock of the "at" events starts here; the first command starts it otherwise.
  void Start(std::chrono::steady_clock::time_point at);

  // Under the reader's lock, when a command frame has arrived.
  CommandPlan BeforeCommand(ReaderState& state, const ReceivedFrame& frame);
  // Under the reader's lock, when the command's answer is due at `answeredAt`.
  void AfterCommand(ReaderState& state, const ReceivedFrame& frame,
                    std::chrono::steady_clock::time_point answeredAt);

  // One line for each event, saying whether it has fired.
  std::vector<std::string> Describe() const;

 private:
  struct Entry {
    ScenarioEvent event;
    int matched = 0;  // matching commands seen so far
    bool done = false;
  };

  void RunTimed(ReaderState& state, std::chrono::steady_clock::time_point now);
  void Apply(ReaderState& state, const ScenarioEvent& event, std::chrono::steady_clock::time_point now);

  std::vector<Entry> entries_;
  std::optional<std::chrono::steady_clock::time_point> start_;
};

}  // namespace vqsim
