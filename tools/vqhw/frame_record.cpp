#include "vqhw/frame_record.h"

#include "shared/exit_codes.h"
#include "vqhw/tool_error.h"

namespace vqtool {

namespace {

std::ofstream& Opened(std::ofstream& file, const std::string& path) {
  if (!file) throw ToolError(vqshared::kExitCannotWrite, path + ": cannot be written");
  return file;
}

}  // namespace

FrameRecord::FrameRecord(const std::string& path)
    : path_(path), file_(path, std::ios::trunc), writer_(Opened(file_, path)) {}

void FrameRecord::Observe(LineDirection direction, std::span<const uint8_t> bytes,
                          std::chrono::steady_clock::time_point at) {
  writer_.Observe(direction, bytes, at);
}

void FrameRecord::Finish() {
  writer_.Finish(std::chrono::steady_clock::now());
  if (!file_) throw ToolError(vqshared::kExitCannotWrite, path_ + ": could not be written in full");
}

}  // namespace vqtool
