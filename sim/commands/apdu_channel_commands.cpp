#include "sim/commands/apdu_channel_commands.h"

#include <memory>

#include "sim/protocol/status_bytes.h"

namespace vqsim {
namespace {

// Only a selected card that speaks APDUs can answer; a MIFARE ONE card or
// an empty field is "no card".
Reply ToUserCard(ReaderState& state, std::span<const uint8_t> apdu) {
  auto card = std::dynamic_pointer_cast<ApduCard>(state.field.Selected());
  if (!card) return {status::kNoCard, {}};
  return {status::kSuccess, card->Exchange(apdu)};
}

Reply ToPsam(ReaderState& state, std::span<const uint8_t> apdu) {
  if (!state.psamPresent || !state.psam) return {status::kPsamTimeout, {}};
  return {status::kSuccess, state.psam->Exchange(apdu)};
}

constexpr CommandEntry kEntries[] = {
    {0x60, std::nullopt, ToUserCard},
    {0x61, std::nullopt, ToPsam},
};

}  // namespace

std::span<const CommandEntry> ApduChannelCommands() { return kEntries; }

}  // namespace vqsim
