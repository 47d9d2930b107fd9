#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <limits>
#include <mutex>
#include <span>
#include <vector>

#include "sim/fault_plan.h"
#include "sim/frame_parser.h"
#include "sim/reader_state.h"

namespace vqsim {

// The virtual card reader: takes the host's bytes, runs every complete
// command frame, and plans the answers through its FaultPlan. It does no I/O
// itself, so a link only moves bytes. Thread-safe.
class VirtualReader {
 public:
  VirtualReader();

  void SetPsamPresent(bool present);  // default true

  // The field may change while the reader runs: a card arrives, leaves.
  void InsertCard(std::shared_ptr<Card> card);
  void RemoveCard(const Card* card);
  void ClearField();
  // Runs `change` on the reader's state under its lock (cards' contents,
  // the PSAM model); keep it short, the reader waits meanwhile.
  void WithState(const std::function<void(ReaderState&)>& change);
  FaultPlan& Faults();

  std::vector<ReceivedFrame> ReceivedFrames() const;  // every command frame received so far, in order
  size_t CountReceived(uint8_t command) const;
  void ClearReceived();
  // Keeps only the latest `frames` received frames (a long-running reader
  // would otherwise grow without end). Unlimited by default.
  void LimitHistory(size_t frames);

  // Bytes from the host, arrived at `at`; returns what to write back, in order.
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
};

}  // namespace vqsim
