#include "sim/panel/frame_feed.h"

#include "sim/panel/frame_decoder.h"
#include "sim/protocol/frame_layout.h"

namespace vqsim::panel {

namespace {

using nlohmann::json;
using vqshared::LineDirection;

double Ms(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

FrameFeed::FrameFeed(std::vector<VirtualReader*> readers, size_t largestRecord)
    : lanes_(readers.size()), largestRecord_(largestRecord) {
  for (size_t i = 0; i < readers.size(); ++i) lanes_[i].reader = readers[i];
}

void FrameFeed::Observe(size_t index, LineDirection direction, std::span<const uint8_t> bytes,
                        std::chrono::steady_clock::time_point at) {
  std::lock_guard lock(mutex_);
  Lane& lane = lanes_.at(index);
  if (lane.writer) {
    lane.writer->Observe(direction, bytes, at);
    if (static_cast<size_t>(lane.record->tellp()) >= largestRecord_) {
      lane.writer.reset();
      lane.recordState.recording = false;
      lane.recordState.full = true;
    }
  }
  auto& splitter = direction == LineDirection::kToReader ? lane.toReader : lane.toHost;
  for (const auto& piece : splitter.Push(bytes)) Add(lane, index, direction, piece, at);
}

void FrameFeed::Add(Lane& lane, size_t index, LineDirection direction, const vqshared::FrameSplitter::Piece& piece,
                    std::chrono::steady_clock::time_point at) {
  const bool command = direction == LineDirection::kToReader;
  const uint8_t answered = lane.command.size() > kCodeIndex ? lane.command[kCodeIndex] : 0;
  json frame = DecodeFrame(direction, piece.bytes, piece.isFrame, answered);
  frame["id"] = ++lastId_;
  frame["reader"] = index + 1;
  frame["ms"] = Ms(at - start_);
  if (piece.isFrame && command) {
    lane.commandAt = at;
    lane.command = piece.bytes;
  } else if (piece.isFrame && lane.commandAt) {
    AddTimes(lane, frame, piece.bytes, at);
    lane.commandAt.reset();
  }
  if (piece.isFrame && lane.writer) ++lane.recordState.frames;
  frames_.push_back(std::move(frame));
  if (frames_.size() > kKeptFrames) frames_.pop_front();
}

// An answer's exchange against what the wire and the card account for.
void FrameFeed::AddTimes(Lane& lane, json& answer, std::span<const uint8_t> bytes,
                         std::chrono::steady_clock::time_point at) {
  const TimingProfile timing = lane.reader->Timing();
  uint32_t baud = 0;
  lane.reader->WithState([&baud](ReaderState& state) { baud = state.hostLineBaud; });
  const auto card = timing.CardTime(lane.command[kCodeIndex], FrameData(lane.command), FrameData(bytes));
  answer["exchangeMs"] = Ms(at - *lane.commandAt);
  answer["wireMs"] = Ms(timing.LineTime(bytes.size(), baud));
  answer["cardMs"] = std::chrono::duration<double, std::milli>(card).count();
}

std::vector<json> FrameFeed::After(uint64_t id, size_t most) const {
  std::lock_guard lock(mutex_);
  std::vector<json> after;
  for (const json& frame : frames_) {
    if (frame["id"].get<uint64_t>() <= id) continue;
    after.push_back(frame);
    if (after.size() == most) break;
  }
  return after;
}

uint64_t FrameFeed::LastId() const {
  std::lock_guard lock(mutex_);
  return lastId_;
}

void FrameFeed::SetRecording(size_t index, bool recording) {
  std::lock_guard lock(mutex_);
  Lane& lane = lanes_.at(index);
  if (recording == lane.recordState.recording) return;
  if (recording) {
    lane.record = std::make_unique<std::ostringstream>();
    lane.writer.emplace(*lane.record);
    lane.recordState = {true, 0, false};
  } else {
    lane.writer->Finish(std::chrono::steady_clock::now());
    lane.writer.reset();
    lane.recordState.recording = false;
  }
}

FrameFeed::RecordState FrameFeed::Recording(size_t index) const {
  std::lock_guard lock(mutex_);
  return lanes_.at(index).recordState;
}

std::string FrameFeed::Record(size_t index) const {
  std::lock_guard lock(mutex_);
  const Lane& lane = lanes_.at(index);
  return lane.record ? lane.record->str() : std::string();
}

}  // namespace vqsim::panel
