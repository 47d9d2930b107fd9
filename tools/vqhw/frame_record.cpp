#include "vqhw/frame_record.h"

#include <cstdio>
#include <stdexcept>

namespace vqtool {

FrameRecord::FrameRecord(const std::string& path)
    : path_(path), file_(path, std::ios::trunc), start_(std::chrono::steady_clock::now()) {
  if (!file_) throw std::runtime_error(path + ": cannot be written");
  file_ << "# vqhw session record\n#         ms  dir  bytes\n";
}

void FrameRecord::Observe(LineDirection direction, std::span<const uint8_t> bytes) {
  FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
  for (const FrameSplitter::Piece& piece : splitter.Push(bytes)) Write(direction, piece);
}

void FrameRecord::Finish() {
  for (LineDirection direction : {LineDirection::kToReader, LineDirection::kToHost}) {
    FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
    if (auto rest = splitter.Flush()) Write(direction, *rest);
  }
  file_.flush();
  if (!file_) throw std::runtime_error(path_ + ": could not be written in full");
}

void FrameRecord::Write(LineDirection direction, const FrameSplitter::Piece& piece) {
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  char line[32];
  std::snprintf(line, sizeof line, "%12.3f  %c%c  ", ms, direction == LineDirection::kToReader ? '>' : '<',
                piece.isFrame ? ' ' : '?');
  file_ << line;
  for (size_t i = 0; i < piece.bytes.size(); ++i) {
    std::snprintf(line, sizeof line, i == 0 ? "%02X" : " %02X", piece.bytes[i]);
    file_ << line;
  }
  file_ << '\n';
}

}  // namespace vqtool
