#pragma once
// A session record: every frame on the line, both ways, with its time, one
// line each, in the format that `vqhw-sim --replay` plays back (described
// in sim/README.md):
//   # vqhw session record
//   #       ms  dir  bytes
//        0.000  >    FF 00 70 03 AA AA AA 26
//        2.431  <    FF 00 00 00 FF
// ">" host to reader, "<" reader to host; "?" in place of the direction's
// blank marks bytes that were no frame (noise, or a frame cut short).

#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <span>
#include <string>

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
  void Write(LineDirection direction, const FrameSplitter::Piece& piece, std::chrono::steady_clock::time_point at);

  std::string path_;
  std::ofstream file_;
  std::chrono::steady_clock::time_point start_;
  FrameSplitter toReader_;
  FrameSplitter toHost_;
};

}  // namespace vqtool
