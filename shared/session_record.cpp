#include "shared/session_record.h"

#include <algorithm>
#include <cstdio>

namespace vqshared {

namespace {

constexpr uint8_t kFrameStart = 0xFF;
constexpr size_t kLengthIndex = 3;
constexpr size_t kFrameOverhead = 5;  // start, sequence, code, length, check byte

}  // namespace

std::vector<FrameSplitter::Piece> FrameSplitter::Push(std::span<const uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  std::vector<Piece> pieces;
  while (!pending_.empty()) {
    const auto start = std::ranges::find(pending_, kFrameStart);
    if (start != pending_.begin()) {
      pieces.push_back({false, {pending_.begin(), start}});
      pending_.erase(pending_.begin(), start);
      continue;
    }
    if (pending_.size() <= kLengthIndex) break;
    const size_t frameSize = pending_[kLengthIndex] + kFrameOverhead;
    if (pending_.size() < frameSize) break;
    const auto end = pending_.begin() + static_cast<std::ptrdiff_t>(frameSize);
    pieces.push_back({true, {pending_.begin(), end}});
    pending_.erase(pending_.begin(), end);
  }
  return pieces;
}

std::optional<FrameSplitter::Piece> FrameSplitter::Flush() {
  if (pending_.empty()) return std::nullopt;
  Piece rest{false, std::move(pending_)};
  pending_.clear();
  return rest;
}

SessionRecordWriter::SessionRecordWriter(std::ostream& out, std::chrono::steady_clock::time_point start)
    : out_(out), start_(start) {
  out_ << "# vqhw session record\n#         ms  dir  bytes\n";
}

void SessionRecordWriter::Observe(LineDirection direction, std::span<const uint8_t> bytes,
                                  std::chrono::steady_clock::time_point at) {
  FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
  for (const FrameSplitter::Piece& piece : splitter.Push(bytes)) Write(direction, piece, at);
}

void SessionRecordWriter::Finish(std::chrono::steady_clock::time_point at) {
  for (LineDirection direction : {LineDirection::kToReader, LineDirection::kToHost}) {
    FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
    if (auto rest = splitter.Flush()) Write(direction, *rest, at);
  }
  out_.flush();
}

void SessionRecordWriter::Write(LineDirection direction, const FrameSplitter::Piece& piece,
                                std::chrono::steady_clock::time_point at) {
  const double ms = std::chrono::duration<double, std::milli>(at - start_).count();
  char line[32];
  std::snprintf(line, sizeof line, "%12.3f  %c%c  ", ms, direction == LineDirection::kToReader ? '>' : '<',
                piece.isFrame ? ' ' : '?');
  out_ << line;
  for (size_t i = 0; i < piece.bytes.size(); ++i) {
    std::snprintf(line, sizeof line, i == 0 ? "%02X" : " %02X", piece.bytes[i]);
    out_ << line;
  }
  out_ << '\n';
}

}  // namespace vqshared
