#include "sim/commands/command_table.h"

#include <algorithm>

#include "sim/commands/activation_commands.h"
#include "sim/commands/apdu_channel_commands.h"
#include "sim/commands/card_file_commands.h"
#include "sim/commands/mifare_block_commands.h"
#include "sim/commands/reader_control_commands.h"
#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

// Every family of commands the reader knows.
using CommandFamily = std::span<const CommandEntry> (*)();
constexpr CommandFamily kFamilies[] = {ReaderControlCommands, ApduChannelCommands,
                                       ActivationCommands, MifareBlockCommands, CardFileCommands};

const CommandEntry* FindCommand(uint8_t code) {
  for (CommandFamily listFamily : kFamilies) {
    std::span<const CommandEntry> family = listFamily();
    auto it = std::ranges::find(family, code, &CommandEntry::code);
    if (it != family.end()) return &*it;
  }
  return nullptr;
}

}  // namespace

Reply Dispatch(ReaderState& state, uint8_t command, std::span<const uint8_t> data) {
  const CommandEntry* entry = FindCommand(command);
  if (entry == nullptr) return {status::kUnknownCommand, {}};
  if (entry->dataLength && *entry->dataLength != data.size()) return {status::kBadArguments, {}};
  return entry->handler(state, data);
}

}  // namespace vqsim
