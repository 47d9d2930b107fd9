#pragma once
// A session record of the line (shared/session_record.h for its format),
// written into a file.

#include <chrono>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>

#include "shared/session_record.h"
#include "vqhw/frame_trace.h"

namespace vqtool {

class FrameRecord {
 public:
  // Throws ToolError when the file cannot be written.
  explicit FrameRecord(const std::string& path);
  // The bytes seen on the line in one direction at `at` (default: now).
  void Observe(LineDirection direction, std::span<const uint8_t> bytes,
               std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now());
  // Writes what is left of unfinished frames and flushes; throws ToolError
  // when the file could not be written in full.
  void Finish();

 private:
  std::string path_;
  std::ofstream file_;
  vqshared::SessionRecordWriter writer_;
};

}  // namespace vqtool
