#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <limits>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "sim/lane/fault_plan.h"
#include "sim/protocol/frame_parser.h"
#include "sim/commands/reader_state.h"
#include "sim/lane/scenario.h"
#include "sim/lane/session_replay.h"
#include "sim/lane/timing_profile.h"
#include "sim/lane/torn_command.h"

namespace vqsim {

// The virtual card reader: takes the host's bytes, runs every complete
// command frame, and plans the answers through its FaultPlan. It does no I/O
// itself, so a link only moves bytes. Thread-safe.
class VirtualReader {
 public:
  VirtualReader();

  void SetPsamPresent(bool present);  // default true
  // How long the line and the cards take; Instant() unless set.
  void SetTiming(TimingProfile profile);
  TimingProfile Timing() const;
  // The time of one byte on the host line at its current speed (0 when
  // the profile has no wire time): a link without a wire of its own paces
  // by it.
  std::chrono::nanoseconds ByteTime() const;
  // The card time of every command answered so far (what a benchmark
  // adds to the bytes' wire time for the limit of a run).
  Micros CardTimeSoFar() const;
  // The line time of every byte received and answered so far, each at the
  // line's speed then (0 without wire time): with the card time, the limit
  // that the wire and the cards set a lane.
  std::chrono::nanoseconds LineTimeSoFar() const;

  // The field may change while the reader runs: a card arrives, leaves.
  void InsertCard(std::shared_ptr<Card> card);
  void RemoveCard(const Card* card);
  void ClearField();
  // Runs `change` on the reader's state under its lock (cards' contents,
  // the PSAM model); keep it short, the reader waits meanwhile.
  void WithState(const std::function<void(ReaderState&)>& change);
  FaultPlan& Faults();
  // The random seeds of the cards made for this reader from descriptions
  // that give none of their own (field and scenario files, control
  // requests): none, for fresh randoms, unless SeedCards was called; then
  // the same sequence from the same seed, so that a run can be repeated.
  void SeedCards(uint32_t seed);
  std::optional<uint32_t> NextCardSeed();

  // Arms a tear for the next command `target` names (ctl tear): the card
  // leaves in the middle of it, as a scenario's tear event does. Arming
  // again replaces the tear armed before.
  void ArmTear(Tear tear, TearTarget target);
  // The armed faults, the armed tear and a power cut that stands, one line
  // each ("late 300 ms, the next 2 commands", "power off, back in 80 ms").
  std::vector<std::string> DescribeArmed() const;

  // Runs a lane scenario from now on (none: stops the one running). What
  // the one before did stays: a power cut it began lasts its time, a PSAM
  // it locked stays locked.
  void SetScenario(std::shared_ptr<Scenario> scenario);
  std::vector<std::string> DescribeScenario() const;
  // Answers every command from a session record instead (none: as a reader again).
  void SetReplay(std::shared_ptr<SessionReplay> replay);
  bool Replaying() const;

  std::vector<ReceivedFrame> ReceivedFrames() const;  // every command frame received so far, in order
  size_t CountReceived(uint8_t command) const;
  void ClearReceived();
  // Keeps only the latest `frames` received frames (a long-running reader
  // would otherwise grow without end). Unlimited by default.
  void LimitHistory(size_t frames);

  // Another host is on the line (a new client of a TCP port): a frame the
  // one before cut short is forgotten, not completed by the newcomer's bytes.
  void DropPartialFrame();

  // Bytes from the host, the last of them arrived at `at`; returns what to
  // write back, in order. An answer is not due before `at` plus the card's time.
  std::vector<AnswerChunk> Receive(std::span<const uint8_t> bytes,
                                   std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now());

 private:
  std::vector<AnswerChunk> Answer(const ReceivedFrame& frame);
  void TrimHistory();

  mutable std::mutex mutex_;
  FrameParser parser_;
  ReaderState state_;
  std::vector<ReceivedFrame> received_;
  size_t historyLimit_ = std::numeric_limits<size_t>::max();
  FaultPlan faults_;
  std::shared_ptr<Scenario> scenario_;
  std::shared_ptr<SessionReplay> replay_;
  struct ArmedTear {
    Tear tear;
    TearTarget target;
  };
  std::optional<ArmedTear> armedTear_;
  TimingProfile timing_ = TimingProfile::Instant();
  std::optional<std::mt19937> cardSeeds_;
  Micros cardTimeSoFar_{0};
  std::chrono::nanoseconds lineTimeSoFar_{0};
};

}  // namespace vqsim
