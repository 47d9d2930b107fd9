#include "vqhw/protocol_names.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "vqhw/status_texts.h"

namespace vqtool {

namespace {

struct CommandRow {
  uint8_t code;
  const char* name;
};

constexpr std::array<CommandRow, 24> kCommands{{
    {0x40, "request"},
    {0x41, "anticollision"},
    {0x42, "select"},
    {0x50, "authenticate"},
    {0x51, "read block"},
    {0x52, "write block"},
    {0x53, "value operation"},
    {0x54, "value operation"},
    {0x55, "block pair operation"},
    {0x56, "load key"},
    {0x58, "halt"},
    {0x60, "CPU card APDU"},
    {0x61, "PSAM APDU"},
    {0x70, "probe"},
    {0x71, "change line speed"},
    {0x72, "field reset"},
    {0x73, "PSAM reset"},
    {0x74, "MMI control"},
    {0x75, "second line speed"},
    {0x76, "CPU card reset"},
    {0x80, "activate card"},
    {0x81, "read file"},
    {0x82, "write file"},
    {0x83, "prepare file write"},
}};

}  // namespace

std::string CommandName(uint8_t command) {
  const auto* row = std::ranges::find(kCommands, command, &CommandRow::code);
  if (row != kCommands.end()) return row->name;
  char text[16];
  std::snprintf(text, sizeof text, "command %02X", command);
  return text;
}

std::string StatusByteName(uint8_t statusByte) {
  if (statusByte == 0) return "success";
  return ExplainStatus(StatusOfByte(statusByte)).meaning;
}

}  // namespace vqtool
