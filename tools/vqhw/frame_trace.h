#pragma once
// The frame trace: both directions of the line cut into frames and shown
// one by one, with the time since the trace began, the direction, the
// sequence number, the command or status with its name, the data, and for
// an answer the time since the command before it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "shared/session_record.h"
#include "vqhw/output.h"

namespace vqtool {

using LineDirection = vqshared::LineDirection;
using vqshared::FrameSplitter;

class FrameRecord;

class FrameTrace {
 public:
  explicit FrameTrace(Output& out);
  // Each frame's whole bytes shown too (its "bytes" in JSON).
  void ShowRaw(bool raw) { raw_ = raw; }
  // Every frame also goes into `record` (may be null), which must outlive the trace.
  void RecordTo(FrameRecord* record) { record_ = record; }
  // The bytes seen on the line in one direction; call from one thread at a time.
  void Observe(LineDirection direction, std::span<const uint8_t> bytes);
  // The same, seen at `at` (a frame reported after it passed, with its time).
  void Observe(LineDirection direction, std::span<const uint8_t> bytes, std::chrono::steady_clock::time_point at);
  // Shows what is left of unfinished frames.
  void Finish();

 private:
  void Show(LineDirection direction, const FrameSplitter::Piece& piece, std::chrono::steady_clock::time_point at);

  Output& out_;
  std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> lastCommand_;
  FrameSplitter toReader_;
  FrameSplitter toHost_;
  bool raw_ = false;
  FrameRecord* record_ = nullptr;
};

}  // namespace vqtool
