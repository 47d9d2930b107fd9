// Session records as the virtual reader's --replay reads them: any text is
// parsed, and a record that parses is played back with the host sending
// exactly the command frames recorded, in order.
//
// What must hold:
//   - a refused record says which line is wrong;
//   - every line kept has bytes, a time that is a number of milliseconds
//     from 0 up, and a direction;
//   - played back as recorded, every command is answered with exactly the
//     bytes recorded after it, no sooner than it came and at a time the
//     clock can hold, and the record ends without a difference; one more
//     command is a difference at the end of the record.

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "sim/lane/session_replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<vqsim::RecordedBytes> record;
  try {
    record = vqsim::ParseSessionRecord(text);
  } catch (const vqsim::SessionRecordError& error) {
    FUZZ_CHECK(std::string_view(error.what()).starts_with("line "));
    return 0;
  }
  for (const auto& line : record) {
    FUZZ_CHECK(!line.bytes.empty() && line.line >= 1);
    FUZZ_CHECK(std::isfinite(line.ms) && line.ms >= 0);
  }

  vqsim::SessionReplay replay(record);
  const auto start = std::chrono::steady_clock::now();
  size_t commands = 0;
  for (size_t i = 0; i < record.size(); ++i) {
    if (!record[i].toReader || !record[i].isFrame) continue;
    ++commands;
    vqsim::ReceivedFrame frame;
    frame.bytes = record[i].bytes;
    frame.at = start + std::chrono::seconds(i);
    frame.checkByteOk = true;
    const auto answers = replay.Answer(frame);
    size_t k = i + 1;
    for (const auto& answer : answers) {
      while (k < record.size() && record[k].toReader && !record[k].isFrame) ++k;  // the host's noise
      FUZZ_CHECK(k < record.size() && !record[k].toReader);
      FUZZ_CHECK(answer.bytes == record[k].bytes);
      FUZZ_CHECK(answer.notBefore >= frame.at);
      ++k;
    }
    // Nothing recorded before the next command was left unanswered.
    while (k < record.size() && !(record[k].toReader && record[k].isFrame)) {
      FUZZ_CHECK(record[k].toReader);
      ++k;
    }
  }
  FUZZ_CHECK(replay.RecordedCommands() == commands);
  FUZZ_CHECK(!replay.FirstDifference().has_value());
  FUZZ_CHECK(!replay.DifferenceAtEnd().has_value());
  vqsim::ReceivedFrame extra;
  extra.bytes = {0xFF, 0x00, 0x70, 0x00, 0x8F};
  extra.at = start;
  FUZZ_CHECK(replay.Answer(extra).empty());
  const auto difference = replay.FirstDifference();
  FUZZ_CHECK(difference && difference->command == commands + 1 && difference->line == 0);
  return 0;
}
