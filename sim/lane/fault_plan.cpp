#include "sim/lane/fault_plan.h"

#include <algorithm>
#include <cstdint>
#include <span>

#include "shared/hex_text.h"
#include "sim/protocol/frame_layout.h"
#include "sim/protocol/response_frame.h"

namespace vqsim {
namespace {

std::chrono::milliseconds NotNegative(std::chrono::milliseconds duration) {
  return std::max(duration, std::chrono::milliseconds{0});
}

}  // namespace

void FrameFaults::Add(const FrameFaults& other) {
  silent = silent || other.silent;
  wrongSequence = wrongSequence || other.wrongSequence;
  const auto take = [](auto& mine, const auto& theirs) {
    if (theirs) mine = theirs;
  };
  take(delay, other.delay);
  take(garbage, other.garbage);
  take(split, other.split);
  take(announcedLength, other.announcedLength);
  take(status, other.status);
  take(keptData, other.keptData);
  take(spoiltByte, other.spoiltByte);
}

std::vector<AnswerChunk> FrameFaults::Shape(uint8_t sequence, const Reply& reply) const {
  if (silent) return {};
  const uint8_t answeredSequence =
      wrongSequence ? static_cast<uint8_t>((sequence + 1) % kSequenceModulus) : sequence;

  std::vector<uint8_t> line = garbage.value_or(std::vector<uint8_t>{});
  const std::span<const uint8_t> data(reply.data.data(),
                                      std::min(reply.data.size(), keptData.value_or(SIZE_MAX)));
  std::vector<uint8_t> frame = EncodeResponse(answeredSequence, reply.status, data, announcedLength);
  if (spoiltByte) frame[std::min(*spoiltByte, frame.size() - 1)] ^= 0x01;
  line.insert(line.end(), frame.begin(), frame.end());

  const Split whole{line.size(), std::chrono::milliseconds{0}};
  const auto [chunkSize, pause] = split.value_or(whole);
  std::vector<AnswerChunk> chunks;
  for (size_t offset = 0; offset < line.size(); offset += chunkSize) {
    const size_t end = std::min(offset + chunkSize, line.size());
    chunks.push_back({offset == 0 ? delay.value_or(std::chrono::milliseconds{0}) : pause,
                      {line.begin() + static_cast<std::ptrdiff_t>(offset),
                       line.begin() + static_cast<std::ptrdiff_t>(end)}});
  }
  return chunks;
}

void FaultPlan::StaySilent(int commands) {
  std::lock_guard lock(mutex_);
  silent_.Set({}, commands);
}

void FaultPlan::WrongSequence(int commands) {
  std::lock_guard lock(mutex_);
  wrongSequence_.Set({}, commands);
}

void FaultPlan::AnswerLate(std::chrono::milliseconds delay, int commands) {
  std::lock_guard lock(mutex_);
  late_.Set(NotNegative(delay), commands);
}

void FaultPlan::GarbageBefore(std::vector<uint8_t> bytes, int commands) {
  std::lock_guard lock(mutex_);
  garbage_.Set(std::move(bytes), commands);
}

void FaultPlan::SplitAnswer(size_t chunkSize, std::chrono::milliseconds pause, int commands) {
  std::lock_guard lock(mutex_);
  split_.Set({std::max<size_t>(chunkSize, 1), NotNegative(pause)}, commands);
}

void FaultPlan::AnnounceLength(uint8_t length, int commands) {
  std::lock_guard lock(mutex_);
  announcedLength_.Set(length, commands);
}

void FaultPlan::StatusFor(uint8_t command, uint8_t statusByte, int commands) {
  std::lock_guard lock(mutex_);
  statusFor_[command].Set(statusByte, commands);
}

void FaultPlan::CutData(size_t kept, int commands) {
  std::lock_guard lock(mutex_);
  keptData_.Set(kept, commands);
}

void FaultPlan::SpoilByte(size_t offset, int commands) {
  std::lock_guard lock(mutex_);
  spoiltByte_.Set(offset, commands);
}

void FaultPlan::Clear() {
  std::lock_guard lock(mutex_);
  silent_ = {};
  wrongSequence_ = {};
  late_ = {};
  garbage_ = {};
  split_ = {};
  announcedLength_ = {};
  keptData_ = {};
  spoiltByte_ = {};
  statusFor_.clear();
}

FrameFaults FaultPlan::TakeFor(uint8_t command) {
  std::lock_guard lock(mutex_);
  FrameFaults faults;
  faults.silent = silent_.Take().has_value();
  faults.wrongSequence = wrongSequence_.Take().has_value();
  faults.delay = late_.Take();
  faults.garbage = garbage_.Take();
  faults.split = split_.Take();
  faults.announcedLength = announcedLength_.Take();
  faults.keptData = keptData_.Take();
  faults.spoiltByte = spoiltByte_.Take();
  if (auto it = statusFor_.find(command); it != statusFor_.end()) faults.status = it->second.Take();
  return faults;
}

std::vector<FaultPlan::Armed> FaultPlan::Describe() const {
  const auto hex = [](std::span<const uint8_t> bytes) { return vqshared::EncodeHex(bytes, " "); };
  const auto ms = [](std::chrono::milliseconds time) { return std::to_string(time.count()) + " ms"; };
  std::lock_guard lock(mutex_);
  std::vector<Armed> armed;
  const auto add = [&armed](const auto& planned, std::string kind, std::string setting) {
    if (planned.remaining != 0) armed.push_back({std::move(kind), std::move(setting), planned.remaining});
  };
  add(silent_, "silent", "");
  add(wrongSequence_, "wrong-sequence", "");
  add(late_, "late", ms(late_.value));
  add(garbage_, "garbage", hex(garbage_.value));
  add(split_, "split", std::to_string(split_.value.chunkSize) + " bytes, then " + ms(split_.value.pause));
  add(announcedLength_, "announced-length", std::to_string(announcedLength_.value));
  add(keptData_, "cut-data", std::to_string(keptData_.value) + " bytes kept");
  add(spoiltByte_, "spoilt-byte", "byte " + std::to_string(spoiltByte_.value));
  for (const auto& [command, status] : statusFor_) {
    const uint8_t both[] = {status.value, command};
    add(status, "status", "status " + hex(std::span(both, 1)) + " for command " + hex(std::span(both + 1, 1)));
  }
  return armed;
}

}  // namespace vqsim
