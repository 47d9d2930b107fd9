#include "vqhw/frame_trace.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/frame_layout.h"
#include "vqhw/frame_record.h"
#include "vqhw/protocol_names.h"
#include "vqhw/text.h"

namespace vqtool {

namespace {

using vqhw::kFrameOverhead;
constexpr size_t kHeaderSize = vqhw::frame::kLength + 1;  // start, sequence, code, length

bool CheckByteRight(std::span<const uint8_t> frame) {
  uint8_t x = 0;
  for (uint8_t b : frame) x ^= b;
  return x == 0;  // the check byte is the XOR of all bytes before it
}

const char* DirectionText(LineDirection direction) {
  return direction == LineDirection::kToReader ? "host -> reader" : "reader -> host";
}

double Milliseconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

FrameTrace::FrameTrace(Output& out) : out_(out), start_(std::chrono::steady_clock::now()) {}

void FrameTrace::Observe(LineDirection direction, std::span<const uint8_t> bytes) {
  Observe(direction, bytes, std::chrono::steady_clock::now());
}

void FrameTrace::Observe(LineDirection direction, std::span<const uint8_t> bytes,
                         std::chrono::steady_clock::time_point at) {
  if (record_ != nullptr) record_->Observe(direction, bytes, at);
  FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
  for (const FrameSplitter::Piece& piece : splitter.Push(bytes)) Show(direction, piece, at);
}

void FrameTrace::Finish() {
  for (LineDirection direction : {LineDirection::kToReader, LineDirection::kToHost}) {
    FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
    if (auto rest = splitter.Flush()) Show(direction, *rest, std::chrono::steady_clock::now());
  }
  if (record_ != nullptr) record_->Finish();
}

void FrameTrace::Show(LineDirection direction, const FrameSplitter::Piece& piece,
                      std::chrono::steady_clock::time_point at) {
  const double atMs = Milliseconds(start_, at);
  nlohmann::json entry = {
      {"time_ms", atMs}, {"direction", direction == LineDirection::kToReader ? "to_reader" : "to_host"}};
  std::string text = Format("%10.1f ms  %s  ", atMs, DirectionText(direction));
  if (!piece.isFrame) {
    entry["noise"] = CompactHex(piece.bytes);
    out_.Entry("frames", entry, text + "not a frame: " + Hex(piece.bytes));
    return;
  }
  const std::span<const uint8_t> frame(piece.bytes);
  const uint8_t code = frame[2];
  const auto data = frame.subspan(kHeaderSize, frame.size() - kFrameOverhead);
  const bool toReader = direction == LineDirection::kToReader;
  const std::string name = toReader ? CommandName(code) : StatusByteName(code);
  entry["sequence"] = frame[1];
  entry["code"] = Format("%02X", code);
  entry["name"] = name;
  entry["data"] = CompactHex(data);
  entry["check_ok"] = CheckByteRight(frame);
  text += Format("#%u  %02X %-22s ", static_cast<unsigned>(frame[1]), code, name.c_str());
  text += data.empty() ? "-" : Hex(data);
  if (!entry["check_ok"].get<bool>()) text += "  (check byte wrong)";
  if (raw_) {
    entry["bytes"] = CompactHex(frame);
    text += "  [" + Hex(frame) + "]";
  }
  if (toReader) {
    lastCommand_ = at;
  } else if (lastCommand_) {
    const double answerMs = Milliseconds(*lastCommand_, at);
    entry["answer_ms"] = answerMs;
    text += Format("  (after %.1f ms)", answerMs);
  }
  out_.Entry("frames", entry, text);
}

}  // namespace vqtool
