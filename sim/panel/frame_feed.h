#pragma once
// What the panel knows of the lines: every frame each reader's line
// carries, decoded, kept in a ring of the latest frames with a number that
// grows by one, so that an event stream can go on from where it was; and,
// when asked, each reader's session recorded in the record format. Fed by
// the line hosts' threads, read by the panel's; thread-safe.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "shared/session_record.h"
#include "sim/reader/reader_model.h"

namespace vqsim::panel {

class FrameFeed {
 public:
  static constexpr size_t kKeptFrames = 2000;
  static constexpr size_t kLargestRecord = 16 << 20;  // bytes; recording stops there

  explicit FrameFeed(std::vector<VirtualReader*> readers, size_t largestRecord = kLargestRecord);

  // The bytes reader `index` (from 0) saw in one direction at `at`.
  void Observe(size_t index, vqshared::LineDirection direction, std::span<const uint8_t> bytes,
               std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now());

  // The frames numbered after `id`, oldest first, at most `most`.
  std::vector<nlohmann::json> After(uint64_t id, size_t most) const;
  uint64_t LastId() const;

  struct RecordState {
    bool recording = false;
    size_t frames = 0;
    bool full = false;  // stopped at kLargestRecord
  };
  // Starting discards the record before; stopping keeps it for Record().
  void SetRecording(size_t index, bool recording);
  RecordState Recording(size_t index) const;
  // The record so far, with its header.
  std::string Record(size_t index) const;

  size_t Readers() const { return lanes_.size(); }

 private:
  struct Lane {
    VirtualReader* reader = nullptr;
    vqshared::FrameSplitter toReader;
    vqshared::FrameSplitter toHost;
    std::optional<std::chrono::steady_clock::time_point> commandAt;
    std::vector<uint8_t> command;  // the last command frame, for its answer's times
    std::unique_ptr<std::ostringstream> record;
    std::optional<vqshared::SessionRecordWriter> writer;
    RecordState recordState;
  };

  void Add(Lane& lane, size_t index, vqshared::LineDirection direction, const vqshared::FrameSplitter::Piece& piece,
           std::chrono::steady_clock::time_point at);
  void AddTimes(Lane& lane, nlohmann::json& answer, std::span<const uint8_t> bytes,
                std::chrono::steady_clock::time_point at);

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  mutable std::mutex mutex_;
  std::vector<Lane> lanes_;
  const size_t largestRecord_;
  std::deque<nlohmann::json> frames_;
  uint64_t lastId_ = 0;
};

}  // namespace vqsim::panel
