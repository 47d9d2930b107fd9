#pragma once
// A session record: every frame on the line, both ways, with its time, one
// line each, in the format that `vqhw-sim --replay` plays back (described
// in sim/README.md):
//   # vqhw session record
//   #         ms  dir  bytes
//          0.000  >   FF 00 70 03 AA AA AA 26
//          2.431  <   FF 00 00 00 FF
// ">" host to reader, "<" reader to host; "?" right after it marks bytes
// that were no frame (noise, or a frame cut short). Written by `vqhw trace
// --record` on the host's side of the line and by `vqhw-sim --record` on
// the reader's.

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <vector>

namespace vqshared {

enum class LineDirection { kToReader, kToHost };

// Cuts one direction's byte stream into frames (FF, sequence, code,
// length L, L data bytes, check byte). Bytes in front of a frame start are
// noise; a frame may arrive in any number of pieces.
class FrameSplitter {
 public:
  struct Piece {
    bool isFrame = false;  // else noise, or at Flush an unfinished frame
    std::vector<uint8_t> bytes;
  };
  std::vector<Piece> Push(std::span<const uint8_t> bytes);
  // The bytes of an unfinished frame, if any.
  std::optional<Piece> Flush();

 private:
  std::vector<uint8_t> pending_;
};

// Writes the record into `out`, its times counted from `start`. Not
// thread-safe: one caller at a time.
class SessionRecordWriter {
 public:
  explicit SessionRecordWriter(std::ostream& out,
                               std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now());
  // The bytes seen on the line in one direction at `at`; a frame's line
  // carries the time of its last piece.
  void Observe(LineDirection direction, std::span<const uint8_t> bytes, std::chrono::steady_clock::time_point at);
  // Writes what is left of unfinished frames, as seen at `at`.
  void Finish(std::chrono::steady_clock::time_point at);

 private:
  void Write(LineDirection direction, const FrameSplitter::Piece& piece, std::chrono::steady_clock::time_point at);

  std::ostream& out_;
  std::chrono::steady_clock::time_point start_;
  FrameSplitter toReader_;
  FrameSplitter toHost_;
};

}  // namespace vqshared
