#include "vqhw/frame_record.h"

#include <cstdio>

#include "shared/exit_codes.h"
#include "vqhw/tool_error.h"

namespace vqtool {

FrameRecord::FrameRecord(const std::string& path)
    : path_(path), file_(path, std::ios::trunc), start_(std::chrono::steady_clock::now()) {
  if (!file_) throw ToolError(vqshared::kExitCannotWrite, path + ": cannot be written");
  file_ << "# vqhw session record\n#         ms  dir  bytes\n";
}

void FrameRecord::Observe(LineDirection direction, std::span<const uint8_t> bytes,
                          std::chrono::steady_clock::time_point at) {
  FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
  for (const FrameSplitter::Piece& piece : splitter.Push(bytes)) Write(direction, piece, at);
}

void FrameRecord::Finish() {
  for (LineDirection direction : {LineDirection::kToReader, LineDirection::kToHost}) {
    FrameSplitter& splitter = direction == LineDirection::kToReader ? toReader_ : toHost_;
    if (auto rest = splitter.Flush()) Write(direction, *rest, std::chrono::steady_clock::now());
  }
  file_.flush();
  if (!file_) throw ToolError(vqshared::kExitCannotWrite, path_ + ": could not be written in full");
}

void FrameRecord::Write(LineDirection direction, const FrameSplitter::Piece& piece,
                        std::chrono::steady_clock::time_point at) {
  const double ms = std::chrono::duration<double, std::milli>(at - start_).count();
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
