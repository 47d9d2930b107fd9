#include "sim/panel/timeline.h"

#include <optional>

#include "shared/hex_text.h"
#include "sim/lane/session_replay.h"
#include "sim/lane/timing_profile.h"
#include "sim/panel/frame_decoder.h"
#include "sim/protocol/frame_layout.h"

namespace vqsim::panel {

namespace {

using nlohmann::json;

constexpr uint32_t kRecordBaud = 115200;  // a record does not say the line's speed

double Ms(std::chrono::nanoseconds time) { return std::chrono::duration<double, std::milli>(time).count(); }

struct Open {
  const RecordedBytes* command;
  double start;
};

}  // namespace

json Timeline(std::string_view record) {
  const std::vector<RecordedBytes> lines = ParseSessionRecord(record);
  const TimingProfile timing = TimingProfile::Real();
  json exchanges = json::array();
  int noise = 0;
  std::optional<Open> open;
  std::optional<uint8_t> lastSequence;
  double lastAnswerEnd = 0;

  auto close = [&](const RecordedBytes* answer) {
    const RecordedBytes& command = *open->command;
    const uint8_t code = command.bytes[kCodeIndex];
    json exchange = DecodeFrame(vqshared::LineDirection::kToReader, command.bytes, true);
    exchange.erase("bytes");
    exchange.erase("direction");
    exchange["start"] = open->start;
    exchange["host"] = std::max(0.0, open->start - lastAnswerEnd);
    exchange["command"] = vqshared::EncodeHex(command.bytes);
    exchange["retry"] = lastSequence == command.bytes[kSequenceIndex];
    double wire = Ms(timing.LineTime(command.bytes.size(), kRecordBaud));
    if (answer != nullptr) {
      const json decoded = DecodeFrame(vqshared::LineDirection::kToHost, answer->bytes, true, code);
      wire += Ms(timing.LineTime(answer->bytes.size(), kRecordBaud));
      exchange["end"] = answer->ms;
      exchange["answer"] = vqshared::EncodeHex(answer->bytes);
      exchange["status"] = decoded["name"];
      if (decoded.contains("sw")) {
        exchange["sw"] = decoded["sw"];
        exchange["swText"] = decoded["swText"];
      }
      exchange["card"] = Ms(timing.CardTime(code, FrameData(command.bytes), FrameData(answer->bytes)));
      exchange["failed"] = answer->bytes[kCodeIndex] != 0;
      lastAnswerEnd = answer->ms;
    } else {
      exchange["end"] = command.ms;
      exchange["status"] = "no answer";
      exchange["card"] = 0.0;
      exchange["failed"] = true;
    }
    exchange["wire"] = wire;
    lastSequence = command.bytes[kSequenceIndex];
    exchanges.push_back(std::move(exchange));
    open.reset();
  };

  for (const RecordedBytes& line : lines) {
    if (!line.isFrame || line.bytes.size() < kFrameOverhead) {
      ++noise;
      continue;
    }
    if (line.toReader) {
      if (open) close(nullptr);  // sent again, or another command, before any answer
      open = Open{&line, line.ms - Ms(timing.LineTime(line.bytes.size(), kRecordBaud))};
    } else if (open) {
      close(&line);
    } else {
      ++noise;  // an answer to no command: a late one
    }
  }
  if (open) close(nullptr);
  return {{"exchanges", std::move(exchanges)}, {"noise", noise}};
}

}  // namespace vqsim::panel
