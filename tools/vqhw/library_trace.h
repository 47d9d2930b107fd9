#pragma once
// The frames of the library's own trace (the file that VQHW_TRACE names),
// for `trace` where no relay can stand between the library and its port
// (Windows, and a network port anywhere). The library writes a record a
// line; a frame is
// "2026-12-09 17:07:03.123 >> FF 01 ..." for one it sent (>>) or
// "... << ..." for one it received, with the local time it was written.
// Only frames the library accepted reach its trace: bytes on the line that
// are no frame do not.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "vqhw/frame_trace.h"

namespace vqtool {

struct TracedFrame {
  LineDirection direction = LineDirection::kToReader;
  std::vector<uint8_t> bytes;
  std::optional<std::chrono::system_clock::time_point> at;  // none when the line had no readable time
};

// The frame of one trace line; none for the library's other records
// (notes, retries, operating-system failures) and for anything else.
std::optional<TracedFrame> ParseTraceLine(std::string_view line);

// The file VQHW_TRACE names, when it names one (not "stderr"); else empty.
std::string NamedTraceFile();

// Reads a trace file while the library appends to it, and hands each new
// frame on, with the time the library gave it, on the follower's thread.
class LibraryTraceFollower {
 public:
  using Observer = std::function<void(LineDirection, std::span<const uint8_t>, std::chrono::steady_clock::time_point)>;

  // Follows `path` from its present end, making the file if there is none.
  // Throws std::system_error when it cannot be read.
  LibraryTraceFollower(const std::string& path, Observer observer);
  // Hands each frame to `trace`, which must outlive the follower.
  LibraryTraceFollower(const std::string& path, FrameTrace& trace);
  // Hands on what the file holds by now, then stops.
  ~LibraryTraceFollower();
  LibraryTraceFollower(const LibraryTraceFollower&) = delete;
  LibraryTraceFollower& operator=(const LibraryTraceFollower&) = delete;

 private:
  void Follow();
  void HandOnNewLines();

  Observer observer_;
  std::string path_;
  // Read once, so that two frames stamped 40 ms apart are 40 ms apart.
  std::chrono::system_clock::duration systemToSteady_;
  long offset_ = 0;  // how far the file has been read
  std::string partialLine_;
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vqtool
