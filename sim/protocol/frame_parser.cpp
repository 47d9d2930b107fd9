#include "sim/protocol/frame_parser.h"

#include "sim/protocol/frame_layout.h"

namespace vqsim {

uint8_t ReceivedFrame::sequence() const {
  return bytes.size() > kSequenceIndex ? bytes[kSequenceIndex] : 0;
}

uint8_t ReceivedFrame::command() const {
  return bytes.size() > kCodeIndex ? bytes[kCodeIndex] : 0;
}

std::vector<uint8_t> ReceivedFrame::data() const {
  if (bytes.size() < kFrameOverhead) return {};
  return {bytes.begin() + kDataIndex, bytes.end() - 1};
}

FrameParser::FrameParser(std::chrono::milliseconds interByteTimeout)
    : interByteTimeout_(interByteTimeout) {}

void FrameParser::DropPartialFrame() {
  discarded_ += partial_.size();
  partial_.clear();
}

std::vector<ReceivedFrame> FrameParser::Feed(std::span<const uint8_t> bytes,
                                             std::chrono::steady_clock::time_point at) {
  std::vector<ReceivedFrame> complete;
  if (bytes.empty()) return complete;
  if (!partial_.empty() && at - lastByteAt_ > interByteTimeout_) {
    discarded_ += partial_.size();
    partial_.clear();
  }
  lastByteAt_ = at;

  for (uint8_t byte : bytes) {
    if (partial_.empty() && byte != kFrameStart) {
      ++discarded_;
      continue;
    }
    partial_.push_back(byte);
    if (partial_.size() > kLengthIndex &&
        partial_.size() == partial_[kLengthIndex] + kFrameOverhead) {
      const bool checkOk = XorOf(partial_) == 0;  // the check byte cancels the rest
      complete.push_back(ReceivedFrame{std::move(partial_), at, checkOk});
      partial_.clear();
    }
  }
  return complete;
}

}  // namespace vqsim
