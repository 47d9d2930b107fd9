#pragma once
// --record: the session a reader serves, written into a file as it passes
// (shared/session_record.h), so that any lane program's session can be
// replayed. Each frame carries the time its last byte was read from the
// lane or written to it.

#include <fstream>
#include <mutex>
#include <string>

#include "shared/session_record.h"
#include "sim/hosts/line_host.h"

namespace vqsim::program {

class SessionRecorder {
 public:
  // Throws Failure (73) when the file cannot be written.
  explicit SessionRecorder(const std::string& path);
  // What the line host calls with each byte string, from any of its threads.
  void Observe(LineHost::Direction direction, std::span<const uint8_t> bytes);
  // Writes the rest of an unfinished frame; throws Failure (73) when the
  // file could not be written in full.
  void Finish();

 private:
  std::string path_;
  std::mutex mutex_;
  std::ofstream file_;
  vqshared::SessionRecordWriter writer_;
};

}  // namespace vqsim::program
