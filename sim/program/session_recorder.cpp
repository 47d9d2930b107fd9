#include "sim/program/session_recorder.h"

#include <chrono>

#include "shared/exit_codes.h"
#include "sim/program/failure.h"

namespace vqsim::program {

namespace {

std::ofstream& Opened(std::ofstream& file, const std::string& path) {
  if (!file) throw Failure{vqshared::kExitCannotWrite, path + ": cannot be written"};
  return file;
}

}  // namespace

SessionRecorder::SessionRecorder(const std::string& path)
    : path_(path), file_(path, std::ios::trunc), writer_(Opened(file_, path)) {}

void SessionRecorder::Observe(LineHost::Direction direction, std::span<const uint8_t> bytes) {
  const auto at = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  writer_.Observe(direction == LineHost::Direction::kFromHost ? vqshared::LineDirection::kToReader
                                                              : vqshared::LineDirection::kToHost,
                  bytes, at);
  file_.flush();  // a record read while the reader runs, or left by a killed one, holds every frame so far
}

void SessionRecorder::Finish() {
  std::lock_guard lock(mutex_);
  writer_.Finish(std::chrono::steady_clock::now());
  if (!file_) throw Failure{vqshared::kExitCannotWrite, path_ + ": could not be written in full"};
}

}  // namespace vqsim::program
