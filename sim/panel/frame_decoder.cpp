#include "sim/panel/frame_decoder.h"

#include <cstdio>
#include <string>

#include "base/reader_status.h"
#include "protocol/commands.h"
#include "protocol/status_tables.h"
#include "shared/hex_text.h"
#include "sim/protocol/frame_layout.h"

namespace vqsim::panel {

namespace {

using nlohmann::json;

std::string Code(uint8_t code) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", code);
  return text;
}

std::string CommandName(uint8_t code) {
  if (const char* name = vqhw::command::NameOf(code)) return name;
  return "command " + Code(code);
}

std::string StatusName(uint8_t status) {
  if (status == 0) return "success";
  if (const char* meaning = vqhw::StatusMeaning(vqhw::StatusFromByte(status))) return meaning;
  return "status byte " + Code(status);
}

}  // namespace

std::span<const uint8_t> FrameData(std::span<const uint8_t> frame) {
  return frame.subspan(kDataIndex, frame.size() - kFrameOverhead);
}

bool CarriesApdu(uint8_t command) { return command == 0x60 || command == 0x61; }

const char* StatusWordText(uint16_t statusWord) { return vqhw::StatusWordMessage(statusWord); }

json DecodeFrame(vqshared::LineDirection direction, std::span<const uint8_t> bytes, bool isFrame,
                 uint8_t answeredCode) {
  const bool command = direction == vqshared::LineDirection::kToReader;
  json entry = {{"bytes", vqshared::EncodeHex(bytes)}};
  if (!isFrame || bytes.size() < kFrameOverhead) {
    entry["direction"] = "noise";
    entry["toReader"] = command;
    return entry;
  }
  const uint8_t code = bytes[kCodeIndex];
  const auto data = FrameData(bytes);
  entry["direction"] = command ? "command" : "answer";
  entry["sequence"] = bytes[kSequenceIndex];
  entry[command ? "code" : "status"] = Code(code);
  entry["name"] = command ? CommandName(code) : StatusName(code);
  entry["data"] = vqshared::EncodeHex(data);
  if (XorOf(bytes) != 0) entry["checkByteWrong"] = true;
  if (command && CarriesApdu(code)) entry["apdu"] = vqshared::EncodeHex(data);
  if (!command && code == 0 && CarriesApdu(answeredCode) && data.size() >= 2) {
    const auto sw = static_cast<uint16_t>(data[data.size() - 2] << 8 | data[data.size() - 1]);
    entry["sw"] = vqshared::EncodeHex(data.subspan(data.size() - 2));
    entry["swText"] = StatusWordText(sw);
  }
  return entry;
}

}  // namespace vqsim::panel
