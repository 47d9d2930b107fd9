#include "vqhw/protocol_names.h"

#include <cstdio>

#include "protocol/commands.h"
#include "vqhw/status_texts.h"

namespace vqtool {

std::string CommandName(uint8_t command) {
  if (const char* name = vqhw::command::NameOf(command)) return name;
  char text[16];
  std::snprintf(text, sizeof text, "command %02X", command);
  return text;
}

std::string StatusByteName(uint8_t statusByte) {
  if (statusByte == 0) return "success";
  return ExplainStatus(StatusOfByte(statusByte)).meaning;
}

}  // namespace vqtool
